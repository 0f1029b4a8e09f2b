#pragma once
// VARIANT: a typed value, as OLE Automation passes it. VariantChangeType converts
// to VT_BSTR (OLE's texts: integers in decimal, VT_R4/VT_R8 with up to 7/15
// significant digits in the "%G" form with "." whatever the locale, VT_BOOL as
// "-1"/"0", VT_EMPTY as "", VT_NULL refused) and to VT_I4.

#include <string>
#include <string_view>

#include "platform/com/bstr.h"
#include "platform/wintypes/winerror.h"

struct IUnknown;
struct IDispatch;

using VARTYPE = USHORT;
using VARIANT_BOOL = SHORT;
using DATE = double;

inline constexpr VARIANT_BOOL VARIANT_TRUE = -1;
inline constexpr VARIANT_BOOL VARIANT_FALSE = 0;

enum VARENUM : VARTYPE
{
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R4 = 4,
    VT_R8 = 5,
    VT_CY = 6,
    VT_DATE = 7,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_UNKNOWN = 13,
    VT_I1 = 16,
    VT_UI1 = 17,
    VT_UI2 = 18,
    VT_UI4 = 19,
    VT_I8 = 20,
    VT_UI8 = 21,
    VT_INT = 22,
    VT_UINT = 23,
    VT_VOID = 24,
    VT_HRESULT = 25,
    VT_BYREF = 0x4000,
    VT_TYPEMASK = 0x0FFF,
};

// Currency: a 64-bit integer scaled by 10,000.
struct CY
{
    LONGLONG int64;
};

struct VARIANT
{
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union
    {
        LONGLONG llVal;
        LONG lVal;
        BYTE bVal;
        SHORT iVal;
        FLOAT fltVal;
        DOUBLE dblVal;
        VARIANT_BOOL boolVal;
        SCODE scode;
        CY cyVal;
        DATE date;
        BSTR bstrVal;
        IUnknown* punkVal;
        IDispatch* pdispVal;
        CHAR cVal;
        USHORT uiVal;
        ULONG ulVal;
        ULONGLONG ullVal;
        INT intVal;
        UINT uintVal;
        BYTE* pbVal;
        SHORT* piVal;
        LONG* plVal;
        LONGLONG* pllVal;
        FLOAT* pfltVal;
        DOUBLE* pdblVal;
        VARIANT_BOOL* pboolVal;
        BSTR* pbstrVal;
        IUnknown** ppunkVal;
        IDispatch** ppdispVal;
        VARIANT* pvarVal;
        void* byref;
    };
};
using VARIANTARG = VARIANT;

void VariantInit(VARIANT* value);
// Frees what the variant owns (BSTR, interface reference) and leaves it VT_EMPTY.
HRESULT VariantClear(VARIANT* value);
// A deep copy: the string is duplicated, the interface AddRef'd.
HRESULT VariantCopy(VARIANT* dest, const VARIANT* source);
// Converts source to type `vt` into dest (dest may be source). `flags` is accepted
// and ignored (no locale or alpha-bool forms). On failure dest is left unchanged.
HRESULT VariantChangeType(VARIANT* dest, const VARIANT* source, USHORT flags, VARTYPE vt);

namespace ospreon::com {

// `value` as text through VariantChangeType (VT_BSTR): OLE Automation's text form.
[[nodiscard]] HRESULT VariantToString(const VARIANT& value, std::string& text);

// Owns one VARIANT and clears it.
class Variant
{
public:
    Variant() { VariantInit(&m_value); }
    explicit Variant(std::string_view utf8);
    explicit Variant(LONG value);
    explicit Variant(IDispatch* value); // AddRef'd
    Variant(const Variant& other);
    Variant(Variant&& other) noexcept;
    Variant& operator=(Variant other) noexcept;
    ~Variant() { VariantClear(&m_value); }

    const VARIANT& get() const { return m_value; }
    VARIANT* ptr() { return &m_value; }
    // Out-parameter: clears what is held first.
    VARIANT* put()
    {
        VariantClear(&m_value);
        return &m_value;
    }
    VARTYPE type() const { return m_value.vt; }

    // The value as text through VariantChangeType (VT_BSTR).
    [[nodiscard]] HRESULT ToString(std::string& text) const;

private:
    VARIANT m_value;
};

} // namespace ospreon::com
