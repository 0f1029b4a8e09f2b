#include "service/ctl/console_io.h"

#include <cstdio>

namespace ospreon::ctl {

int Report(Console& console, const Error& error)
{
    // One line, and nothing in it (a name from a file or the command line) that
    // could drive the terminal.
    std::string line;
    line.reserve(error.message.size());
    for (char c : error.message) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\n' || c == '\r') {
            line += ' ';
        } else if (byte < 0x20 || byte == 0x7f) {
            char code[8];
            std::snprintf(code, sizeof code, "\\x%02x", byte);
            line += code;
        } else {
            line += c;
        }
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
