#include "tests/support/smtp_sink.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <utility>

namespace ospreon::test {

namespace {

constexpr std::chrono::seconds kReadTimeout{5};

std::string Upper(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

// The address of "MAIL FROM:<a@b> SIZE=..." or "RCPT TO:<a@b>".
std::string PathArgument(const std::string& line)
{
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos)
        return {};
    std::string path = line.substr(colon + 1);
    const std::size_t open = path.find('<');
    const std::size_t close = path.find('>');
    if (open != std::string::npos && close != std::string::npos && close > open)
        return path.substr(open + 1, close - open - 1);
    return path;
}

} // namespace

SmtpSink::SmtpSink(SmtpSinkOptions options)
    : m_options(std::move(options)),
      m_tls(m_options.startTls ? std::make_unique<TlsServerContext>() : nullptr),
      m_server([this](LineConnection& connection) { Serve(connection); })
{}

std::vector<SmtpMail> SmtpSink::mails() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_mails;
}

bool SmtpSink::WaitForMails(std::size_t count, std::chrono::milliseconds timeout) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return m_mails.size() >= count; });
}

void SmtpSink::Serve(LineConnection& connection)
{
    if (m_options.silent) {
        while (connection.ReadLine(kReadTimeout)) {
        }
        return;
    }
    if (!connection.Send("220 sink.test ESMTP test sink\r\n"))
        return;
    SmtpMail mail;
    for (;;) {
        std::optional<std::string> line = connection.ReadLine(kReadTimeout);
        if (!line)
            return;
        const std::string verb = Upper(line->substr(0, 4));
        std::string reply = "250 OK\r\n";
        if (verb == "EHLO" || verb == "HELO") {
            mail = SmtpMail{};
            mail.helo = line->size() > 5 ? line->substr(5) : std::string();
            mail.secured = connection.secured();
            reply = m_tls && !connection.secured() && verb == "EHLO"
                        ? "250-sink.test\r\n250 STARTTLS\r\n"
                        : "250 sink.test\r\n";
        } else if (Upper(*line) == "STARTTLS" && m_tls && !connection.secured()) {
            if (!connection.Send("220 Ready to start TLS\r\n") ||
                !connection.StartTls(m_tls->get()))
                return;
            mail = SmtpMail{};
            continue;
        } else if (verb == "MAIL") {
            mail.from = PathArgument(*line);
        } else if (verb == "RCPT") {
            const std::string recipient = PathArgument(*line);
            const auto& refused = m_options.refusedRecipients;
            if (std::find(refused.begin(), refused.end(), recipient) != refused.end())
                reply =
                    "550 5.1.1 <" + recipient + ">: Recipient address rejected: no such user\r\n";
            else
                mail.recipients.push_back(recipient);
        } else if (verb == "DATA") {
            if (!connection.Send("354 End data with <CR><LF>.<CR><LF>\r\n"))
                return;
            for (;;) {
                std::optional<std::string> dataLine = connection.ReadLine(kReadTimeout);
                if (!dataLine)
                    return;
                if (*dataLine == ".")
                    break;
                if (dataLine->starts_with("."))
                    dataLine->erase(0, 1);
                mail.data += *dataLine + "\r\n";
            }
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_mails.push_back(mail);
            }
            m_changed.notify_all();
            const std::string helo = mail.helo;
            mail = SmtpMail{};
            mail.helo = helo;
            mail.secured = connection.secured();
            reply = "250 OK: queued\r\n";
        } else if (verb == "RSET") {
            const std::string helo = mail.helo;
            mail = SmtpMail{};
            mail.helo = helo;
        } else if (verb == "QUIT") {
            connection.Send("221 Bye\r\n");
            return;
        } else if (verb != "NOOP") {
            reply = "502 Command not implemented\r\n";
        }
        if (!connection.Send(reply))
            return;
    }
}

} // namespace ospreon::test
