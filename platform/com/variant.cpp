#include "platform/com/variant.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <string>

#include "platform/com/com_ptr.h"
#include "platform/com/dispatch.h"

namespace {

using ospreon::com::ComPtr;
using ospreon::com::Utf8ToBstr;

// The value a VT_BYREF variant points at, as a plain variant (no ownership taken);
// nullopt for a by-reference type we do not read.
std::optional<VARIANT> Dereference(const VARIANT& source)
{
    if (!(source.vt & VT_BYREF))
        return source;
    if (!source.byref)
        return std::nullopt;
    VARIANT value;
    VariantInit(&value);
    value.vt = source.vt & ~VT_BYREF;
    switch (value.vt) {
    case VT_VARIANT:
        return Dereference(*source.pvarVal);
    case VT_I1:
    case VT_UI1:
        value.bVal = *source.pbVal;
        break;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
        value.iVal = *source.piVal;
        break;
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_ERROR:
    case VT_R4:
        value.lVal = *source.plVal;
        break;
    case VT_I8:
    case VT_UI8:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
        value.llVal = *source.pllVal;
        break;
    case VT_BSTR:
        value.bstrVal = *source.pbstrVal;
        break;
    case VT_UNKNOWN:
    case VT_DISPATCH:
        value.punkVal = *source.ppunkVal;
        break;
    default:
        return std::nullopt;
    }
    return value;
}

std::string FormatInteger(long long value)
{
    char text[24];
    auto end = std::to_chars(text, text + sizeof text, value).ptr;
    return std::string(text, end);
}

std::string FormatUnsigned(unsigned long long value)
{
    char text[24];
    auto end = std::to_chars(text, text + sizeof text, value).ptr;
    return std::string(text, end);
}

// OLE's text of a floating-point value: the "%.<digits>G" form, "." as the decimal
// mark whatever the locale, "E" with a sign and at least two exponent digits.
std::string FormatReal(double value, int digits)
{
    if (value == 0.0)
        return "0"; // also for -0
    char text[64];
    auto result =
        std::to_chars(text, text + sizeof text, value, std::chars_format::general, digits);
    std::string out(text, result.ptr);
    if (auto e = out.find('e'); e != std::string::npos)
        out[e] = 'E';
    return out;
}

std::string FormatCurrency(LONGLONG scaled)
{
    const bool negative = scaled < 0;
    unsigned long long magnitude = negative ? 0ull - static_cast<unsigned long long>(scaled)
                                            : static_cast<unsigned long long>(scaled);
    std::string out;
    if (negative)
        out.push_back('-');
    out.append(FormatUnsigned(magnitude / 10000));
    unsigned fraction = static_cast<unsigned>(magnitude % 10000);
    if (fraction) {
        std::string digits = std::to_string(fraction + 10000).substr(1);
        digits.erase(digits.find_last_not_of('0') + 1);
        out.push_back('.');
        out.append(digits);
    }
    return out;
}

HRESULT DispatchValue(IDispatch* object, VARIANT& result)
{
    if (!object)
        return DISP_E_TYPEMISMATCH;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    HRESULT hr = object->Invoke(DISPID_VALUE, GUID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET,
                                &none, &result, nullptr, nullptr);
    return FAILED(hr) ? DISP_E_TYPEMISMATCH : S_OK;
}

// The default value of an object (its DISPID_VALUE property), which is how OLE
// converts an object to a scalar.
HRESULT ObjectValue(const VARIANT& source, VARIANT& result)
{
    if (source.vt == VT_DISPATCH)
        return DispatchValue(source.pdispVal, result);
    ComPtr<IDispatch> dispatch;
    if (!source.punkVal ||
        FAILED(source.punkVal->QueryInterface(IID_IDispatch, dispatch.putVoid())))
        return DISP_E_TYPEMISMATCH;
    return DispatchValue(dispatch.get(), result);
}

HRESULT ToText(const VARIANT& value, std::string& text, bool& copyBstr)
{
    copyBstr = false;
    switch (value.vt) {
    case VT_EMPTY:
        text.clear();
        return S_OK;
    case VT_I1:
        text = FormatInteger(value.cVal);
        return S_OK;
    case VT_UI1:
        text = FormatInteger(value.bVal);
        return S_OK;
    case VT_I2:
        text = FormatInteger(value.iVal);
        return S_OK;
    case VT_UI2:
        text = FormatInteger(value.uiVal);
        return S_OK;
    case VT_I4:
    case VT_INT:
        text = FormatInteger(value.lVal);
        return S_OK;
    case VT_UI4:
    case VT_UINT:
        text = FormatUnsigned(value.ulVal);
        return S_OK;
    case VT_I8:
        text = FormatInteger(value.llVal);
        return S_OK;
    case VT_UI8:
        text = FormatUnsigned(value.ullVal);
        return S_OK;
    case VT_R4:
        text = FormatReal(value.fltVal, 7);
        return S_OK;
    case VT_R8:
        text = FormatReal(value.dblVal, 15);
        return S_OK;
    case VT_CY:
        text = FormatCurrency(value.cyVal.int64);
        return S_OK;
    case VT_BOOL:
        text = value.boolVal ? "-1" : "0";
        return S_OK;
    case VT_ERROR:
        text = FormatInteger(value.scode);
        return S_OK;
    case VT_BSTR:
        copyBstr = true;
        return S_OK;
    default:
        return DISP_E_TYPEMISMATCH;
    }
}

// Banker's rounding to a 32-bit integer, as OLE rounds reals to integers.
HRESULT RealToI4(double value, LONG& out)
{
    if (std::isnan(value))
        return DISP_E_OVERFLOW;
    double rounded = std::nearbyint(value); // default rounding mode: half to even
    if (rounded < std::numeric_limits<LONG>::min() || rounded > std::numeric_limits<LONG>::max())
        return DISP_E_OVERFLOW;
    out = static_cast<LONG>(rounded);
    return S_OK;
}

HRESULT IntegerToI4(long double value, LONG& out)
{
    if (value < std::numeric_limits<LONG>::min() || value > std::numeric_limits<LONG>::max())
        return DISP_E_OVERFLOW;
    out = static_cast<LONG>(value);
    return S_OK;
}

// Text to a number: blanks around, a sign, digits and an optional fraction.
HRESULT TextToI4(BSTR text, LONG& out)
{
    std::string narrow = ospreon::com::BstrToUtf8(text);
    std::size_t begin = narrow.find_first_not_of(" \t");
    std::size_t end = narrow.find_last_not_of(" \t");
    if (begin == std::string::npos)
        return DISP_E_TYPEMISMATCH;
    std::string_view trimmed(narrow.data() + begin, end - begin + 1);
    if (!trimmed.empty() && trimmed.front() == '+')
        trimmed.remove_prefix(1);
    double value = 0;
    auto [ptr, ec] = std::from_chars(trimmed.data(), trimmed.data() + trimmed.size(), value,
                                     std::chars_format::fixed);
    if (ec == std::errc::result_out_of_range)
        return DISP_E_OVERFLOW;
    if (ec != std::errc() || ptr != trimmed.data() + trimmed.size())
        return DISP_E_TYPEMISMATCH;
    return RealToI4(value, out);
}

HRESULT ToI4(const VARIANT& value, LONG& out)
{
    switch (value.vt) {
    case VT_EMPTY:
        out = 0;
        return S_OK;
    case VT_I1:
        out = value.cVal;
        return S_OK;
    case VT_UI1:
        out = value.bVal;
        return S_OK;
    case VT_I2:
        out = value.iVal;
        return S_OK;
    case VT_UI2:
        out = value.uiVal;
        return S_OK;
    case VT_I4:
    case VT_INT:
        out = value.lVal;
        return S_OK;
    case VT_UI4:
    case VT_UINT:
        return IntegerToI4(value.ulVal, out);
    case VT_I8:
        return IntegerToI4(value.llVal, out);
    case VT_UI8:
        return IntegerToI4(value.ullVal, out);
    case VT_R4:
        return RealToI4(value.fltVal, out);
    case VT_R8:
    case VT_DATE:
        return RealToI4(value.dblVal, out);
    case VT_CY:
        return RealToI4(static_cast<double>(value.cyVal.int64) / 10000.0, out);
    case VT_BOOL:
        out = value.boolVal ? -1 : 0;
        return S_OK;
    case VT_BSTR:
        return TextToI4(value.bstrVal, out);
    default:
        return DISP_E_TYPEMISMATCH;
    }
}

HRESULT Convert(const VARIANT& raw, VARTYPE vt, VARIANT& result)
{
    std::optional<VARIANT> deref = Dereference(raw);
    if (!deref)
        return DISP_E_BADVARTYPE;
    const VARIANT& value = *deref;

    if (value.vt == VT_DISPATCH || value.vt == VT_UNKNOWN) {
        if (vt == VT_DISPATCH || vt == VT_UNKNOWN) {
            if (vt == value.vt)
                return VariantCopy(&result, &value);
            if (vt == VT_UNKNOWN) {
                result.vt = VT_UNKNOWN;
                result.punkVal = ComPtr<IUnknown>(value.punkVal).detach();
                return S_OK;
            }
            ComPtr<IDispatch> dispatch;
            if (!value.punkVal ||
                FAILED(value.punkVal->QueryInterface(IID_IDispatch, dispatch.putVoid())))
                return DISP_E_TYPEMISMATCH;
            result.vt = VT_DISPATCH;
            result.pdispVal = dispatch.detach();
            return S_OK;
        }
        VARIANT inner;
        VariantInit(&inner);
        HRESULT hr = ObjectValue(value, inner);
        if (SUCCEEDED(hr))
            hr = (inner.vt == VT_DISPATCH || inner.vt == VT_UNKNOWN) ? DISP_E_TYPEMISMATCH
                                                                     : Convert(inner, vt, result);
        VariantClear(&inner);
        return hr;
    }
    if (value.vt == VT_NULL) {
        if (vt != VT_NULL)
            return DISP_E_TYPEMISMATCH;
        result.vt = VT_NULL;
        return S_OK;
    }

    switch (vt) {
    case VT_EMPTY:
        result.vt = VT_EMPTY;
        return S_OK;
    case VT_BSTR: {
        std::string text;
        bool copyBstr = false;
        if (HRESULT hr = ToText(value, text, copyBstr); FAILED(hr))
            return hr;
        BSTR converted = copyBstr ? SysAllocStringLen(value.bstrVal, SysStringLen(value.bstrVal))
                                  : Utf8ToBstr(text);
        if (!converted && !(copyBstr && !value.bstrVal))
            return E_OUTOFMEMORY;
        result.vt = VT_BSTR;
        result.bstrVal = converted;
        return S_OK;
    }
    case VT_I4: {
        LONG number = 0;
        if (HRESULT hr = ToI4(value, number); FAILED(hr))
            return hr;
        result.vt = VT_I4;
        result.lVal = number;
        return S_OK;
    }
    default:
        if (vt == value.vt)
            return VariantCopy(&result, &value);
        return DISP_E_TYPEMISMATCH;
    }
}

} // namespace

