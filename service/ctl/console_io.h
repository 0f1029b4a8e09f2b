#pragma once
// What every command shares: where it writes, and how a failure becomes the exit
// status and the one line on standard error that says why.

#include <ostream>
#include <string>

#include "platform/base/result.h"

namespace ospreon::ctl {

// The exit statuses of wardenctl.
enum ExitStatus : int
{
    kExitDone = 0,        // done
    kExitTrouble = 1,     // a test or notification found trouble
    kExitUsage = 2,       // bad usage or bad input
    kExitUnavailable = 3, // the store, a record or an object is unavailable
};

// A command's outcome: the exit status it ends with, or an Error whose code is
// kExitUsage or kExitUnavailable and which the caller reports. A command that
// goes on past a failure (start and stop of several records) reports it itself
// and ends with that failure's status.
using Outcome = Result<ExitStatus>;

inline Error BadInput(std::string message)
{
    return Error::Exit(kExitUsage, std::move(message));
}

inline Error Unavailable(std::string message)
{
    return Error::Exit(kExitUnavailable, std::move(message));
}

struct Console
{
    std::ostream& out;
    std::ostream& err;
};

// Writes "wardenctl: <message>" as one line (line breaks become spaces, other
// control characters \xHH) and gives the error's exit status.
int Report(Console& console, const Error& error);

// Text in double quotes, for messages that name a record, key or file.
std::string Quoted(const std::string& text);

} // namespace ospreon::ctl
