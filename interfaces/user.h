#pragma once
// IUser: one monitor record — its name, type, ordered parameter list, access by
// key, and the plug-in object that serves it. Dual; the monitor service implements it.

#include "interfaces/guids.h"
#include "platform/com/dispatch.h"

struct IUser : IDispatch
{
    static constexpr const IID& Iid = IID_IUser;

    virtual HRESULT get_UserName(BSTR* pVal) = 0;                   // dispid 1
    virtual HRESULT put_UserName(BSTR newVal) = 0;                  // dispid 1
    virtual HRESULT get_ServiceType(BSTR* pVal) = 0;                // dispid 2
    virtual HRESULT get_InfoNumber(LONG* pVal) = 0;                 // dispid 3
    virtual HRESULT put_InfoNumber(LONG newVal) = 0;                // dispid 3
    virtual HRESULT get_InfoName(LONG nIndex, BSTR* pVal) = 0;      // dispid 4
    virtual HRESULT put_InfoName(LONG nIndex, BSTR newVal) = 0;     // dispid 4
    virtual HRESULT get_UserInfo(LONG nIndex, VARIANT* pVal) = 0;   // dispid 5
    virtual HRESULT put_UserInfo(LONG nIndex, VARIANT newVal) = 0;  // dispid 5
    virtual HRESULT get_InfoVal(BSTR InfoName, VARIANT* pVal) = 0;  // dispid 6
    virtual HRESULT put_InfoVal(BSTR InfoName, VARIANT newVal) = 0; // dispid 6
    virtual HRESULT get_UserFunc(IDispatch** pVal) = 0;             // dispid 7
    virtual HRESULT put_UserFunc(IDispatch* newVal) = 0;            // dispid 7

protected:
    ~IUser() = default;
};
