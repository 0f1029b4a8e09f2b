#pragma once
// Relaywarden's check: one SMTP conversation with the record's server that
// delivers a short test mail from "MonitorExt_From" to "MonitorExt_To", so the
// check proves that the server takes mail, not only that it greets.

#include <string>

#include "plugins/common/plugin_type.h"

namespace ospreon::relaywarden {

class RelaywardenCheck final : public plugin::Check
{
public:
    HRESULT Monitor(IUser* user) override;
};

// The test mail's subject: it names the monitor and the server, so a mailbox can
// file these mails away.
std::string TestMailSubject(const std::string& monitorName, const std::string& host);

} // namespace ospreon::relaywarden
