#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/com/error_info.h"
#include "tests/platform/com/calc_fixture.h"

namespace {

using namespace ospreon::com;
using ospreon::test::CalcTest;

class LateBinding : public CalcTest
{
protected:
    void SetUp() override
    {
        CalcTest::SetUp();
        dispatch = calc.As<IDispatch>();
        ASSERT_TRUE(dispatch);
    }
    void TearDown() override
    {
        dispatch.reset();
        CalcTest::TearDown();
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
                 UINT* argError = nullptr, EXCEPINFO* exception = nullptr)
    {
        std::vector<VARIANT> reversed;
        for (auto it = args.rbegin(); it != args.rend(); ++it)
            reversed.push_back(it->get());
        DISPID putId = DISPID_PROPERTYPUT;
        const bool put = flags & DISPATCH_PROPERTYPUT;
        DISPPARAMS params{reversed.data(), put ? &putId : nullptr,
                          static_cast<UINT>(reversed.size()), put ? 1u : 0u};
        return dispatch->Invoke(IdOf(name), GUID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                                result.put(), exception, argError);
    }

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

TEST_F(LateBinding, AFailingMemberRaisesAnExceptionThatCarriesItsDescription)
{
    Variant result;
    EXCEPINFO exception{};
    ASSERT_EQ(Call("Divide", DISPATCH_METHOD, {Variant(LONG{7}), Variant(LONG{0})}, result, nullptr,
                   &exception),
              DISP_E_EXCEPTION);
    Bstr source = Bstr::Attach(exception.bstrSource);
    Bstr description = Bstr::Attach(exception.bstrDescription);
    EXPECT_EQ(exception.scode, E_INVALIDARG);
    EXPECT_EQ(description.utf8(), kDivideByZero);
    EXPECT_EQ(source.utf8(), kCalcProgId);
    EXPECT_EQ(result.type(), VT_EMPTY);
    ComPtr<IErrorInfo> left;
    EXPECT_EQ(GetErrorInfo(0, left.put()), S_FALSE) << "Invoke handed the description over";

    // Without an EXCEPINFO the description stays for GetErrorInfo.
    ASSERT_EQ(Call("Divide", DISPATCH_METHOD, {Variant(LONG{7}), Variant(LONG{0})}, result),
              DISP_E_EXCEPTION);
    EXPECT_EQ(TakeErrorText().description, kDivideByZero);

    // Faults of the call itself are not the member's: no exception.
    EXPECT_EQ(Call("Divide", DISPATCH_METHOD, {Variant(LONG{7})}, result, nullptr, &exception),
              DISP_E_BADPARAMCOUNT);
    ASSERT_EQ(Call("Divide", DISPATCH_METHOD, {Variant(LONG{7}), Variant(LONG{2})}, result), S_OK);
    EXPECT_EQ(result.get().lVal, 3);
}

} // namespace
