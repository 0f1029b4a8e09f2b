#pragma once
// IServiceControl: Reload(password) moves the store's reload generation, which the
// daemon watches, when `password` is the stored, non-empty "ControlPass" of section
// "Wardenhost"; otherwise E_ACCESSDENIED and nothing changes. WARDEN_E_STORE when
// the store cannot be opened.

#include "interfaces/service_control.h"
#include "service/objects/com_object.h"

namespace ospreon::service {

class ServiceControl final : public ComObject<VtableDispatch<IServiceControl>>
{
public:
    HRESULT Reload(BSTR controlPassword) override;
};

} // namespace ospreon::service
