// Volumewarden.so: the disk free space monitor type.

#include "interfaces/guids.h"
#include "plugins/common/plugin_exports.h"
#include "plugins/volumewarden/volumewarden_check.h"

namespace {

using namespace ospreon::plugin;

// What the check reads, declared only where the record lacks it: the console
// writes a disk monitor's values before its first Init.
constexpr Declaration kDeclarations[] = {
    {"Monitor_Parameter", "/", false, true},
    {"Ext_Free space threshold (Mb)", "10", false, true},
    {"Monitor_Voice", "", false, true},
};

std::unique_ptr<Check> MakeCheck()
{
    return std::make_unique<ospreon::volumewarden::VolumewardenCheck>();
}

} // namespace

OSPREON_PLUGIN_RECORDS(Volumewarden, VOLUMEWARDEN, CLSID_VolumewardenMonitor, LIBID_VolumewardenLib)

namespace {

const PluginType kVolumewarden{
    .typeName = "Volumewarden",
    .clsid = CLSID_VolumewardenMonitor,
    .defaultLogFile = "Volumewarden.log",
    .declarations = kDeclarations,
    .makeCheck = &MakeCheck,
    .typeLibrary = &OspreonTypeLibrary,
    .versionInfo = &OspreonVersionInfo,
};

} // namespace

OSPREON_PLUGIN_MODULE(kVolumewarden)
