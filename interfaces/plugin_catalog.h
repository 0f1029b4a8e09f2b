#pragma once
// IPluginCatalog: the monitor types the service knows. Plugins is given the text of
// the list IID ("{1B2D03AA-...}") and an unset IUserRef and yields the list.

#include "interfaces/guids.h"
#include "platform/com/dispatch.h"

struct IPluginCatalog : IDispatch
{
    static constexpr const IID& Iid = IID_IPluginCatalog;

    virtual HRESULT Reserved7() { return E_NOTIMPL; }
    virtual HRESULT Plugins(BSTR listIid, IUnknown* ref, IUnknown** list) = 0; // slot 8

protected:
    ~IPluginCatalog() = default;
};
