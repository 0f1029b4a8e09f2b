#pragma once
// Builds a MemberThunk from a member function pointer at compile time:
//   MemberDesc{"UserName", 1, MemberKind::PropertyGet, "property UserName",
//              &DispatchThunk<&IUser::get_UserName>}
// In-arguments are converted from VARIANTs (BSTR, LONG, VARIANT, interface
// pointers); a trailing out-argument (BSTR*, LONG*, VARIANT*, I**) becomes the result.

#include <tuple>
#include <type_traits>
#include <utility>

#include "platform/com/com_ptr.h"
#include "platform/com/type_descriptor.h"

namespace ospreon::com::detail {

inline const VARIANT& Deref(const VARIANT& value)
{
    return value.vt == (VT_VARIANT | VT_BYREF) && value.pvarVal ? *value.pvarVal : value;
}

template <class T, class = void> struct DispArg; // unsupported argument type: compile error

template <> struct DispArg<BSTR>
{
    static constexpr bool isOut = false;
    struct Storage
    {
        Storage() { VariantInit(&value); }
        ~Storage() { VariantClear(&value); }
        VARIANT value;
    };
    static HRESULT Load(const VARIANT& in, Storage& s)
    {
        return VariantChangeType(&s.value, &in, 0, VT_BSTR);
    }
    static BSTR Pass(Storage& s) { return s.value.bstrVal; }
    static void Finish(Storage&, VARIANT*) {}
};

template <> struct DispArg<LONG>
{
    static constexpr bool isOut = false;
    using Storage = LONG;
    static HRESULT Load(const VARIANT& in, Storage& s)
    {
        VARIANT number;
        VariantInit(&number);
        HRESULT hr = VariantChangeType(&number, &in, 0, VT_I4);
        s = number.lVal;
        return hr;
    }
    static LONG Pass(Storage& s) { return s; }
    static void Finish(Storage&, VARIANT*) {}
};

// An in-VARIANT is passed by value and stays owned by the caller.
template <> struct DispArg<VARIANT>
{
    static constexpr bool isOut = false;
    using Storage = VARIANT;
    static HRESULT Load(const VARIANT& in, Storage& s)
    {
        s = Deref(in);
        return S_OK;
    }
    static VARIANT Pass(Storage& s) { return s; }
    static void Finish(Storage&, VARIANT*) {}
};

template <class I> struct DispArg<I*, std::enable_if_t<std::is_base_of_v<IUnknown, I>>>
{
    static constexpr bool isOut = false;
    using Storage = ComPtr<I>;
    static HRESULT Load(const VARIANT& raw, Storage& s)
    {
        const VARIANT& in = Deref(raw);
        IUnknown* object = nullptr;
        if (in.vt == VT_DISPATCH || in.vt == VT_UNKNOWN)
            object = in.punkVal;
        else if (in.vt == (VT_DISPATCH | VT_BYREF) || in.vt == (VT_UNKNOWN | VT_BYREF))
            object = in.ppunkVal ? *in.ppunkVal : nullptr;
        else if (in.vt != VT_EMPTY)
            return DISP_E_TYPEMISMATCH;
        if (!object)
            return S_OK;
        return SUCCEEDED(object->QueryInterface(uuidof<I>(), s.putVoid())) ? S_OK
                                                                           : DISP_E_TYPEMISMATCH;
    }
    static I* Pass(Storage& s) { return s.get(); }
    static void Finish(Storage&, VARIANT*) {}
};

template <> struct DispArg<BSTR*>
{
    static constexpr bool isOut = true;
    using Storage = BSTR;
    static BSTR* Pass(Storage& s) { return &s; }
    static void Finish(Storage& s, VARIANT* result)
    {
        if (!result) {
            SysFreeString(s);
            return;
        }
        result->vt = VT_BSTR;
        result->bstrVal = s;
    }
};

template <> struct DispArg<LONG*>
{
    static constexpr bool isOut = true;
    using Storage = LONG;
    static LONG* Pass(Storage& s) { return &s; }
    static void Finish(Storage& s, VARIANT* result)
    {
        if (result) {
            result->vt = VT_I4;
            result->lVal = s;
        }
    }
};

template <> struct DispArg<VARIANT*>
{
    static constexpr bool isOut = true;
    struct Storage
    {
        Storage() { VariantInit(&value); }
        VARIANT value;
    };
    static VARIANT* Pass(Storage& s) { return &s.value; }
    static void Finish(Storage& s, VARIANT* result)
    {
        if (result)
            *result = s.value;
        else
            VariantClear(&s.value);
    }
};

template <class I> struct DispArg<I**, std::enable_if_t<std::is_base_of_v<IUnknown, I>>>
{
    static constexpr bool isOut = true;
    using Storage = I*;
    static I** Pass(Storage& s) { return &s; }
    static void Finish(Storage& s, VARIANT* result)
    {
        if (!result) {
            (void)ComPtr<I>::Attach(s); // the caller wants no result: drop the reference
            return;
        }
        result->vt = std::is_base_of_v<IDispatch, I> ? VT_DISPATCH : VT_UNKNOWN;
        result->punkVal = s;
    }
};

template <class Method> struct MethodTraits;

template <class I, class... A> struct MethodTraits<HRESULT (I::*)(A...)>
{
    using Interface = I;
    static constexpr UINT inCount = (0u + ... + (DispArg<A>::isOut ? 0u : 1u));
    static constexpr std::size_t argCount = sizeof...(A);
};

template <class A, class Storage>
HRESULT LoadArg(Storage& storage, VARIANT* const* args, UINT count, UINT& position, UINT* argError)
{
    if constexpr (DispArg<A>::isOut) {
        return S_OK;
    } else {
        HRESULT hr = DispArg<A>::Load(*args[position], storage);
        if (FAILED(hr) && argError)
            *argError = count - 1 - position; // index in DISPPARAMS::rgvarg
        ++position;
        return hr;
    }
}

template <auto Method, class I, class... A, std::size_t... N>
HRESULT CallMember(I* object, VARIANT* const* args, UINT count, VARIANT* result, UINT* argError,
                   EXCEPINFO* exception, HRESULT (I::*)(A...), std::index_sequence<N...>)
{
    std::tuple<typename DispArg<A>::Storage...> storage;
    HRESULT hr = S_OK;
    UINT position = 0;
    ((hr = SUCCEEDED(hr) ? LoadArg<A>(std::get<N>(storage), args, count, position, argError) : hr),
     ...);
    if (FAILED(hr))
        return hr;
    hr = (object->*Method)(DispArg<A>::Pass(std::get<N>(storage))...);
    (DispArg<A>::Finish(std::get<N>(storage), SUCCEEDED(hr) ? result : nullptr), ...);
    return FAILED(hr) ? DispatchException(hr, exception) : hr;
}

} // namespace ospreon::com::detail

namespace ospreon::com {

template <auto Method>
HRESULT DispatchThunk(void* self, VARIANT* const* args, UINT count, VARIANT* result, UINT* argError,
                      EXCEPINFO* exception)
{
    using Traits = detail::MethodTraits<decltype(Method)>;
    using Interface = typename Traits::Interface;
    if (count != Traits::inCount)
        return DISP_E_BADPARAMCOUNT;
    return detail::CallMember<Method>(static_cast<Interface*>(self), args, count, result, argError,
                                      exception, Method,
                                      std::make_index_sequence<Traits::argCount>{});
}

} // namespace ospreon::com
