// Mailboxwarden.so: the POP3 server monitor type.

#include "interfaces/guids.h"
#include "plugins/common/plugin_exports.h"
#include "plugins/mailboxwarden/mailboxwarden_check.h"

namespace {

using namespace ospreon::plugin;

// Declared only where the record lacks them: the POP3 page has set them already.
constexpr Declaration kDeclarations[] = {
    {"Monitor_Parameter", "", false, true},
    {"MonitorExt_PopAccount", "", false, true},
    {"MonitorExt_PopPass", "", false, true},
    {"Monitor_Timeout (s)", "20", false, true},
};

std::unique_ptr<Check> MakeCheck()
{
    return std::make_unique<ospreon::mailboxwarden::MailboxwardenCheck>();
}

} // namespace

OSPREON_PLUGIN_RECORDS(Mailboxwarden, MAILBOXWARDEN, CLSID_MailboxwardenMonitor, LIBID_MailboxwardenLib)

namespace {

const PluginType kMailboxwarden{
    .typeName = "Mailboxwarden",
    .clsid = CLSID_MailboxwardenMonitor,
    .defaultLogFile = "Mailboxwarden.log",
    .declarations = kDeclarations,
    .makeCheck = &MakeCheck,
    .typeLibrary = &OspreonTypeLibrary,
    .versionInfo = &OspreonVersionInfo,
};

} // namespace

OSPREON_PLUGIN_MODULE(kMailboxwarden)