void VariantInit(VARIANT* value)
{
    std::memset(value, 0, sizeof *value);
    value->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANT* value)
{
    if (!value)
        return E_INVALIDARG;
    switch (value->vt) {
    case VT_BSTR:
        SysFreeString(value->bstrVal);
        break;
    case VT_UNKNOWN:
    case VT_DISPATCH:
        (void)ComPtr<IUnknown>::Attach(value->punkVal); // releases the variant's reference
        break;
    default:
        break;
    }
    VariantInit(value);
    return S_OK;
}

HRESULT VariantCopy(VARIANT* dest, const VARIANT* source)
{
    if (!dest || !source)
        return E_INVALIDARG;
    if (dest == source)
        return S_OK;
    VARIANT copy = *source;
    if (source->vt == VT_BSTR && source->bstrVal) {
        copy.bstrVal = SysAllocStringLen(source->bstrVal, SysStringLen(source->bstrVal));
        if (!copy.bstrVal)
            return E_OUTOFMEMORY;
    } else if (source->vt == VT_UNKNOWN || source->vt == VT_DISPATCH) {
        copy.punkVal = ComPtr<IUnknown>(source->punkVal).detach();
    }
    VariantClear(dest);
    *dest = copy;
    return S_OK;
}

HRESULT VariantChangeType(VARIANT* dest, const VARIANT* source, USHORT /*flags*/, VARTYPE vt)
{
    if (!dest || !source)
        return E_INVALIDARG;
    VARIANT result;
    VariantInit(&result);
    HRESULT hr = Convert(*source, vt, result);
    if (FAILED(hr)) {
        VariantClear(&result);
        return hr;
    }
    VariantClear(dest); // dest may be source: it is no longer read
    *dest = result;
    return S_OK;
}

