#include "service/objects/plugin_catalog.h"

#include "service/objects/com_support.h"
#include "service/objects/monitor_types.h"
#include "service/objects/plugin_list.h"

namespace ospreon::service {

HRESULT PluginCatalog::Plugins(BSTR listIid, IUnknown*, IUnknown** list)
{
    if (!list)
        return E_POINTER;
    *list = nullptr;
    return Guarded([&] {
        if (com::GuidFromString(com::BstrToUtf8(listIid)) != IID_IPluginList)
            return E_NOINTERFACE;
        Result<std::vector<MonitorType>> types = ReadMonitorTypes();
        if (!types)
            return HResultOf(types.error());
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
