#include "service/objects/monitor_types.h"

#include "interfaces/guids.h"
#include "platform/base/ascii.h"
#include "platform/registry/registry.h"

namespace ospreon::service {

namespace {

const std::string& PluginKey()
{
    static const std::string key =
        std::string("SOFTWARE\\Brackwater\\RELAYMOOR\\Plugin\\") + kServiceMonitorIid;
    return key;
}

Error RegistryError(const std::string& what)
{
    return Error::HResult(REGDB_E_READREGDB, what + ": " + RegLastErrorText());
}

// The registered types in the registry's order.
Result<std::vector<MonitorType>> ReadRegisteredTypes()
{
    std::vector<MonitorType> types;
    registry::Key plugins;
    LSTATUS status =
        RegOpenKeyEx(HKEY_LOCAL_MACHINE, PluginKey().c_str(), 0, KEY_READ, plugins.put());
    if (status == ERROR_FILE_NOT_FOUND)
        return types;
    if (status != ERROR_SUCCESS)
        return RegistryError("cannot open the plug-in key");
    std::string name(256, '\0');
    for (DWORD index = 0;; ++index) {
        DWORD size = static_cast<DWORD>(name.size());
        status = RegEnumKeyEx(plugins.get(), index, name.data(), &size, nullptr, nullptr, nullptr,
                              nullptr);
        if (status == ERROR_MORE_DATA) {
            name.resize(size + 1);
            --index;
            continue;
        }
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        if (status != ERROR_SUCCESS)
            return RegistryError("cannot list the plug-in key");
        MonitorType type{name.substr(0, size), std::nullopt};
        registry::Key typeKey;
        if (RegOpenKeyEx(plugins.get(), type.name.c_str(), 0, KEY_READ, typeKey.put()) ==
            ERROR_SUCCESS) {
            std::string clsid;
            if (registry::GetString(typeKey.get(), nullptr, clsid) == ERROR_SUCCESS)
                type.clsid = com::GuidFromString(clsid);
        }
        types.push_back(std::move(type));
    }
    return types;
}

} // namespace

Result<std::vector<MonitorType>> ReadMonitorTypes()
{
    Result<std::vector<MonitorType>> registered = ReadRegisteredTypes();
    if (!registered)
        return registered;
    std::vector<MonitorType> types;
    for (MonitorType& type : *registered) {
        if (!FindMonitorType(types, type.name))
            types.push_back(std::move(type));
    }
    return types;
}

const MonitorType* FindMonitorType(const std::vector<MonitorType>& types, std::string_view name)
{
    for (const MonitorType& type : types) {
        if (EqualsNoCase(type.name, name))
            return &type;
    }
    return nullptr;
}

std::optional<std::string_view> TypeInName(std::string_view name)
{
    const std::size_t separator = FindNoCase(name, " of ");
    if (separator == std::string_view::npos)
        return std::nullopt;
    return name.substr(0, separator);
}

} // namespace ospreon::service
