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
    return error.code == kExitDone ? kExitUnavailable : error.code;
}

std::string Quoted(const std::string& text)
{
    return '"' + text + '"';
}

} // namespace ospreon::ctl
