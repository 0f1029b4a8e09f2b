#pragma once
// IServiceControl: asks the running service to reload its settings.

#include "interfaces/guids.h"
#include "platform/com/dispatch.h"

struct IServiceControl : IDispatch
{
    static constexpr const IID& Iid = IID_IServiceControl;

    virtual HRESULT Reload(BSTR controlPassword) = 0; // slot 7

protected:
    ~IServiceControl() = default;
};
