#include "service/objects/plugin_info.h"

#include "service/objects/com_support.h"

namespace ospreon::service {

HRESULT PluginInfo::get_Name(BSTR* typeName)
{
    return Guarded([&] { return CopyOut(m_name, typeName); });
}

} // namespace ospreon::service
