#pragma once
// An SMTP sink on 127.0.0.1: speaks just enough SMTP (greeting, EHLO/HELO, STARTTLS
// when asked to offer it, MAIL, RCPT, DATA, RSET, NOOP, QUIT) to take mail from a
// client, and records each mail's envelope and data. It can also refuse chosen
// recipients, or accept connections and never say a word.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tests/support/loopback_socket.h"
#include "tests/support/tls_context.h"

namespace ospreon::test {

struct SmtpMail
{
    std::string helo;                    // the argument of EHLO or HELO
    std::string from;                    // the MAIL FROM address, without <>
    std::vector<std::string> recipients; // the RCPT TO addresses, without <>
    std::string data;                    // the message, dot-stuffing undone, CRLF line ends
    bool secured = false;                // taken after STARTTLS
};

struct SmtpSinkOptions
{
    bool startTls = false;                           // offer STARTTLS (self-signed certificate)
    std::vector<std::string> refusedRecipients = {}; // answered "550 5.1.1 ... no such user"
    bool silent = false;                             // accept, read, and never answer
};

class SmtpSink
{
public:
    explicit SmtpSink(SmtpSinkOptions options = {});

    std::uint16_t port() const { return m_server.port(); }
    // Connections accepted so far, whether or not a mail came of them.
    int connections() const { return m_server.connections(); }
    // The mails taken so far, in order.
    std::vector<SmtpMail> mails() const;
    // Waits up to `timeout` until `count` mails have been taken.
    bool WaitForMails(std::size_t count, std::chrono::milliseconds timeout) const;

private:
    void Serve(LineConnection& connection);

    const SmtpSinkOptions m_options;
    std::unique_ptr<TlsServerContext> m_tls;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::vector<SmtpMail> m_mails;
    LoopbackServer m_server; // last: its thread stops before the records go
};

} // namespace ospreon::test
