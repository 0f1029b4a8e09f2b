#pragma once
// IPluginCatalog: the monitor types (monitor_types.h). Plugins is asked for the
// list by the text of its IID, "{1B2D03AA-C28B-11D3-9CCC-00A0246E266E}" (any other
// text: E_NOINTERFACE); the reference argument is not used. REGDB_E_READREGDB when
// the registry cannot be read.

#include "interfaces/plugin_catalog.h"
#include "service/objects/com_object.h"

namespace ospreon::service {

class PluginCatalog final : public ComObject<VtableDispatch<IPluginCatalog>>
{
public:
    HRESULT Plugins(BSTR listIid, IUnknown* ref, IUnknown** list) override;
};

} // namespace ospreon::service
