#pragma once
// IUnknown and IClassFactory. Interfaces are abstract classes whose virtual
// functions sit in COM's slot order; they have no virtual destructor (it would take
// a slot): objects end themselves in Release.

#include "platform/com/guid.h"
#include "platform/wintypes/winerror.h"

inline constexpr IID IID_IUnknown = MakeGuid("00000000-0000-0000-C000-000000000046");
inline constexpr IID IID_IClassFactory = MakeGuid("00000001-0000-0000-C000-000000000046");

struct IUnknown
{
    static constexpr const IID& Iid = IID_IUnknown;

    virtual HRESULT QueryInterface(REFIID riid, void** object) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    ~IUnknown() = default;
};

struct IClassFactory : IUnknown
{
    static constexpr const IID& Iid = IID_IClassFactory;

    virtual HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** object) = 0;
    virtual HRESULT LockServer(BOOL lock) = 0;

protected:
    ~IClassFactory() = default;
};

// The interface identifier of an interface type: uuidof<IUser>().
template <class Interface> constexpr const IID& uuidof()
{
    return Interface::Iid;
}

// The exports of an in-process server module, looked up by name.
using DllGetClassObjectFn = HRESULT (*)(REFCLSID clsid, REFIID riid, void** object);
using DllCanUnloadNowFn = HRESULT (*)();
using DllRegisterServerFn = HRESULT (*)();
using DllUnregisterServerFn = HRESULT (*)();
