#pragma once
// An SMTP sink on 127.0.0.1: speaks just enough SMTP (greeting, EHLO/HELO without
// extensions, so no STARTTLS, MAIL, RCPT, DATA, RSET, NOOP, QUIT) to take mail from
// a client, and records each mail's envelope and data.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "tests/support/loopback_socket.h"

namespace ospreon::test {

struct SmtpMail
{
    std::string helo;                    // the argument of EHLO or HELO
    std::string from;                    // the MAIL FROM address, without <>
    std::vector<std::string> recipients; // the RCPT TO addresses, without <>
    std::string data;                    // the message, dot-stuffing undone, CRLF line ends
};

class SmtpSink
{
public:
    SmtpSink();

    std::uint16_t port() const { return m_server.port(); }
    // Connections accepted so far, whether or not a mail came of them.
    int connections() const { return m_server.connections(); }
    // The mails taken so far, in order.
    std::vector<SmtpMail> mails() const;
    // Waits up to `timeout` until `count` mails have been taken.
    bool WaitForMails(std::size_t count, std::chrono::milliseconds timeout) const;

private:
    void Serve(LineConnection& connection);

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::vector<SmtpMail> m_mails;
    LoopbackServer m_server; // last: its thread stops before the records go
};

} // namespace ospreon::test
