#pragma once
// IPluginList: the catalogue's answer; Item counts from 1 and holds an object that
// answers IPluginInfo.

#include "interfaces/guids.h"
#include "platform/com/dispatch.h"

struct IPluginList : IDispatch
{
    static constexpr const IID& Iid = IID_IPluginList;

    virtual HRESULT Reserved7() { return E_NOTIMPL; }
    virtual HRESULT Reserved8() { return E_NOTIMPL; }
    virtual HRESULT Reserved9() { return E_NOTIMPL; }
    virtual HRESULT Reserved10() { return E_NOTIMPL; }
    virtual HRESULT Reserved11() { return E_NOTIMPL; }
    virtual HRESULT get_Count(LONG* count) = 0;              // slot 12
    virtual HRESULT get_Item(LONG index, VARIANT* item) = 0; // slot 13

protected:
    ~IPluginList() = default;
};
