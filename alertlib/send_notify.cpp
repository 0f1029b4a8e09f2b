// SendNotify: picks the way of sending from the mode and reports the outcome.

#include <string>
#include <string_view>

#include "alertlib/alertlib.h"
#include "alertlib/gateway.h"
#include "alertlib/last_error.h"
#include "alertlib/pager.h"
#include "alertlib/smtp_sender.h"
#include "alertlib/text_util.h"

namespace ospreon::alert {

namespace {

constexpr std::string_view kSmtpPrefix = "SMTP://";
constexpr std::string_view kTelPrefix = "TEL://";

Result<void> Notify(const char* modeText, std::string_view recipients, std::string_view message)
{
    const std::string_view mode = ArgText(modeText);
    if (StartsWithNoCase(mode, kSmtpPrefix))
        return SendMail(mode.substr(kSmtpPrefix.size()), recipients, message);
    if (StartsWithNoCase(mode, kTelPrefix))
        return SendPages(recipients, message);
    if (StartsWithNoCase(mode, "http://") || StartsWithNoCase(mode, "https://"))
        return CallGateway(mode, recipients, message);
    return Error::Plain("unknown notification mode: " + (modeText ? std::string(mode) : "(none)"));
}

} // namespace

} // namespace ospreon::alert

extern "C" int SendNotify(const char* mode, const char* recipients, const char* message)
{
    using namespace ospreon::alert;
    ClearLastAlertError();
    return ExportedCall("cannot send notification", [&] {
        ospreon::Result<void> sent = Notify(mode, ArgText(recipients), ArgText(message));
        if (sent)
            return 1;
        SetLastAlertError(sent.error().message);
        return 0;
    });
}
