#include "plugins/relaywarden/relaywarden_check.h"

#include <ctime>

#include "alertlib/mail_message.h"
#include "alertlib/server_address.h"
#include "alertlib/smtp_sender.h"
#include "alertlib/text_util.h"
#include "platform/com/bstr.h"
#include "platform/os/clock.h"
#include "platform/os/host.h"
#include "plugins/common/plugin_log.h"
#include "plugins/common/record_reader.h"
#include "plugins/common/time_budget.h"

namespace ospreon::relaywarden {

namespace {

using plugin::ParamTexts;
using plugin::ReadTexts;
using plugin::WriteLog;

constexpr int kSmtpPort = 25;

std::string MonitorName(IUser* user)
{
    com::Bstr name;
    if (!user || FAILED(user->get_UserName(name.put())))
        return "Relaywarden";
    return name.utf8();
}

std::string TestMailBody(const std::string& server)
{
    const std::tm now = os::LocalNow();
    char time[32];
    if (std::strftime(time, sizeof time, "%Y-%m-%d %H:%M:%S", &now) == 0)
        time[0] = '\0';
    return "Ospreon on " + os::LocalHostName() + " sent this mail through " + server + " at " +
           time + " to check that the server delivers mail.\r\n";
}

} // namespace

std::string TestMailSubject(const std::string& monitorName, const std::string& host)
{
    return "Ospreon test mail of " + monitorName + " through " + host;
}

HRESULT RelaywardenCheck::Monitor(IUser* user)
{
    const ParamTexts settings =
        ReadTexts(user, {"Monitor_Parameter", "MonitorExt_From", "MonitorExt_To"});
    if (!settings.read) {
        WriteLog("Relaywarden test mail failed: the monitor's settings cannot be read\n");
        return E_FAIL;
    }
    if (FAILED(settings.hr))
        return settings.hr;
    const std::string& server = settings.texts[0];
    Result<alert::ServerAddress> address = alert::ParseServerAddress(server, kSmtpPort);
    if (!address) {
        WriteLog("Relaywarden test mail failed: %s in \"%s\"\n", address.error().message.c_str(),
                 server.c_str());
        return E_FAIL;
    }
    const std::string target = address->Text();
    const std::string sender(alert::Trim(settings.texts[1]));
    const std::string recipient(alert::Trim(settings.texts[2]));
    if (sender.empty() || recipient.empty() || alert::HasLineBreak(sender) ||
        alert::HasLineBreak(recipient)) {
        WriteLog("Relaywarden test mail through %s failed: the sender \"%s\" and the recipient "
                 "\"%s\" must each be one address\n",
                 target.c_str(), sender.c_str(), recipient.c_str());
        return E_FAIL;
    }
    // A record name with a line break must not add a header to the mail.
    std::string monitorName = MonitorName(user);
    for (char& c : monitorName) {
        if (c == '\r' || c == '\n')
            c = ' ';
    }

    alert::MailMessage mail;
    mail.from = sender;
    mail.to = {recipient};
    mail.subject = TestMailSubject(monitorName, address->host);
    mail.date = os::LocalNow();
    mail.body = TestMailBody(target);

    alert::SmtpDelivery delivery;
    delivery.server = *address;
    delivery.sender = sender;
    delivery.recipients = {recipient};
    delivery.text = alert::ComposeMail(mail);
    delivery.budget = plugin::CheckTimeBudget(user);
    delivery.tolerateCertificates = true;
    Result<void> sent = alert::DeliverMail(delivery);
    if (sent)
        return S_OK;
    WriteLog("Relaywarden test mail from %s to %s failed: %s\n", sender.c_str(), recipient.c_str(),
             sent.error().message.c_str());
    return E_FAIL;
}

} // namespace ospreon::relaywarden
