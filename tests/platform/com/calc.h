#pragma once
// The test module's interfaces: a dual ICalc and a plain IMemo, on one object.

#include "platform/com/dispatch.h"
#include "platform/com/type_descriptor.h"

inline constexpr IID IID_ICalc = MakeGuid("6B1F5C0E-3D2A-4B7E-9A41-0C5D2E8F7A11");
inline constexpr IID IID_IMemo = MakeGuid("6B1F5C0E-3D2A-4B7E-9A41-0C5D2E8F7A12");
inline constexpr CLSID CLSID_Calc = MakeGuid("6B1F5C0E-3D2A-4B7E-9A41-0C5D2E8F7A13");
inline constexpr GUID LIBID_Calc = MakeGuid("6B1F5C0E-3D2A-4B7E-9A41-0C5D2E8F7A14");
inline constexpr char kCalcProgId[] = "Ospreon.TestCalc.1";
inline constexpr char kDivideByZero[] = "cannot divide by zero";

struct ICalc : IDispatch
{
    static constexpr const IID& Iid = IID_ICalc;
    virtual HRESULT get_Label(BSTR* pVal) = 0;               // dispid 1
    virtual HRESULT put_Label(BSTR newVal) = 0;              // dispid 1
    virtual HRESULT Add(LONG a, LONG b, LONG* sum) = 0;      // dispid 2
    virtual HRESULT get_Total(LONG* pVal) = 0;               // dispid 3
    virtual HRESULT Describe(VARIANT value, BSTR* text) = 0; // dispid 4
    // Fails with E_INVALIDARG and the description kDivideByZero when b is 0.
    virtual HRESULT Divide(LONG a, LONG b, LONG* quotient) = 0; // dispid 5

protected:
    ~ICalc() = default;
};

struct IMemo : IUnknown
{
    static constexpr const IID& Iid = IID_IMemo;
    virtual HRESULT Remember(LONG value) = 0;

protected:
    ~IMemo() = default;
};
