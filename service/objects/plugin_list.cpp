#include "service/objects/plugin_list.h"

#include "service/objects/com_support.h"
#include "service/objects/plugin_info.h"

namespace ospreon::service {

HRESULT PluginList::get_Count(LONG* count)
{
    if (!count)
        return E_POINTER;
    *count = static_cast<LONG>(m_names.size());
    return S_OK;
}

HRESULT PluginList::get_Item(LONG index, VARIANT* item)
{
    if (!item)
        return E_POINTER;
    VariantInit(item);
    if (index < 1 || static_cast<std::size_t>(index) > m_names.size())
        return DISP_E_BADINDEX;
    return Guarded([&] {
        com::ComPtr<PluginInfo> info =
            MakeObject<PluginInfo>(m_names[static_cast<std::size_t>(index) - 1]);
        if (!info)
            return E_OUTOFMEMORY;
        SetDispatchVariant(static_cast<IPluginInfo*>(info.detach()), item);
        return S_OK;
    });
}

} // namespace ospreon::service
