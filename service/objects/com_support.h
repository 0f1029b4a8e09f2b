#pragma once
// What every COM method of this library shares: a guard that keeps exceptions
// inside, and the conversions of its out-parameters.

#include <exception>
#include <new>
#include <string>
#include <string_view>

#include "platform/com/bstr.h"
#include "platform/com/variant.h"
#include "platform/os/result.h"

namespace ospreon::service {

// Runs a method body so that nothing escapes to the caller: memory that cannot be
// had ends it with E_OUTOFMEMORY, any other fault with E_FAIL.
template <class Body> HRESULT Guarded(Body&& body) noexcept
{
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

// The HRESULT an Error of the store carries.
inline HRESULT HResultOf(const Error& error)
{
    return FAILED(error.code) ? static_cast<HRESULT>(error.code) : E_FAIL;
}

// *out = a new BSTR of `text`.
inline HRESULT CopyText(std::string_view text, BSTR* out)
{
    *out = com::Utf8ToBstr(text);
    return *out ? S_OK : E_OUTOFMEMORY;
}

// *out (initialised) = VT_BSTR of `text`.
inline HRESULT SetTextVariant(std::string_view text, VARIANT* out)
{
    BSTR value = com::Utf8ToBstr(text);
    if (!value)
        return E_OUTOFMEMORY;
    out->vt = VT_BSTR;
    out->bstrVal = value;
    return S_OK;
}

// *out (initialised) = VT_DISPATCH holding `object`, which the variant now owns.
inline void SetDispatchVariant(IDispatch* object, VARIANT* out)
{
    out->vt = VT_DISPATCH;
    out->pdispVal = object;
}

// Every stored value is text: a VARIANT of another type is stored as its text form
// (OLE Automation's change of type to BSTR).
inline HRESULT VariantText(const VARIANT& value, std::string& text)
{
    if (value.vt == VT_BSTR) {
        text = com::BstrToUtf8(value.bstrVal);
        return S_OK;
    }
    VARIANT converted;
    VariantInit(&converted);
    const HRESULT hr = VariantChangeType(&converted, &value, 0, VT_BSTR);
    if (SUCCEEDED(hr))
        text = com::BstrToUtf8(converted.bstrVal);
    VariantClear(&converted);
    return hr;
}

} // namespace ospreon::service
