#pragma once
// A mail server as the records and notification modes give it: "host", "host:port",
// "[IPv6 address]" or "[IPv6 address]:port".

#include <string>
#include <string_view>

#include "platform/base/result.h"

namespace ospreon::alert {

struct ServerAddress
{
    std::string host; // host name, IPv4 address, or [IPv6 address] with its brackets
    int port = 0;

    // "host:port", as URLs and messages show it.
    std::string Text() const { return host + ":" + std::to_string(port); }
};

// Parses `text` (blanks around it ignored), taking `defaultPort` when it names none.
// Refuses an empty host, a port outside 1-65535 and any character that would change
// the meaning of the URL the address goes into.
[[nodiscard]] Result<ServerAddress> ParseServerAddress(std::string_view text, int defaultPort);

} // namespace ospreon::alert
