#include "alertlib/smtp_sender.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <optional>
#include <vector>

#include "alertlib/curl_transfer.h"
#include "alertlib/mail_message.h"
#include "alertlib/server_address.h"
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

// The reply each step expects: the greeting and STARTTLS 220, DATA 354, the rest 250.
const char* ExpectedReply(const std::string& command)
{
    if (command.empty() || command == "STARTTLS")
        return "220";
    if (command == "DATA")
        return "354 and then 250";
    return "250";
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

    if (server.empty() || server.front() == ':')
        return Error::Plain(std::string("no mail server given (") + kModeShape + ")");
    if (sender.empty())
        return Error::Plain(std::string("no sender given (") + kModeShape + ")");
    Result<ServerAddress> address = ParseServerAddress(server, kDefaultPort);
    if (!address)
        return address.error();
    SmtpTarget parsed{address->host, address->port, std::string(sender)};
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

    SmtpDelivery delivery;
    delivery.server = ServerAddress{smtp->server, smtp->port};
    delivery.sender = smtp->sender;
    delivery.recipients = to;
    delivery.text = ComposeMail(mail);
    return DeliverMail(delivery);
}

Result<void> DeliverMail(const SmtpDelivery& delivery)
{
    const std::string server = delivery.server.Text();
    // The path is the name this host gives itself in EHLO.
    const std::string url = "smtp://" + server + "/" + UrlEncode(os::LocalHostName());
    CurlList rcpt;
    for (const std::string& recipient : delivery.recipients) {
        if (!rcpt.Append(EnvelopeAddress(recipient)))
            return Error::Plain("cannot send mail: out of memory");
    }
    MailUpload upload{delivery.text};

    CurlTransfer transfer;
    transfer.Set(CURLOPT_URL, url.c_str());
    transfer.Set(CURLOPT_PROTOCOLS_STR, "smtp");
    transfer.Set(CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_TRY));
    const std::string envelopeSender = EnvelopeAddress(delivery.sender);
    transfer.Set(CURLOPT_MAIL_FROM, envelopeSender.c_str());
    transfer.Set(CURLOPT_MAIL_RCPT, rcpt.get());
    transfer.Set(CURLOPT_READFUNCTION, &MailUpload::Read);
    transfer.Set(CURLOPT_READDATA, &upload);
    transfer.Set(CURLOPT_UPLOAD, 1L);
    transfer.SetTimeBudget(delivery.budget);
    if (delivery.tolerateCertificates)
        transfer.TolerateCertificates();
    transfer.TraceConversation();
    Result<void> sent = transfer.Perform("mail through " + server);
    if (sent)
        return {};
    Error error = sent.error();
    if (std::string exchange = transfer.DescribeExchange(ExpectedReply(transfer.LastCommand()));
        !exchange.empty())
        error.message += "; " + exchange;
    if (const std::optional<std::string> problem = transfer.CertificateProblem())
        error.message += "; the certificate did not verify: " + *problem;
    return error;
}

} // namespace ospreon::alert
