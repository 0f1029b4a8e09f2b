#pragma once
// IServiceMonitor: the check of one monitor type, called with the record to work on.
// Dual; every plug-in class implements it as its default interface.

#include "interfaces/user.h"

struct IServiceMonitor : IDispatch
{
    static constexpr const IID& Iid = IID_IServiceMonitor;

    virtual HRESULT get_Server(BSTR* pVal) = 0;      // dispid 1, reserved
    virtual HRESULT put_Server(BSTR newVal) = 0;     // dispid 1, reserved
    virtual HRESULT Monitor(IUser* pUser) = 0;       // dispid 2: S_OK in order, E_FAIL trouble
    virtual HRESULT ExcuteCommand(IUser* pUser) = 0; // dispid 3: the failure command
    virtual HRESULT Notify(IUser* pUser) = 0;        // dispid 4: alarm sound and notification
    virtual HRESULT Init(IUser* pUser) = 0;          // dispid 5: log file, declarations
    virtual HRESULT NotifySucc(IUser* pUser) = 0;    // dispid 6: works again

protected:
    ~IServiceMonitor() = default;
};
