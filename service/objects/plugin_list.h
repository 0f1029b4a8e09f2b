#pragma once
// IPluginList: the catalogue's answer, the type names as they were when it was
// asked. Item counts from 1 (DISP_E_BADINDEX outside 1..Count) and holds an
// IPluginInfo as VT_DISPATCH.

#include <string>
#include <vector>

#include "interfaces/plugin_list.h"
#include "service/objects/com_object.h"

namespace ospreon::service {

class PluginList final : public ComObject<VtableDispatch<IPluginList>>
{
public:
    explicit PluginList(std::vector<std::string> names) : m_names(std::move(names)) {}

    HRESULT get_Count(LONG* count) override;
    HRESULT get_Item(LONG index, VARIANT* item) override;

private:
    const std::vector<std::string> m_names;
};

} // namespace ospreon::service
