#include "plugins/common/registrar.h"

#include <filesystem>
#include <string>
#include <vector>

#include "interfaces/guids.h"
#include "interfaces/monitor_plugin.h"
#include "platform/com/bstr.h"
#include "platform/com/com_ptr.h"
#include "platform/com/guard.h"
#include "platform/com/type_library.h"
#include "platform/os/shared_library.h"
#include "platform/registry/registry.h"
#include "plugins/common/alertlib_table.h"
#include "plugins/common/class_factory.h"
#include "plugins/common/service_monitor.h"

namespace ospreon::plugin {

namespace {

using registry::Key;

constexpr char kPluginKey[] = "SOFTWARE\\Brackwater\\RELAYMOOR\\Plugin\\";
constexpr char kClassName[] = "ServiceMonitor Class";

struct KeyValue
{
    std::string path; // under the root
    const char* name; // null: the default value
    std::string value;
};

LSTATUS CreateKey(HKEY root, const std::string& path, Key& key)
{
    return RegCreateKeyEx(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                          nullptr, key.put(), nullptr);
}

LSTATUS Write(HKEY root, const KeyValue& entry)
{
    Key key;
    LSTATUS status = CreateKey(root, entry.path, key);
    if (status != ERROR_SUCCESS)
        return status;
    return registry::SetString(key.get(), entry.name, entry.value);
}

LSTATUS DeleteIfPresent(HKEY root, const std::string& path)
{
    LSTATUS status = RegDeleteTree(root, path.c_str());
    return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
}

std::string ProgId(const PluginType& type)
{
    return std::string(type.typeName) + ".ServiceMonitor";
}

std::string ClassKey(const PluginType& type)
{
    return "CLSID\\" + com::GuidToString(type.clsid);
}

std::string TypeKey(const PluginType& type)
{
    return std::string(kPluginKey) + kServiceMonitorIid + "\\" + type.typeName;
}

// Runs one method of a plug-in object made directly (not through COM).
template <class Method> HRESULT WithObject(const PluginType& type, Method method)
{
    com::ComPtr<ServiceMonitor> object = com::MakeObject<ServiceMonitor>(type);
    if (!object)
        return E_OUTOFMEMORY;
    return method(static_cast<IMonitorPlugin*>(object.get()));
}

} // namespace

HRESULT RegisterClass(const PluginType& type, const std::string& modulePath)
{
    const std::string clsid = com::GuidToString(type.clsid);
    const std::string progId = ProgId(type);
    const std::string versioned = progId + ".1";
    const std::string classKey = ClassKey(type);

    // Keys registered "replaced whole" are rebuilt, so nothing stale survives in them.
    if (DeleteIfPresent(HKEY_CLASSES_ROOT, classKey) != ERROR_SUCCESS ||
        DeleteIfPresent(HKEY_LOCAL_MACHINE, TypeKey(type)) != ERROR_SUCCESS)
        return REGDB_E_WRITEREGDB;

    const std::string libid =
        type.typeLibrary ? com::GuidToString(type.typeLibrary->libid) : std::string();
    const std::vector<KeyValue> classesRoot = {
        {versioned, nullptr, kClassName},
        {versioned + "\\CLSID", nullptr, clsid},
        {progId, nullptr, kClassName},
        {progId + "\\CLSID", nullptr, clsid},
        {progId + "\\CurVer", nullptr, versioned},
        {classKey, nullptr, kClassName},
        {classKey + "\\ProgID", nullptr, versioned},
        {classKey + "\\VersionIndependentProgID", nullptr, progId},
        {classKey + "\\InprocServer32", nullptr, modulePath},
        {classKey + "\\InprocServer32", "ThreadingModel", "Both"},
        {classKey + "\\TypeLib", nullptr, libid},
    };
    for (const KeyValue& entry : classesRoot) {
        if (Write(HKEY_CLASSES_ROOT, entry) != ERROR_SUCCESS)
            return REGDB_E_WRITEREGDB;
    }
    Key programmable; // an empty key: the class is an automation server
    if (CreateKey(HKEY_CLASSES_ROOT, classKey + "\\Programmable", programmable) != ERROR_SUCCESS)
        return REGDB_E_WRITEREGDB;

    const std::vector<KeyValue> localMachine = {
        {std::string(kPluginKey) + kServiceMonitorIid, nullptr, "Monitor interface"},
        {TypeKey(type), nullptr, clsid},
    };
    for (const KeyValue& entry : localMachine) {
        if (Write(HKEY_LOCAL_MACHINE, entry) != ERROR_SUCCESS)
            return REGDB_E_WRITEREGDB;
    }
    return S_OK;
}

HRESULT UnregisterClass(const PluginType& type)
{
    const std::string progId = ProgId(type);
    bool ok = DeleteIfPresent(HKEY_CLASSES_ROOT, progId + ".1") == ERROR_SUCCESS;
    ok = DeleteIfPresent(HKEY_CLASSES_ROOT, progId) == ERROR_SUCCESS && ok;
    ok = DeleteIfPresent(HKEY_CLASSES_ROOT, ClassKey(type)) == ERROR_SUCCESS && ok;
    ok = DeleteIfPresent(HKEY_LOCAL_MACHINE, TypeKey(type)) == ERROR_SUCCESS && ok;
    return ok ? S_OK : REGDB_E_WRITEREGDB;
}

HRESULT RegisterServicePlugin(const PluginType& type, const std::string& serviceName)
{
    HKEY service = Alertlib().getServicePluginKey(serviceName.c_str()); // owned by Alertlib
    if (!service)
        return PLUGIN_E_NOSERVICEKEY;
    Key interfaceKey;
    if (RegOpenKeyEx(service, kServiceMonitorIid, 0, KEY_ALL_ACCESS, interfaceKey.put()) !=
        ERROR_SUCCESS)
        return PLUGIN_E_NOINTERFACEKEY;
    Key classKey;
    if (CreateKey(interfaceKey.get(), com::GuidToString(type.clsid), classKey) != ERROR_SUCCESS)
        return PLUGIN_E_KEYFAILED;
    (void)registry::SetString(classKey.get(), "PluginName", type.typeName);
    Key typeKey;
    if (CreateKey(classKey.get(), type.typeName, typeKey) == ERROR_SUCCESS)
        (void)registry::SetString(typeKey.get(), nullptr, "User");
    return S_OK;
}

HRESULT UnregisterServicePlugin(const PluginType& type, const std::string& serviceName)
{
    HKEY service = Alertlib().getServicePluginKey(serviceName.c_str());
    if (!service)
        return PLUGIN_E_NOSERVICEKEY;
    Key interfaceKey;
    if (RegOpenKeyEx(service, kServiceMonitorIid, 0, KEY_ALL_ACCESS, interfaceKey.put()) !=
        ERROR_SUCCESS)
        return PLUGIN_E_NOINTERFACEKEY;
    if (RegDeleteTree(interfaceKey.get(), com::GuidToString(type.clsid).c_str()) != ERROR_SUCCESS)
        return PLUGIN_E_KEYFAILED;
    return S_OK;
}

namespace {

HRESULT RegisterModulePath(const PluginType& type, const std::string& modulePath)
{
    com::Bstr service("Wardenhost");
    (void)WithObject(type,
                     [&](IMonitorPlugin* plugin) { return plugin->RegisterPlugin(service.get()); });

    if (HRESULT hr = RegisterClass(type, modulePath); FAILED(hr))
        return hr;

    com::Bstr path(modulePath);
    com::Bstr helpDir(std::filesystem::path(modulePath).parent_path().string());
    com::ComPtr<ITypeLib> library;
    HRESULT hr = LoadTypeLib(path.get(), library.put());
    if (FAILED(hr))
        return hr;
    return RegisterTypeLib(library.get(), path.get(), helpDir.get());
}

HRESULT UnregisterModuleKeys(const PluginType& type)
{
    com::Bstr service("Wardenhost");
    (void)WithObject(
        type, [&](IMonitorPlugin* plugin) { return plugin->UnregisterPlugin(service.get()); });
    (void)UnregisterClass(type);
    if (const com::TypeLibDesc* library = type.typeLibrary)
        (void)UnRegisterTypeLib(library->libid, library->majorVersion, library->minorVersion,
                                library->lcid, SYS_WIN32);
    return S_OK;
}

} // namespace

HRESULT RegisterModule(const PluginType& type, const void* moduleAddress) noexcept
{
    return com::Guarded([&] {
        return registry::RegisterAtomically(
            [&] { return RegisterModulePath(type, os::SharedLibrary::PathOf(moduleAddress)); });
    });
}

HRESULT UnregisterModule(const PluginType& type) noexcept
{
    return com::Guarded(
        [&] { return registry::RegisterAtomically([&] { return UnregisterModuleKeys(type); }); });
}

} // namespace ospreon::plugin
