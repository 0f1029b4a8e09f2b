#include "service/ctl/register_commands.h"

#include <filesystem>
#include <system_error>
#include <utility>
#include <vector>

#include "interfaces/guids.h"
#include "platform/com/activation.h"
#include "platform/registry/registry.h"
#include "service/ctl/bundled_plugins.h"
#include "service/ctl/module_call.h"

namespace ospreon::ctl {

namespace {

using registry::Key;

constexpr char kPluginKey[] = "SOFTWARE\\Brackwater\\RELAYMOOR\\Plugin\\";
constexpr char kServicePluginKey[] = "SOFTWARE\\Brackwater\\RELAYMOOR\\Services\\Wardenhost\\";

// The class id registered for the type, as its text.
Result<std::string> TypeClassId(const std::string& typeName)
{
    if (typeName.empty() || typeName.find('\\') != std::string::npos)
        return BadInput("invalid monitor type name " + Quoted(typeName));
    const std::string path = std::string(kPluginKey) + kServiceMonitorIid + "\\" + typeName;
    Key key;
    LSTATUS status = RegOpenKeyEx(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, key.put());
    if (status == ERROR_FILE_NOT_FOUND)
        return BadInput("no plug-in monitor type named " + Quoted(typeName) + " is registered");
    std::string clsid;
    if (status == ERROR_SUCCESS)
        status = registry::GetString(key.get(), nullptr, clsid);
    if (status != ERROR_SUCCESS || clsid.empty())
        return Unavailable("cannot read the class of the type " + Quoted(typeName) +
                           " (HKEY_LOCAL_MACHINE\\" + path + "): " + RegLastErrorText());
    return clsid;
}

Result<std::string> ClassModule(const std::string& typeName, const std::string& clsid)
{
    const std::string path = "CLSID\\" + clsid + "\\InprocServer32";
    Key key;
    std::string module;
    if (RegOpenKeyEx(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS ||
        registry::GetString(key.get(), nullptr, module) != ERROR_SUCCESS || module.empty())
        return Unavailable("the type " + Quoted(typeName) + " has no module (HKEY_CLASSES_ROOT\\" +
                           path + ")");
    return module;
}

// The text of `value` under HKEY_CLASSES_ROOT\`path`; empty when there is none.
std::string ClassValue(const std::string& path, const char* value = nullptr)
{
    Key key;
    std::string text;
    if (RegOpenKeyEx(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS)
        (void)registry::GetString(key.get(), value, text);
    return text;
}

LSTATUS DeleteIfPresent(HKEY root, const std::string& path)
{
    const LSTATUS status = RegDeleteTree(root, path.c_str());
    return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

// Removes what a module that is gone registered for `typeName`: its class, the
// ProgIDs and type library the class names, the type's plug-in key and its entry
// under the service's plug-in key; all in one registry transaction.
Outcome RemoveOrphanedType(Console& console, const std::string& typeName, const std::string& clsid,
                           const std::string& module)
{
    const std::string classKey = "CLSID\\" + clsid;
    std::vector<std::pair<HKEY, std::string>> keys;
    for (const char* progIdValue : {"ProgID", "VersionIndependentProgID"}) {
        const std::string progId = ClassValue(classKey + "\\" + progIdValue);
        if (!progId.empty() && progId.find('\\') == std::string::npos)
            keys.emplace_back(HKEY_CLASSES_ROOT, progId);
    }
    const std::string libid = ClassValue(classKey + "\\TypeLib");
    if (!libid.empty() && libid.find('\\') == std::string::npos)
        keys.emplace_back(HKEY_CLASSES_ROOT, "TypeLib\\" + libid);
    keys.emplace_back(HKEY_CLASSES_ROOT, classKey);
    keys.emplace_back(HKEY_LOCAL_MACHINE,
                      std::string(kPluginKey) + kServiceMonitorIid + "\\" + typeName);
    keys.emplace_back(HKEY_LOCAL_MACHINE,
                      std::string(kServicePluginKey) + kServiceMonitorIid + "\\" + clsid);

    registry::Transaction transaction;
    if (transaction.status() != ERROR_SUCCESS)
        return Unavailable("cannot unregister " + Quoted(typeName) + ": " + RegLastErrorText());
    for (const auto& [root, path] : keys) {
        if (DeleteIfPresent(root, path) != ERROR_SUCCESS)
            return Unavailable("cannot unregister " + Quoted(typeName) + ": " + RegLastErrorText());
    }
    if (transaction.Commit() != ERROR_SUCCESS)
        return Unavailable("cannot unregister " + Quoted(typeName) + ": " + RegLastErrorText());
    console.out << "unregistered " << typeName << " (" << module
                << " is gone; its registration was removed)\n";
    return kExitDone;
}

} // namespace

Outcome RegisterModule(Console& console, const std::string& modulePath)
{
    std::error_code ec;
    if (!std::filesystem::is_regular_file(modulePath, ec))
        return BadInput("cannot register " + Quoted(modulePath) + ": no such file");
    std::filesystem::path absolute = std::filesystem::absolute(modulePath, ec);
    if (ec)
        return BadInput("cannot register " + Quoted(modulePath) + ": " + ec.message());
    const std::string path = absolute.lexically_normal().string();
    Result<HRESULT> hr = CallModuleExport(path, "DllRegisterServer", kExitUsage);
    if (!hr)
        return hr.error();
    if (FAILED(*hr))
        return Unavailable(Quoted(path) + " failed to register: " + com::DescribeHResult(*hr));
    // A bundled type registered by hand is setup's to keep registered again.
    if (Result<void> cleared = ClearSetupMark(absolute.filename().string()); !cleared)
        return Unavailable(cleared.error().message);
    console.out << "registered " << path << '\n';
    return kExitDone;
}

Outcome UnregisterType(Console& console, const std::string& typeName)
{
    Result<std::string> clsid = TypeClassId(typeName);
    if (!clsid)
        return clsid.error();
    Result<std::string> module = ClassModule(typeName, *clsid);
    if (!module)
        return module.error();
    std::error_code ec;
    if (!std::filesystem::exists(*module, ec) && !ec)
        return RemoveOrphanedType(console, typeName, *clsid, *module);
    Result<HRESULT> hr = CallModuleExport(*module, "DllUnregisterServer", kExitUnavailable);
    if (!hr)
        return hr.error();
    if (FAILED(*hr))
        return Unavailable(Quoted(*module) + " failed to unregister: " + com::DescribeHResult(*hr));
    console.out << "unregistered " << typeName << " (" << *module << ")\n";
    return kExitDone;
}

} // namespace ospreon::ctl
