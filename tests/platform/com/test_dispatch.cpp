#include <dlfcn.h>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/com/activation.h"
#include "platform/com/com_ptr.h"
#include "tests/platform/com/calc.h"
#include "tests/support/temp_home.h"

namespace {

using namespace ospreon::com;

HRESULT RegisterCalc()
{
    void* handle = ::dlopen(TEST_CALC_MODULE, RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        return CO_E_DLLNOTFOUND;
    auto fn = reinterpret_cast<DllRegisterServerFn>(::dlsym(handle, "DllRegisterServer"));
    HRESULT hr = fn ? fn() : E_FAIL;
    ::dlclose(handle);
    return hr;
}

class LateBinding : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(CoInitialize(nullptr), S_OK);
        ASSERT_EQ(RegisterCalc(), S_OK);
        ASSERT_EQ(
            CoCreateInstance(CLSID_Calc, nullptr, CLSCTX_INPROC_SERVER, IID_ICalc, calc.putVoid()),
            S_OK);
        dispatch = calc.As<IDispatch>();
        ASSERT_TRUE(dispatch);
    }
    void TearDown() override
    {
        dispatch.reset();
        calc.reset();
        CoUninitialize();
    }

    DISPID IdOf(const char* name)
    {
        std::u16string wide = Utf8ToUtf16(name);
        LPOLESTR names[] = {wide.data()};
        DISPID id = 12345;
        HRESULT hr = dispatch->GetIDsOfNames(GUID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
        return SUCCEEDED(hr) ? id : DISPID_UNKNOWN;
    }

    // Invoke with arguments given first to last, as a script would write them.
    HRESULT Call(const char* name, WORD flags, std::vector<Variant> args, Variant& result,
                 UINT* argError = nullptr)
    {
        std::vector<VARIANT> reversed;
        for (auto it = args.rbegin(); it != args.rend(); ++it)
            reversed.push_back(it->get());
        DISPID putId = DISPID_PROPERTYPUT;
        const bool put = flags & DISPATCH_PROPERTYPUT;
        DISPPARAMS params{reversed.data(), put ? &putId : nullptr,
                          static_cast<UINT>(reversed.size()), put ? 1u : 0u};
        return dispatch->Invoke(IdOf(name), GUID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                                result.put(), nullptr, argError);
    }

    ospreon::test::TempHome home;
    ComPtr<ICalc> calc;
    ComPtr<IDispatch> dispatch;
};

TEST_F(LateBinding, GivesTheSameResultsAsTheVtable)
{
    Variant result;
    ASSERT_EQ(Call("Label", DISPATCH_PROPERTYPUT, {Variant("first")}, result), S_OK);
    Bstr label;
    ASSERT_EQ(calc->get_Label(label.put()), S_OK);
    EXPECT_EQ(label.utf8(), "first") << "a late-bound put is seen by the vtable get";

    Bstr second("second");
    ASSERT_EQ(calc->put_Label(second.get()), S_OK);
    ASSERT_EQ(Call("label", DISPATCH_PROPERTYGET, {}, result), S_OK) << "names ignore case";
    ASSERT_EQ(result.type(), VT_BSTR);
    EXPECT_EQ(BstrToUtf8(result.get().bstrVal), "second");

    ASSERT_EQ(Call("Add", DISPATCH_METHOD, {Variant(LONG{40}), Variant("2")}, result), S_OK)
        << "a text argument is converted to the parameter's type";
    ASSERT_EQ(result.type(), VT_I4);
    EXPECT_EQ(result.get().lVal, 42);
    LONG sum = 0;
    ASSERT_EQ(calc->Add(1, 2, &sum), S_OK);
    ASSERT_EQ(Call("Total", DISPATCH_PROPERTYGET | DISPATCH_METHOD, {}, result), S_OK);
    EXPECT_EQ(result.get().lVal, 45);

    ASSERT_EQ(Call("Describe", DISPATCH_METHOD, {Variant(LONG{-3})}, result), S_OK);
    EXPECT_EQ(BstrToUtf8(result.get().bstrVal), "-3");
}

TEST_F(LateBinding, RefusesWhatDoesNotFit)
{
    EXPECT_EQ(IdOf("Nothing"), DISPID_UNKNOWN);
    std::u16string wide = u"Nothing";
    LPOLESTR names[] = {wide.data()};
    DISPID id = 0;
    EXPECT_EQ(dispatch->GetIDsOfNames(GUID_NULL, names, 1, LOCALE_USER_DEFAULT, &id),
              DISP_E_UNKNOWNNAME);
    EXPECT_EQ(id, DISPID_UNKNOWN);

    Variant result;
    UINT argError = 99;
    EXPECT_EQ(Call("Add", DISPATCH_METHOD, {Variant(LONG{1})}, result), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(Call("Add", DISPATCH_METHOD, {Variant(LONG{1}), Variant("two")}, result, &argError),
              DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argError, 0u) << "the second argument sits first in rgvarg";
    EXPECT_EQ(Call("Total", DISPATCH_PROPERTYPUT, {Variant(LONG{1})}, result),
              DISP_E_MEMBERNOTFOUND)
        << "Total has no put";

    DISPPARAMS none{nullptr, nullptr, 0, 0};
    EXPECT_EQ(
        dispatch->Invoke(77, GUID_NULL, 0, DISPATCH_METHOD, &none, result.put(), nullptr, nullptr),
        DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(
        dispatch->Invoke(2, IID_ICalc, 0, DISPATCH_METHOD, &none, result.put(), nullptr, nullptr),
        DISP_E_UNKNOWNINTERFACE);
}

} // namespace
