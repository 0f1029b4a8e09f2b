#pragma once
// Runs the built wardenctl (BuildDir()/bin/wardenctl) as a child process with the
// test's environment, and collects what it wrote and how it ended.

#include <ostream>
#include <string>
#include <vector>

namespace ospreon::test {

struct CtlRun
{
    int status = -1; // the exit status; minus the signal number when a signal ended it
    std::string out;
    std::string err;
};

// wardenctl with `args`; stdin is /dev/null. With `stdoutFile`, standard output
// goes to that existing file instead of `out`.
CtlRun RunCtl(const std::vector<std::string>& args, const std::string& stdoutFile = "");

// "wardenctl a b" with the run's status and output, for assertion messages.
std::string Describe(const std::vector<std::string>& args, const CtlRun& run);

} // namespace ospreon::test
