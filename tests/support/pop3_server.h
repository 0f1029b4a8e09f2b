#pragma once
// A POP3 server on 127.0.0.1 with one mailbox: CAPA, USER/PASS, STLS when asked to
// offer it, STAT, TOP, LIST, NOOP, QUIT. It records the command lines it was given
// (a PASS line as "PASS" alone), so a test can see what a client did and that it
// deleted nothing.

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tests/support/loopback_socket.h"
#include "tests/support/tls_context.h"

namespace ospreon::test {

struct Pop3Options
{
    std::string account;
    std::string password;
    std::vector<std::string> messages; // each: headers, empty line, body; CRLF line ends
    bool stls = false;                 // offer STLS (self-signed certificate)
};

class Pop3Server
{
public:
    explicit Pop3Server(Pop3Options options);

    std::uint16_t port() const { return m_server.port(); }
    // The command lines of all sessions so far, in order, as sent; a PASS line as
    // "PASS" alone.
    std::vector<std::string> commands() const;
    // Whether a session logged in after STLS.
    bool securedLogin() const;

private:
    void Serve(LineConnection& connection);
    void Record(std::string command);

    const Pop3Options m_options;
    std::unique_ptr<TlsServerContext> m_tls;
    mutable std::mutex m_mutex;
    std::vector<std::string> m_commands;
    bool m_securedLogin = false;
    LoopbackServer m_server; // last: its thread stops before the records go
};

} // namespace ospreon::test