namespace ospreon::com {

Variant::Variant(std::string_view utf8) : Variant()
{
    m_value.bstrVal = Utf8ToBstr(utf8);
    if (m_value.bstrVal)
        m_value.vt = VT_BSTR;
}

Variant::Variant(LONG value) : Variant()
{
    m_value.vt = VT_I4;
    m_value.lVal = value;
}

Variant::Variant(IDispatch* value) : Variant()
{
    m_value.vt = VT_DISPATCH;
    m_value.pdispVal = ComPtr<IDispatch>(value).detach();
}

Variant::Variant(const Variant& other) : Variant()
{
    (void)VariantCopy(&m_value, &other.m_value);
}

Variant::Variant(Variant&& other) noexcept : m_value(other.m_value)
{
    VariantInit(&other.m_value);
}

Variant& Variant::operator=(Variant other) noexcept
{
    std::swap(m_value, other.m_value);
    return *this;
}

HRESULT VariantToString(const VARIANT& value, std::string& text)
{
    Variant converted;
    HRESULT hr = VariantChangeType(converted.ptr(), &value, 0, VT_BSTR);
    if (SUCCEEDED(hr))
        text = BstrToUtf8(converted.get().bstrVal);
    return hr;
}

HRESULT Variant::ToString(std::string& text) const
{
    return VariantToString(m_value, text);
}

} // namespace ospreon::com
