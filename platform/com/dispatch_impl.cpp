#include "platform/com/dispatch_impl.h"

#include <cstring>
#include <exception>
#include <new>
#include <vector>

#include "platform/base/ascii.h"
#include "platform/com/com_ptr.h"
#include "platform/com/error_info.h"

namespace ospreon::com {

namespace {

bool SameName(const char* ascii, const OLECHAR* wide)
{
    std::size_t i = 0;
    for (; ascii[i] && wide[i]; ++i) {
        if (AsciiLower(static_cast<char16_t>(static_cast<unsigned char>(ascii[i]))) !=
            AsciiLower(wide[i]))
            return false;
    }
    return ascii[i] == '\0' && wide[i] == u'\0';
}

const MemberDesc* FindMember(const InterfaceDesc& desc, DISPID id, MemberKind kind)
{
    for (const MemberDesc& member : desc.members) {
        if (member.dispid == id && member.kind == kind)
            return &member;
    }
    return nullptr;
}

// Late-bound callers often pass METHOD | PROPERTYGET for "read this".
const MemberDesc* Resolve(const InterfaceDesc& desc, DISPID id, WORD flags)
{
    if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF))
        return FindMember(desc, id, MemberKind::PropertyPut);
    const MemberDesc* member = nullptr;
    if (flags & DISPATCH_METHOD)
        member = FindMember(desc, id, MemberKind::Method);
    if (!member && (flags & DISPATCH_PROPERTYGET))
        member = FindMember(desc, id, MemberKind::PropertyGet);
    return member;
}

} // namespace

HRESULT DispatchGetIDsOfNames(const InterfaceDesc& desc, REFIID riid, LPOLESTR* names, UINT count,
                              DISPID* ids)
{
    if (riid != GUID_NULL)
        return DISP_E_UNKNOWNINTERFACE;
    if (!names || !ids || count == 0)
        return E_INVALIDARG;
    for (UINT i = 0; i < count; ++i)
        ids[i] = DISPID_UNKNOWN;
    if (!names[0])
        return DISP_E_UNKNOWNNAME;
    for (const MemberDesc& member : desc.members) {
        if (SameName(member.name, names[0])) {
            ids[0] = member.dispid;
            // Argument names are not described: named arguments are not supported.
            return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
        }
    }
    return DISP_E_UNKNOWNNAME;
}

HRESULT DispatchException(HRESULT hr, EXCEPINFO* exception) noexcept
{
    if (!exception)
        return DISP_E_EXCEPTION; // the error information stays for GetErrorInfo
    std::memset(exception, 0, sizeof *exception);
    exception->scode = hr;
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.put()) == S_OK && info) {
        (void)info->GetSource(&exception->bstrSource);
        (void)info->GetDescription(&exception->bstrDescription);
    }
    return DISP_E_EXCEPTION;
}

HRESULT DispatchInvoke(const InterfaceDesc& desc, void* self, DISPID id, REFIID riid, WORD flags,
                       DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception, UINT* argError)
{
    ClearErrorInfo();
    if (riid != GUID_NULL)
        return DISP_E_UNKNOWNINTERFACE;
    if (!params || (params->cArgs && !params->rgvarg))
        return E_INVALIDARG;
    const MemberDesc* member = Resolve(desc, id, flags);
    if (!member || !member->invoke)
        return DISP_E_MEMBERNOTFOUND;
    const bool put = member->kind == MemberKind::PropertyPut;
    if (params->cNamedArgs > (put ? 1u : 0u) ||
        (params->cNamedArgs == 1 && params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT))
        return DISP_E_NONAMEDARGS;
    if (put && params->cNamedArgs == 0)
        return DISP_E_PARAMNOTOPTIONAL;

    if (result)
        VariantInit(result);
    try {
        // rgvarg holds the arguments last first; thunks take them in declaration order.
        std::vector<VARIANT*> args(params->cArgs);
        for (UINT i = 0; i < params->cArgs; ++i)
            args[i] = &params->rgvarg[params->cArgs - 1 - i];
        return member->invoke(self, args.data(), params->cArgs, result, argError, exception);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return DispatchException(E_FAIL, exception);
    }
}

} // namespace ospreon::com
