#pragma once
// IConfigStore: one section of the service's configuration. Value puts are kept
// until Save commits them.

#include "interfaces/guids.h"
#include "platform/com/dispatch.h"

struct IConfigStore : IDispatch
{
    static constexpr const IID& Iid = IID_IConfigStore;

    virtual HRESULT Reserved7() { return E_NOTIMPL; }
    virtual HRESULT OpenSection(BSTR section) = 0; // slot 8
    virtual HRESULT Reserved9() { return E_NOTIMPL; }
    virtual HRESULT Reserved10() { return E_NOTIMPL; }
    virtual HRESULT Reserved11() { return E_NOTIMPL; }
    virtual HRESULT Reserved12() { return E_NOTIMPL; }
    virtual HRESULT Reserved13() { return E_NOTIMPL; }
    virtual HRESULT Reserved14() { return E_NOTIMPL; }
    virtual HRESULT Save() = 0;                               // slot 15
    virtual HRESULT get_Value(BSTR name, VARIANT* value) = 0; // slot 16
    virtual HRESULT put_Value(BSTR name, VARIANT value) = 0;  // slot 17

protected:
    ~IConfigStore() = default;
};
