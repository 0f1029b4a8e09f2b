#include "alertlib/server_address.h"

#include <charconv>
#include <optional>

#include "alertlib/text_util.h"

namespace ospreon::alert {

namespace {

// A host name or address only: anything that would change the URL's meaning is out.
bool IsServerName(std::string_view server)
{
    return server.find_first_of(" \t\r\n/\\@?#%") == std::string_view::npos;
}

} // namespace

Result<ServerAddress> ParseServerAddress(std::string_view text, int defaultPort)
{
    const std::string_view server = Trim(text);
    const bool bracketed = !server.empty() && server.front() == '[';
    const std::size_t close = bracketed ? server.find(']') : 0;
    if (close == std::string_view::npos)
        return Error::Plain("invalid mail server: " + std::string(server));
    std::string_view host = server;
    std::optional<std::string_view> portText;
    if (const std::size_t colon = server.find(':', close); colon != std::string_view::npos) {
        host = server.substr(0, colon);
        portText = server.substr(colon + 1);
    }
    if (host.empty())
        return Error::Plain("no mail server given");
    if (!IsServerName(host) || (bracketed && host.size() != close + 1))
        return Error::Plain("invalid mail server: " + std::string(server));

    ServerAddress address{std::string(host), defaultPort};
    if (portText) {
        int port = 0;
        const auto [end, ec] =
            std::from_chars(portText->data(), portText->data() + portText->size(), port);
        if (ec != std::errc() || end != portText->data() + portText->size() || port < 1 ||
            port > 65535)
            return Error::Plain("invalid port of mail server: " + std::string(server));
        address.port = port;
    }
    return address;
}

} // namespace ospreon::alert
