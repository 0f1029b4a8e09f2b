#include "service/ctl/register_commands.h"

#include <filesystem>
#include <system_error>

#include "interfaces/guids.h"
#include "platform/com/activation.h"
#include "platform/registry/registry.h"
#include "service/ctl/module_call.h"

namespace ospreon::ctl {

namespace {

using registry::Key;

constexpr char kPluginKey[] = "SOFTWARE\\Brackwater\\RELAYMOOR\\Plugin\\";

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
    Result<HRESULT> hr = CallModuleExport(*module, "DllUnregisterServer", kExitUnavailable);
    if (!hr)
        return hr.error();
    if (FAILED(*hr))
        return Unavailable(Quoted(*module) + " failed to unregister: " + com::DescribeHResult(*hr));
    console.out << "unregistered " << typeName << " (" << *module << ")\n";
    return kExitDone;
}

} // namespace ospreon::ctl
