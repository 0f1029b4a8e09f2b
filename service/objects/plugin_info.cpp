#include "service/objects/plugin_info.h"

#include "service/objects/com_support.h"

namespace ospreon::service {

HRESULT PluginInfo::get_Name(BSTR* typeName)
{
    if (!typeName)
        return E_POINTER;
    *typeName = nullptr;
    return Guarded([&] { return CopyText(m_name, typeName); });
}

} // namespace ospreon::service
