#pragma once
// IUserFile: monitor files, read and written by the service.

#include "interfaces/guids.h"
#include "platform/com/dispatch.h"

struct IUserFile : IDispatch
{
    static constexpr const IID& Iid = IID_IUserFile;

    virtual HRESULT Import(BSTR path) = 0; // slot 7
    virtual HRESULT Export(BSTR path) = 0; // slot 8

protected:
    ~IUserFile() = default;
};
