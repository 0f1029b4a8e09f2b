#pragma once
// IDispatch served from an interface descriptor: names resolve to dispatch ids
// without regard to case, and Invoke calls the member's vtable function through its
// thunk, so late-bound and early-bound calls give the same results.

#include "platform/com/type_descriptor.h"

namespace ospreon::com {

HRESULT DispatchGetIDsOfNames(const InterfaceDesc& desc, REFIID riid, LPOLESTR* names, UINT count,
                              DISPID* ids);

// `self` is the interface pointer the descriptor's thunks expect.
HRESULT DispatchInvoke(const InterfaceDesc& desc, void* self, DISPID id, REFIID riid, WORD flags,
                       DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception, UINT* argError);

// Implements the four IDispatch members of `Interface` from `Desc`:
//   class CUser : public DispatchImpl<IUser, kIUserDesc> { ... };
// Objects hand out no ITypeInfo: their descriptors serve the names.
template <class Interface> class NoTypeInfo : public Interface
{
public:
    HRESULT GetTypeInfoCount(UINT* count) override
    {
        if (!count)
            return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** info) override
    {
        if (info)
            *info = nullptr;
        return DISP_E_BADINDEX;
    }

protected:
    ~NoTypeInfo() = default;
};

template <class Interface, const InterfaceDesc& Desc>
class DispatchImpl : public NoTypeInfo<Interface>
{
public:
    HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) override
    {
        return DispatchGetIDsOfNames(Desc, riid, names, count, ids);
    }
    HRESULT Invoke(DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                   EXCEPINFO* exception, UINT* argError) override
    {
        return DispatchInvoke(Desc, static_cast<Interface*>(this), id, riid, flags, params, result,
                              exception, argError);
    }

protected:
    ~DispatchImpl() = default;
};

// The IDispatch part of an interface that no type library describes: it is reached
// through its vtable only, and late-bound calls find no member.
template <class Interface> class VtableDispatch : public NoTypeInfo<Interface>
{
public:
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID, DISPID* ids) override
    {
        for (UINT i = 0; ids && i < count; ++i)
            ids[i] = DISPID_UNKNOWN;
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override
    {
        return DISP_E_MEMBERNOTFOUND;
    }

protected:
    ~VtableDispatch() = default;
};

} // namespace ospreon::com
