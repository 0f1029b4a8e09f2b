#include "service/objects/plugin_catalog.h"

#include "service/objects/com_support.h"
#include "service/objects/monitor_types.h"
#include "service/objects/plugin_list.h"

namespace ospreon::service {

HRESULT PluginCatalog::Plugins(BSTR listIid, IUnknown*, IUnknown** list)
{
    return Guarded([&] {
        if (!list)
            return E_POINTER;
        *list = nullptr;
        const std::string asked = com::BstrToUtf8(listIid);
        if (com::GuidFromString(asked) != IID_IPluginList)
            return Fail(E_NOINTERFACE, "the plug-in catalogue gives no list of interface " + asked);
        Result<std::vector<MonitorType>> types = ReadMonitorTypes();
        if (!types)
            return Fail(types.error());
        std::vector<std::string> names;
        for (MonitorType& type : *types)
            names.push_back(std::move(type.name));
        com::ComPtr<PluginList> answer = MakeObject<PluginList>(std::move(names));
        if (!answer)
            return E_OUTOFMEMORY;
        *list = static_cast<IPluginList*>(answer.detach());
        return S_OK;
    });
}

} // namespace ospreon::service
