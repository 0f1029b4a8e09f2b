#pragma once
// Alert e-mail over SMTP, for the notification mode "SMTP://server[:port];sender".

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "alertlib/server_address.h"
#include "platform/base/result.h"

namespace ospreon::alert {

struct SmtpTarget
{
    std::string server; // host name, IPv4 address, or [IPv6 address]
    int port = 25;
    std::string sender;
};

// Reads "server[:port];sender", the part of the mode after "SMTP://".
[[nodiscard]] Result<SmtpTarget> ParseSmtpTarget(std::string_view target);

// One SMTP conversation that hands a composed mail to a server.
struct SmtpDelivery
{
    ServerAddress server;
    std::string sender;                  // "a@b" or "Name <a@b>"
    std::vector<std::string> recipients; // the same forms
    std::string text;                    // headers, empty line, body; CRLF line ends
    std::chrono::milliseconds budget{10000};
    // Accept a certificate that does not verify instead of failing; a failure of
    // the delivery then says what was wrong with it.
    bool tolerateCertificates = false;
};

// Delivers the mail, STARTTLS used when the server offers it. A failure names the
// server and curl's reason and, once the server has spoken, the command it refused
// with its reply ("expected 250 to RCPT, the server said: 550 no such user") or that
// it left unanswered.
[[nodiscard]] Result<void> DeliverMail(const SmtpDelivery& delivery);

// Sends one mail to every recipient (separated by ";" or ","), the message as its
// subject, STARTTLS used when the server offers it. Refuses line breaks in the
// subject, sender and recipients before anything is sent.
[[nodiscard]] Result<void> SendMail(std::string_view target, std::string_view recipients,
                                    std::string_view message);

} // namespace ospreon::alert
