// Relaywarden.so: the SMTP server monitor type.

#include "interfaces/guids.h"
#include "plugins/common/plugin_exports.h"
#include "plugins/relaywarden/relaywarden_check.h"

namespace {

using namespace ospreon::plugin;

// Declared only where the record lacks them: the SMTP page has set them already.
constexpr Declaration kDeclarations[] = {
    {"Monitor_Parameter", "", false, true},
    {"MonitorExt_From", "", false, true},
    {"MonitorExt_To", "", false, true},
    {"Monitor_Timeout (s)", "20", false, true},
};

std::unique_ptr<Check> MakeCheck()
{
    return std::make_unique<ospreon::relaywarden::RelaywardenCheck>();
}

} // namespace

OSPREON_PLUGIN_RECORDS(Relaywarden, RELAYWARDEN, CLSID_RelaywardenMonitor, LIBID_RelaywardenLib)

namespace {

const PluginType kRelaywarden{
    .typeName = "Relaywarden",
    .clsid = CLSID_RelaywardenMonitor,
    .defaultLogFile = "Relaywarden.log",
    .declarations = kDeclarations,
    .makeCheck = &MakeCheck,
    .typeLibrary = &OspreonTypeLibrary,
    .versionInfo = &OspreonVersionInfo,
};

} // namespace

OSPREON_PLUGIN_MODULE(kRelaywarden)
