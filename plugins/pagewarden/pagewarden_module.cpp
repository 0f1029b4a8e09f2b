// Pagewarden.so: the web page monitor type.

#include "interfaces/guids.h"
#include "plugins/common/plugin_exports.h"
#include "plugins/pagewarden/pagewarden_check.h"

namespace {

using namespace ospreon::plugin;

// What the check reads, declared only where the record lacks it: the console
// writes a web monitor's values before its first Init.
constexpr Declaration kDeclarations[] = {
    {"Monitor_Parameter", "", false, true}, {"MonitorExt_SuccessFlag", "STR:", false, true},
    {"ProxyServer", "", false, true},       {"ProxyUserName", "", false, true},
    {"ProxyPassword", "", false, true},     {"AuthUserName", "", false, true},
    {"AuthPassword", "", false, true},      {"Monitor_Timeout (s)", "20", false, true},
    {"Monitor_Voice", "", false, true},
};

std::unique_ptr<Check> MakeCheck()
{
    return std::make_unique<ospreon::pagewarden::PagewardenCheck>();
}

} // namespace

OSPREON_PLUGIN_RECORDS(Pagewarden, PAGEWARDEN, CLSID_PagewardenMonitor, LIBID_PagewardenLib)

namespace {

const PluginType kPagewarden{
    .typeName = "Pagewarden",
    .clsid = CLSID_PagewardenMonitor,
    .defaultLogFile = "Pagewarden.log",
    .declarations = kDeclarations,
    .makeCheck = &MakeCheck,
    .typeLibrary = &OspreonTypeLibrary,
    .versionInfo = &OspreonVersionInfo,
};

} // namespace

OSPREON_PLUGIN_MODULE(kPagewarden)
