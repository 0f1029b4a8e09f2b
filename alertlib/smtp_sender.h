#pragma once
// Alert e-mail over SMTP, for the notification mode "SMTP://server[:port];sender".

#include <string>
#include <string_view>

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

// Sends one mail to every recipient (separated by ";" or ","), the message as its
// subject, STARTTLS used when the server offers it. Refuses line breaks in the
// subject, sender and recipients before anything is sent.
[[nodiscard]] Result<void> SendMail(std::string_view target, std::string_view recipients,
                                    std::string_view message);

} // namespace ospreon::alert
