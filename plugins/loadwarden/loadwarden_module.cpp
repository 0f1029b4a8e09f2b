// Loadwarden.so: the CPU usage monitor type.

#include "interfaces/guids.h"
#include "plugins/common/plugin_exports.h"
#include "plugins/loadwarden/loadwarden_check.h"

namespace {

using namespace ospreon::plugin;

constexpr CLSID kClsid = CLSID_LoadwardenMonitor;
constexpr GUID kLibid = LIBID_LoadwardenLib;

constexpr Declaration kDeclarations[] = {
    {"DisplayName", "CPU Usage Threshold (%)"},
    {"Monitor_Parameter", "20", true},
    {"Monitor_Voice", ""},
};

// Each plug-in object gets its own counter, sampled as the object is created.
std::unique_ptr<Check> MakeCheck()
{
    return std::make_unique<ospreon::loadwarden::LoadwardenCheck>();
}

} // namespace

OSPREON_PLUGIN_RECORDS(Loadwarden, LOADWARDEN, kClsid, kLibid)

namespace {

const PluginType kLoadwarden{
    .typeName = "Loadwarden",
    .clsid = kClsid,
    .defaultLogFile = "Loadwarden.log",
    .declarations = kDeclarations,
    .makeCheck = &MakeCheck,
    .typeLibrary = &OspreonTypeLibrary,
    .versionInfo = &OspreonVersionInfo,
};

} // namespace

OSPREON_PLUGIN_MODULE(kLoadwarden)
