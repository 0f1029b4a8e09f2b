#include "alertlib/smtp_sender.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <ctime>
#include <optional>
#include <vector>

#include "alertlib/curl_transfer.h"
#include "alertlib/mail_message.h"
#include "alertlib/text_util.h"
#include "platform/os/clock.h"
#include "platform/os/host.h"

namespace ospreon::alert {

namespace {

constexpr int kDefaultPort = 25;
constexpr char kModeShape[] = "SMTP://server[:port];sender";

Error Refused(std::string_view what)
{
    return Error::Plain("refused: line break in " + std::string(what));
}

Result<int> ParsePort(std::string_view text, std::string_view server)
{
    int port = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), port);
    if (ec != std::errc() || end != text.data() + text.size() || port < 1 || port > 65535)
        return Error::Plain("invalid port of mail server: " + std::string(server));
    return port;
}

// A host name or address only: anything that would change the URL's meaning is out.
bool IsServerName(std::string_view server)
{
    return server.find_first_of(" \t/\\@?#%") == std::string_view::npos;
}

// Hands the composed mail to libcurl piece by piece.
struct MailUpload
{
    std::string_view remaining;

    static size_t Read(char* buffer, size_t size, size_t count, void* user)
    {
        auto* upload = static_cast<MailUpload*>(user);
        const size_t length = std::min(size * count, upload->remaining.size());
        std::memcpy(buffer, upload->remaining.data(), length);
        upload->remaining.remove_prefix(length);
        return length;
    }
};

// The address for the envelope: the part in angle brackets of "Name <address>",
// else the whole text, which libcurl puts in brackets itself.
std::string EnvelopeAddress(const std::string& address)
{
    const std::size_t open = address.find('<');
    const std::size_t close = address.find('>', open);
    if (open == std::string::npos || close == std::string::npos)
        return address;
    return address.substr(open, close - open + 1);
}

std::string MailBody(const std::tm& now)
{
    char time[32];
    if (std::strftime(time, sizeof time, "%Y-%m-%d %H:%M:%S", &now) == 0)
        time[0] = '\0';
    return "This alert was sent by Ospreon on " + os::LocalHostName() + " at " + time + ".\r\n";
}

} // namespace

Result<SmtpTarget> ParseSmtpTarget(std::string_view target)
{
    const std::size_t semicolon = target.find(';');
    const std::string_view server = Trim(target.substr(0, semicolon));
    const std::string_view sender = semicolon == std::string_view::npos
                                        ? std::string_view()
                                        : Trim(target.substr(semicolon + 1));
    if (HasLineBreak(server))
        return Refused("server");
    if (HasLineBreak(sender))
        return Refused("sender");

    // "host", "host:port", "[IPv6 address]" or "[IPv6 address]:port".
    const bool bracketed = !server.empty() && server.front() == '[';
    const std::size_t close = bracketed ? server.find(']') : 0;
    if (close == std::string_view::npos)
        return Error::Plain("invalid mail server in mode: " + std::string(server));
    std::string_view host = server;
    std::optional<std::string_view> portText;
    if (const std::size_t colon = server.find(':', close); colon != std::string_view::npos) {
        host = server.substr(0, colon);
        portText = server.substr(colon + 1);
    }
    if (host.empty())
        return Error::Plain(std::string("no mail server given (") + kModeShape + ")");
    if (!IsServerName(host) || (bracketed && host.size() != close + 1))
        return Error::Plain("invalid mail server in mode: " + std::string(server));
    if (sender.empty())
        return Error::Plain(std::string("no sender given (") + kModeShape + ")");

    SmtpTarget parsed{std::string(host), kDefaultPort, std::string(sender)};
    if (portText) {
        Result<int> port = ParsePort(*portText, server);
        if (!port)
            return port.error();
        parsed.port = *port;
    }
    return parsed;
}

Result<void> SendMail(std::string_view target, std::string_view recipients,
                      std::string_view message)
{
    // Checked before anything else, so no header can be injected and nothing is sent.
    if (HasLineBreak(message))
        return Refused("subject");
    if (HasLineBreak(recipients))
        return Refused("recipient");
    Result<SmtpTarget> smtp = ParseSmtpTarget(target);
    if (!smtp)
        return smtp.error();
    const std::vector<std::string> to = SplitList(recipients, ";,");
    if (to.empty())
        return Error::Plain("no recipient given for the mail");

    MailMessage mail;
    mail.from = smtp->sender;
    mail.to = to;
    mail.subject = std::string(message);
    mail.date = os::LocalNow();
    mail.body = MailBody(mail.date);
    const std::string text = ComposeMail(mail);

    const std::string server = smtp->server + ":" + std::to_string(smtp->port);
    // The path is the name this host gives itself in EHLO.
    const std::string url = "smtp://" + server + "/" + UrlEncode(os::LocalHostName());
    CurlList rcpt;
    for (const std::string& recipient : to) {
        if (!rcpt.Append(EnvelopeAddress(recipient)))
            return Error::Plain("cannot send mail: out of memory");
    }
    MailUpload upload{text};

    CurlTransfer transfer;
    transfer.Set(CURLOPT_URL, url.c_str());
    transfer.Set(CURLOPT_PROTOCOLS_STR, "smtp");
    transfer.Set(CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_TRY));
    const std::string envelopeSender = EnvelopeAddress(smtp->sender);
    transfer.Set(CURLOPT_MAIL_FROM, envelopeSender.c_str());
    transfer.Set(CURLOPT_MAIL_RCPT, rcpt.get());
    transfer.Set(CURLOPT_READFUNCTION, &MailUpload::Read);
    transfer.Set(CURLOPT_READDATA, &upload);
    transfer.Set(CURLOPT_UPLOAD, 1L);
    Result<void> sent = transfer.Perform("mail through " + server);
    if (sent)
        return {};
    Error error = sent.error();
    if (const long reply = transfer.ResponseCode(); reply >= 400)
        error.message += "; the server's last reply was " + std::to_string(reply);
    return error;
}

} // namespace ospreon::alert
