#pragma once
// Type libraries: loaded from a module's exported descriptor and registered under
// HKCR\TypeLib\{LIBID}\<major>.<minor> (default value the help string, "0\linux" the
// module path, "FLAGS" "0", "HELPDIR" the help folder).

#include "platform/com/type_descriptor.h"

inline constexpr IID IID_ITypeLib = MakeGuid("00020402-0000-0000-C000-000000000046");

enum SYSKIND
{
    SYS_WIN16 = 0,
    SYS_WIN32 = 1,
    SYS_MAC = 2,
    SYS_WIN64 = 3
};

// A loaded type library. It keeps its module loaded while referenced.
struct ITypeLib : IUnknown
{
    static constexpr const IID& Iid = IID_ITypeLib;

    // Coclasses and interfaces together.
    virtual UINT GetTypeInfoCount() = 0;
    // index -1: the library; otherwise the index-th coclass, then interface. Any out
    // pointer may be null.
    virtual HRESULT GetDocumentation(INT index, BSTR* name, BSTR* docString, DWORD* helpContext,
                                     BSTR* helpFile) = 0;
    // The descriptor itself, valid while this library is referenced.
    virtual HRESULT GetDescriptor(const ospreon::com::TypeLibDesc** desc) = 0;

protected:
    ~ITypeLib() = default;
};

// Loads the module at `file` and takes its exported OspreonTypeLibrary;
// TYPE_E_CANTLOADLIBRARY when the module cannot be loaded or exports none.
HRESULT LoadTypeLib(LPCOLESTR file, ITypeLib** library);

// `helpDir` null: the folder of `fullPath`.
HRESULT RegisterTypeLib(ITypeLib* library, LPCOLESTR fullPath, LPCOLESTR helpDir);

// Removes HKCR\TypeLib\{LIBID}\<major>.<minor>, and the {LIBID} key once no version
// is left under it.
HRESULT UnRegisterTypeLib(REFGUID libid, WORD majorVersion, WORD minorVersion, LCID lcid,
                          SYSKIND syskind);
