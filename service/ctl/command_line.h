#pragma once
// The wardenctl command line: parses argv (CLI11), runs the command and gives the
// exit status. A parse error is one line on standard error and exit status 2, never
// CLI11's own codes; --help prints the help and exits 0.

#include "service/ctl/console_io.h"

namespace ospreon::ctl {

// COM must be initialised on the calling thread.
int RunCommandLine(int argc, char** argv, Console& console);

} // namespace ospreon::ctl
