// Loadwarden.so: the CPU usage monitor type.

#include "plugins/common/plugin_exports.h"
#include "plugins/loadwarden/loadwarden_check.h"

namespace {

using namespace ospreon::plugin;

constexpr CLSID kClsid = MakeGuid("623FFE1D-B977-4F12-A86D-CA0EB29DE808");
constexpr GUID kLibid = MakeGuid("45D87462-8A22-4D42-ACB2-0038A69F6E2A");

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
