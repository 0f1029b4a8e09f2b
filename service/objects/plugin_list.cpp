#include "service/objects/plugin_list.h"

#include "service/objects/com_support.h"
#include "service/objects/plugin_info.h"

namespace ospreon::service {

HRESULT PluginList::get_Count(LONG* count)
{
    return Guarded([&] {
        if (!count)
            return E_POINTER;
        *count = static_cast<LONG>(m_names.size());
        return S_OK;
    });
}

HRESULT PluginList::get_Item(LONG index, VARIANT* item)
{
    return Guarded([&] {
        if (!item)
            return E_POINTER;
        VariantInit(item);
        if (index < 1 || static_cast<std::size_t>(index) > m_names.size())
            return Fail(DISP_E_BADINDEX, "no monitor type at " + std::to_string(index) + " of " +
                                             std::to_string(m_names.size()));
        com::ComPtr<PluginInfo> info =
            MakeObject<PluginInfo>(m_names[static_cast<std::size_t>(index) - 1]);
        if (!info)
            return E_OUTOFMEMORY;
        MoveOut(std::move(info), item);
        return S_OK;
    });
}

} // namespace ospreon::service
