#pragma once
// IPluginInfo: one monitor type of the catalogue.

#include "interfaces/guids.h"
#include "platform/com/dispatch.h"

struct IPluginInfo : IDispatch
{
    static constexpr const IID& Iid = IID_IPluginInfo;

    virtual HRESULT get_Name(BSTR* typeName) = 0; // slot 7

protected:
    ~IPluginInfo() = default;
};
