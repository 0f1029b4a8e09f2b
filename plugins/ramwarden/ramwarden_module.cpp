// Ramwarden.so: the memory usage monitor type.

#include "interfaces/guids.h"
#include "plugins/common/plugin_exports.h"
#include "plugins/ramwarden/ramwarden_check.h"

namespace {

using namespace ospreon::plugin;

constexpr CLSID kClsid = CLSID_RamwardenMonitor;
constexpr GUID kLibid = LIBID_RamwardenLib;

constexpr Declaration kDeclarations[] = {
    {"DisplayName", "Process(Service) Name"},
    {"Monitor_Voice", ""},
    {"Ext_The Memory Usage Not Extend (Kb)", ""},
    {"Ext_Maximum Usuage Percentage", "90"},
};

std::unique_ptr<Check> MakeCheck()
{
    return std::make_unique<ospreon::ramwarden::RamwardenCheck>();
}

} // namespace

OSPREON_PLUGIN_RECORDS(Ramwarden, RAMWARDEN, kClsid, kLibid)

namespace {

const PluginType kRamwarden{
    .typeName = "Ramwarden",
    .clsid = kClsid,
    .defaultLogFile = "Ramwarden.log",
    .declarations = kDeclarations,
    .makeCheck = &MakeCheck,
    .typeLibrary = &OspreonTypeLibrary,
    .versionInfo = &OspreonVersionInfo,
};

} // namespace

OSPREON_PLUGIN_MODULE(kRamwarden)
