#pragma once
// Out-parameters of COM methods: a new BSTR, a VT_BSTR or VT_DISPATCH VARIANT.

#include <string_view>

#include "platform/com/com_ptr.h"
#include "platform/com/dispatch.h"

namespace ospreon::com {

// *out = a new BSTR of `text`; E_POINTER for a null `out`.
[[nodiscard]] inline HRESULT CopyOut(std::string_view text, BSTR* out)
{
    if (!out)
        return E_POINTER;
    *out = Utf8ToBstr(text);
    return *out ? S_OK : E_OUTOFMEMORY;
}

// *out (initialised) = VT_BSTR of `text`.
[[nodiscard]] inline HRESULT CopyOut(std::string_view text, VARIANT* out)
{
    if (!out)
        return E_POINTER;
    BSTR value = Utf8ToBstr(text);
    if (!value)
        return E_OUTOFMEMORY;
    out->vt = VT_BSTR;
    out->bstrVal = value;
    return S_OK;
}

// *out (initialised) = VT_DISPATCH holding the reference `object` held.
template <class T> void MoveOut(ComPtr<T> object, VARIANT* out)
{
    IDispatch* dispatch = object.detach();
    out->vt = VT_DISPATCH;
    out->pdispVal = dispatch;
}

} // namespace ospreon::com
