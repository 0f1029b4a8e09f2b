// Ramwarden.so: the memory usage monitor type.

#include "plugins/common/plugin_exports.h"
#include "plugins/ramwarden/ramwarden_check.h"

namespace {

using namespace ospreon::plugin;

constexpr CLSID kClsid = MakeGuid("F63F544A-5F2F-4756-86A2-263709242D54");
constexpr GUID kLibid = MakeGuid("728AD9F4-1487-426B-8DAB-E39BCF22D96E");

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
