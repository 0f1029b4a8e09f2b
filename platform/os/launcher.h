#pragma once
// Starting programs without a shell: a command line is split into arguments by
// SplitCommandLine and started with posix_spawnp in a session of its own. A child
// that is no longer watched is reaped in the background, so none is left a zombie.

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <sys/types.h>

#include "platform/base/result.h"

namespace ospreon::os {

// Splits a command line into arguments, with the rules Windows programs use for
// theirs: blanks (space, tab) separate arguments; a double quote starts or ends a
// quoted part in which blanks are kept; 2n backslashes before a double quote give n
// backslashes and the quote delimits, 2n+1 give n backslashes and a literal quote;
// other backslashes are literal. No variable, glob or tilde expansion is done.
std::vector<std::string> SplitCommandLine(std::string_view commandLine);

class ChildProcess
{
public:
    explicit ChildProcess(pid_t pid) : m_pid(pid) {}
    ChildProcess(ChildProcess&& other) noexcept;
    ChildProcess& operator=(ChildProcess&& other) noexcept;
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    // A child still running is handed to the background reaper.
    ~ChildProcess();

    pid_t pid() const { return m_pid; }

    // Waits up to `timeout` for the child to end; its wait status (as waitpid gives
    // it) once it has, nullopt while it still runs. The status is kept, so later
    // calls return it without waiting again. A child collected by someone else
    // (waitpid fails with ECHILD) reads as ended with status -1.
    std::optional<int> WaitFor(std::chrono::milliseconds timeout);

    // Waits for the end; the wait status.
    int Wait();

private:
    pid_t m_pid = -1;
    std::optional<int> m_status;
};

// How a child ended, in words: "ended with exit status 3", "was killed by signal 9".
std::string DescribeWaitStatus(int status);

// Starts argv[0] (looked up in PATH) with the arguments; fails with the errno of
// the start (ENOENT for a program that is not found) and a message naming it.
Result<ChildProcess> Spawn(const std::vector<std::string>& argv);

} // namespace ospreon::os
