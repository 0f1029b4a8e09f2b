#pragma once
// Type information as static data compiled into each module: the libraries,
// coclasses, interfaces and members a type library describes, with the thunk that
// calls each member late-bound. IDispatch is served from the same data
// (dispatch_impl.h), so names and dispatch ids cannot drift from the vtable.

#include <span>

#include "platform/com/dispatch.h"

namespace ospreon::com {

enum class MemberKind : WORD
{
    Method = DISPATCH_METHOD,
    PropertyGet = DISPATCH_PROPERTYGET,
    PropertyPut = DISPATCH_PROPERTYPUT,
};

// Calls one member on `self` (the interface pointer) with its arguments in
// declaration order; fills `result` from the member's out-value, if any. An
// argument that does not convert fails with its DISP_E_ code; a member that fails
// makes the call fail with DISP_E_EXCEPTION and `exception` describe it
// (DispatchException).
using MemberThunk = HRESULT (*)(void* self, VARIANT* const* args, UINT count, VARIANT* result,
                                UINT* argError, EXCEPINFO* exception);

// What Invoke gives for a member that failed with `hr`: DISP_E_EXCEPTION, and when
// `exception` is given, `hr` as its scode and the thread's error information (which
// it takes) as its source and description.
HRESULT DispatchException(HRESULT hr, EXCEPINFO* exception) noexcept;

struct MemberDesc
{
    const char* name;
    DISPID dispid;
    MemberKind kind;
    const char* helpString;
    MemberThunk invoke;
};

struct InterfaceDesc
{
    const char* name;
    IID iid;
    const char* helpString;
    std::span<const MemberDesc> members; // in vtable order; empty for an empty dispinterface
};

struct CoClassDesc
{
    const char* name;
    CLSID clsid;
    const char* helpString;
    const InterfaceDesc* defaultInterface;
};

struct TypeLibDesc
{
    const char* name; // "RAMWARDENLib"
    GUID libid;
    WORD majorVersion;
    WORD minorVersion;
    LCID lcid;
    const char* helpString;
    std::span<const CoClassDesc> coclasses;
    std::span<const InterfaceDesc* const> interfaces;
};

} // namespace ospreon::com

// The symbol under which a module exports its type library:
//   extern "C" OSPREON_EXPORT const ospreon::com::TypeLibDesc OspreonTypeLibrary;
inline constexpr char kTypeLibrarySymbol[] = "OspreonTypeLibrary";

#define OSPREON_EXPORT __attribute__((visibility("default")))
