#pragma once
// IUserStore: the service's records. Open, Add and Remove act on the record an
// IUserRef names; Item counts from 1.

#include "interfaces/user_ref.h"

struct IUserStore : IDispatch
{
    static constexpr const IID& Iid = IID_IUserStore;

    virtual HRESULT Open(IUserRef* ref) = 0;   // slot 7
    virtual HRESULT Add(IUserRef* ref) = 0;    // slot 8
    virtual HRESULT Remove(IUserRef* ref) = 0; // slot 9
    virtual HRESULT Reserved10() { return E_NOTIMPL; }
    virtual HRESULT get_Count(LONG* count) = 0;                // slot 11
    virtual HRESULT get_Item(LONG index, VARIANT* record) = 0; // slot 12: VT_DISPATCH IUser

protected:
    ~IUserStore() = default;
};
