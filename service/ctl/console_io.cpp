#include "service/ctl/console_io.h"

namespace ospreon::ctl {

int Report(Console& console, const Error& error)
{
    std::string line = error.message;
    for (char& c : line) {
        if (c == '\n' || c == '\r')
            c = ' ';
    }
    console.err << "wardenctl: " << line << '\n';
    // Only an exit status of ours is one; any other failure leaves something
    // unavailable.
    if (error.kind != ErrorKind::ExitStatus || error.code == kExitDone)
        return kExitUnavailable;
    return error.code;
}

std::string Quoted(const std::string& text)
{
    return '"' + text + '"';
}

} // namespace ospreon::ctl
