#pragma once
// The monitor type modules built with the system, copied into $OSPREON_HOME/plugins
// (the program folder of monitor types) and registered from there.

#include <filesystem>
#include <string>

#include "interfaces/guids.h"
#include "platform/base/result.h"

namespace ospreon::ctl {

struct BundledPlugin
{
    const char* module; // file name in the library folder and in plugins/
    CLSID clsid;        // the class it registers
};

// The bundled types, in the order setup registers them.
inline constexpr BundledPlugin kBundledPlugins[] = {
    {"Ramwarden.so", CLSID_RamwardenMonitor},         {"Loadwarden.so", CLSID_LoadwardenMonitor},
    {"Daemonwarden.so", CLSID_DaemonwardenMonitor},   {"Pagewarden.so", CLSID_PagewardenMonitor},
    {"Volumewarden.so", CLSID_VolumewardenMonitor},   {"Relaywarden.so", CLSID_RelaywardenMonitor},
    {"Mailboxwarden.so", CLSID_MailboxwardenMonitor},
};

// Copies `source` to `target` unless `target` already has the same size and bytes.
// The copy is written beside the target and renamed over it, so a module in use is
// never seen half written. True when it copied.
Result<bool> CopyIfChanged(const std::filesystem::path& source,
                           const std::filesystem::path& target);

// The setup mark of a bundled module: set when setup has registered it once, so a
// later setup leaves a type the user removed unregistered; cleared when the user
// registers the module again. Named by the module's file name.
Result<bool> HasSetupMark(const std::string& module);
Result<void> SetSetupMark(const std::string& module);
Result<void> ClearSetupMark(const std::string& module);

// Whether a module is registered for `clsid` (HKCR\CLSID\{clsid}\InprocServer32).
bool ClassRegistered(const CLSID& clsid);

} // namespace ospreon::ctl
