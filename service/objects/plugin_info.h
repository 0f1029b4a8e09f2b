#pragma once
// IPluginInfo: one monitor type of the catalogue.

#include <string>

#include "interfaces/plugin_info.h"
#include "service/objects/com_object.h"

namespace ospreon::service {

class PluginInfo final : public ComObject<VtableDispatch<IPluginInfo>>
{
public:
    explicit PluginInfo(std::string name) : m_name(std::move(name)) {}

    HRESULT get_Name(BSTR* typeName) override;

private:
    const std::string m_name;
};

} // namespace ospreon::service
