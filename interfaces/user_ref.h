#pragma once
// IUserRef: names one record of the service (its Provider and Name) and, after an
// IUserStore operation, holds the record as Object. Slots unnamed by the service's
// contract are placeholders that answer E_NOTIMPL, so every operation keeps its slot.

#include "interfaces/guids.h"
#include "platform/com/dispatch.h"

struct IUserRef : IDispatch
{
    static constexpr const IID& Iid = IID_IUserRef;

    virtual HRESULT Reserved7() { return E_NOTIMPL; }
    virtual HRESULT put_Name(BSTR name) = 0; // slot 8
    virtual HRESULT Reserved9() { return E_NOTIMPL; }
    virtual HRESULT Reserved10() { return E_NOTIMPL; }
    virtual HRESULT Reserved11() { return E_NOTIMPL; }
    virtual HRESULT Reserved12() { return E_NOTIMPL; }
    virtual HRESULT Reserved13() { return E_NOTIMPL; }
    virtual HRESULT Reserved14() { return E_NOTIMPL; }
    virtual HRESULT Reserved15() { return E_NOTIMPL; }
    virtual HRESULT get_Object(VARIANT* record) = 0; // slot 16: VT_DISPATCH IUser
    virtual HRESULT Reserved17() { return E_NOTIMPL; }
    virtual HRESULT Reserved18() { return E_NOTIMPL; }
    virtual HRESULT put_Provider(BSTR provider) = 0; // slot 19

protected:
    ~IUserRef() = default;
};
