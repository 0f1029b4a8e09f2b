#include "tests/support/pop3_server.h"

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <utility>

#include "platform/base/ascii.h"

namespace ospreon::test {

namespace {

constexpr std::chrono::seconds kReadTimeout{5};

// The headers of a message, dot-stuffed, ending in the multi-line terminator.
std::string TopReply(const std::string& message)
{
    const std::size_t end = message.find("\r\n\r\n");
    std::string headers = message.substr(0, end == std::string::npos ? message.size() : end + 2);
    std::string reply = "+OK top of message follows\r\n";
    std::size_t start = 0;
    while (start < headers.size()) {
        const std::size_t lineEnd = headers.find("\r\n", start);
        const std::string line = headers.substr(start, lineEnd - start);
        reply += (line.starts_with(".") ? "." : "") + line + "\r\n";
        if (lineEnd == std::string::npos)
            break;
        start = lineEnd + 2;
    }
    return reply + "\r\n.\r\n";
}

} // namespace

Pop3Server::Pop3Server(Pop3Options options)
    : m_options(std::move(options)),
      m_tls(m_options.stls ? std::make_unique<TlsServerContext>() : nullptr),
      m_server([this](LineConnection& connection) { Serve(connection); })
{}

std::vector<std::string> Pop3Server::commands() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_commands;
}

bool Pop3Server::securedLogin() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_securedLogin;
}

void Pop3Server::Record(std::string command)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_commands.push_back(std::move(command));
}

void Pop3Server::Serve(LineConnection& connection)
{
    if (!connection.Send("+OK test POP3 server ready\r\n"))
        return;
    std::string user;
    bool loggedIn = false;
    for (;;) {
        std::optional<std::string> line = connection.ReadLine(kReadTimeout);
        if (!line)
            return;
        const std::size_t space = line->find(' ');
        const std::string_view verb = std::string_view(*line).substr(0, space);
        const std::string argument = space == std::string::npos ? "" : line->substr(space + 1);
        const auto is = [&](std::string_view command) { return EqualsNoCase(verb, command); };
        Record(is("PASS") ? "PASS" : *line);

        std::string reply = "-ERR unknown command\r\n";
        if (is("CAPA")) {
            reply = std::string("+OK capability list follows\r\nUSER\r\nTOP\r\n") +
                    (m_tls && !connection.secured() ? "STLS\r\n" : "") + ".\r\n";
        } else if (is("STLS") && m_tls && !connection.secured() && !loggedIn) {
            if (!connection.Send("+OK begin TLS negotiation\r\n") ||
                !connection.StartTls(m_tls->get()))
                return;
            continue;
        } else if (is("USER") && !loggedIn) {
            user = argument;
            reply = "+OK\r\n";
        } else if (is("PASS") && !loggedIn) {
            loggedIn = user == m_options.account && argument == m_options.password;
            if (loggedIn && connection.secured()) {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_securedLogin = true;
            }
            reply =
                loggedIn ? "+OK logged in\r\n" : "-ERR [AUTH] invalid user name or password\r\n";
        } else if (is("QUIT")) {
            connection.Send("+OK bye\r\n");
            return;
        } else if (is("NOOP")) {
            reply = "+OK\r\n";
        } else if (!loggedIn) {
            reply = "-ERR not logged in\r\n";
        } else if (is("STAT")) {
            std::size_t size = 0;
            for (const std::string& message : m_options.messages)
                size += message.size();
            reply = "+OK " + std::to_string(m_options.messages.size()) + " " +
                    std::to_string(size) + "\r\n";
        } else if (is("LIST") && argument.empty()) {
            reply = "+OK scan listing follows\r\n";
            for (std::size_t i = 0; i < m_options.messages.size(); ++i)
                reply += std::to_string(i + 1) + " " +
                         std::to_string(m_options.messages[i].size()) + "\r\n";
            reply += ".\r\n";
        } else if (is("TOP")) {
            const std::size_t number = std::strtoul(argument.c_str(), nullptr, 10);
            reply = number >= 1 && number <= m_options.messages.size()
                        ? TopReply(m_options.messages[number - 1])
                        : "-ERR no such message\r\n";
        }
        if (!connection.Send(reply))
            return;
    }
}

} // namespace ospreon::test
