// Daemonwarden.so: the service status monitor type. Its type library also describes
// the Form class and its empty IForm dispatch interface, which have no
// implementation and are not registered as classes.

#include "interfaces/guids.h"
#include "plugins/common/plugin_exports.h"
#include "plugins/daemonwarden/daemonwarden_check.h"

namespace {

using namespace ospreon::plugin;
using ospreon::com::CoClassDesc;
using ospreon::com::InterfaceDesc;

constexpr CLSID kClsid = CLSID_DaemonwardenMonitor;
constexpr GUID kLibid = LIBID_DaemonwardenLib;
constexpr CLSID kFormClsid = MakeGuid("8E523527-D601-42EE-8A65-BE0F4AED667A");
constexpr IID kIFormIid = MakeGuid("A38BD3CA-2BB5-4F7F-B939-5CB24887A12D");

constexpr Declaration kDeclarations[] = {
    {"DisplayName", "ServiceName"},
    {"Monitor_Parameter", "YourServiceName"},
    {"Monitor_Voice", ""},
};

constexpr InterfaceDesc kIFormDesc{"IForm", kIFormIid, "IForm Interface", {}};

constexpr CoClassDesc kCoClasses[] = {
    {"DaemonwardenMonitor", kClsid, "DaemonwardenMonitor Class", &ospreon::kIServiceMonitorDesc},
    {"Form", kFormClsid, "Form Class", &kIFormDesc},
};

constexpr const InterfaceDesc* kInterfaces[] = {
    &ospreon::kIServiceMonitorDesc,
    &ospreon::kIUserDesc,
    &kIFormDesc,
};

std::unique_ptr<Check> MakeCheck()
{
    return std::make_unique<ospreon::daemonwarden::DaemonwardenCheck>();
}

} // namespace

extern "C" OSPREON_EXPORT const ospreon::com::TypeLibDesc OspreonTypeLibrary{
    .name = "DAEMONWARDENLib",
    .libid = kLibid,
    .majorVersion = 1,
    .minorVersion = 0,
    .lcid = 0x409,
    .helpString = "DaemonwardenMonitor 1.0 Type Library",
    .coclasses = kCoClasses,
    .interfaces = kInterfaces,
};

extern "C" OSPREON_EXPORT const ospreon::com::ModuleVersionInfo OspreonVersionInfo{
    .fileDescription = "Daemonwarden Module",
    .productName = "Daemonwarden Module",
    .internalName = "Daemonwarden",
    .originalFilename = "Daemonwarden.so",
    .fileVersion = {1, 0, 0, 1},
    .oleSelfRegister = true,
};

namespace {

const PluginType kDaemonwarden{
    .typeName = "Daemonwarden",
    .clsid = kClsid,
    .defaultLogFile = "Daemonwarden.log",
    .declarations = kDeclarations,
    .makeCheck = &MakeCheck,
    .typeLibrary = &OspreonTypeLibrary,
    .versionInfo = &OspreonVersionInfo,
};

} // namespace

OSPREON_PLUGIN_MODULE(kDaemonwarden)
