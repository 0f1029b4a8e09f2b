#include <clocale>
#include <cstring>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "platform/com/dispatch.h"
#include "platform/com/variant.h"

namespace {

using namespace ospreon::com;

// An object whose default value (DISPID_VALUE) is 42, or one without a value.
class ValueObject final : public IDispatch
{
public:
    explicit ValueObject(bool hasValue) : m_hasValue(hasValue) {}
    HRESULT QueryInterface(REFIID riid, void** object) override
    {
        if (riid == IID_IUnknown || riid == IID_IDispatch) {
            *object = this;
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override { return --refs; }
    HRESULT GetTypeInfoCount(UINT* count) override { return *count = 0, S_OK; }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override
    {
        return DISP_E_UNKNOWNNAME;
    }
    HRESULT Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT* result, EXCEPINFO*,
                   UINT*) override
    {
        if (id != DISPID_VALUE || !m_hasValue)
            return DISP_E_MEMBERNOTFOUND;
        result->vt = VT_I4;
        result->lVal = 42;
        return S_OK;
    }
    ULONG refs = 1;

private:
    bool m_hasValue;
};

// Runs the conversions under a locale whose decimal mark is a comma, as a desktop
// session in Germany has it: our texts must still use ".".
class CommaLocale : public testing::Test
{
protected:
    void SetUp() override
    {
        m_previous = std::setlocale(LC_ALL, nullptr);
        if (!std::setlocale(LC_ALL, "de_DE.UTF-8"))
            GTEST_SKIP()
                << "the de_DE.UTF-8 locale is not installed (scripts/install-deps makes it)";
        ASSERT_STREQ(std::localeconv()->decimal_point, ",");
    }
    void TearDown() override { std::setlocale(LC_ALL, m_previous.c_str()); }

private:
    std::string m_previous;
};

struct TextCase
{
    const char* what;
    std::function<void(VARIANT&)> make;
    const char* text; // nullptr: the conversion fails
};

VARIANT Make(const std::function<void(VARIANT&)>& fill)
{
    VARIANT value;
    VariantInit(&value);
    fill(value);
    return value;
}

TEST_F(CommaLocale, ConvertsToTheTextsOfOleAutomation)
{
    static LONG byRefLong = 7;
    const TextCase cases[] = {
        {"empty", [](VARIANT&) {}, ""},
        {"null", [](VARIANT& v) { v.vt = VT_NULL; }, nullptr},
        {"I1", [](VARIANT& v) { v.vt = VT_I1, v.cVal = -5; }, "-5"},
        {"UI1", [](VARIANT& v) { v.vt = VT_UI1, v.bVal = 255; }, "255"},
        {"I2", [](VARIANT& v) { v.vt = VT_I2, v.iVal = -32768; }, "-32768"},
        {"I4", [](VARIANT& v) { v.vt = VT_I4, v.lVal = 90; }, "90"},
        {"UI4", [](VARIANT& v) { v.vt = VT_UI4, v.ulVal = 4294967295u; }, "4294967295"},
        {"I8", [](VARIANT& v) { v.vt = VT_I8, v.llVal = INT64_MIN; }, "-9223372036854775808"},
        {"R8 1.5", [](VARIANT& v) { v.vt = VT_R8, v.dblVal = 1.5; }, "1.5"},
        {"R8 0.1", [](VARIANT& v) { v.vt = VT_R8, v.dblVal = 0.1; }, "0.1"},
        {"R8 -2.5", [](VARIANT& v) { v.vt = VT_R8, v.dblVal = -2.5; }, "-2.5"},
        {"R8 100", [](VARIANT& v) { v.vt = VT_R8, v.dblVal = 100.0; }, "100"},
        {"R8 1/3", [](VARIANT& v) { v.vt = VT_R8, v.dblVal = 1.0 / 3; }, "0.333333333333333"},
        {"R8 15 digits", [](VARIANT& v) { v.vt = VT_R8, v.dblVal = 123456789012345.0; },
         "123456789012345"},
        {"R8 1e15", [](VARIANT& v) { v.vt = VT_R8, v.dblVal = 1e15; }, "1E+15"},
        {"R8 1e20", [](VARIANT& v) { v.vt = VT_R8, v.dblVal = 1e20; }, "1E+20"},
        {"R8 -0", [](VARIANT& v) { v.vt = VT_R8, v.dblVal = -0.0; }, "0"},
        {"R4 pi", [](VARIANT& v) { v.vt = VT_R4, v.fltVal = 3.14159274f; }, "3.141593"},
        {"R4 0.1", [](VARIANT& v) { v.vt = VT_R4, v.fltVal = 0.1f; }, "0.1"},
        {"R4 7 digits", [](VARIANT& v) { v.vt = VT_R4, v.fltVal = 1234567.0f; }, "1234567"},
        {"R4 2^24", [](VARIANT& v) { v.vt = VT_R4, v.fltVal = 16777216.0f; }, "1.677722E+07"},
        {"CY", [](VARIANT& v) { v.vt = VT_CY, v.cyVal.int64 = 12345; }, "1.2345"},
        {"CY negative", [](VARIANT& v) { v.vt = VT_CY, v.cyVal.int64 = -25000; }, "-2.5"},
        {"BOOL true", [](VARIANT& v) { v.vt = VT_BOOL, v.boolVal = VARIANT_TRUE; }, "-1"},
        {"BOOL false", [](VARIANT& v) { v.vt = VT_BOOL, v.boolVal = VARIANT_FALSE; }, "0"},
        {"by reference", [](VARIANT& v) { v.vt = VT_I4 | VT_BYREF, v.plVal = &byRefLong; }, "7"},
    };
    for (const TextCase& c : cases) {
        VARIANT source = Make(c.make);
        VARIANT dest;
        VariantInit(&dest);
        HRESULT hr = VariantChangeType(&dest, &source, 0, VT_BSTR);
        if (!c.text) {
            EXPECT_EQ(hr, DISP_E_TYPEMISMATCH) << c.what;
            EXPECT_EQ(dest.vt, VT_EMPTY) << c.what;
            continue;
        }
        ASSERT_EQ(hr, S_OK) << c.what;
        ASSERT_EQ(dest.vt, VT_BSTR) << c.what;
        EXPECT_EQ(BstrToUtf8(dest.bstrVal), c.text) << c.what;
        VariantClear(&dest);
    }
}

TEST(VariantChangeType, CopiesStringsAndConvertsInPlace)
{
    Variant text("Wardenhost");
    Variant copy;
    ASSERT_EQ(VariantChangeType(copy.ptr(), &text.get(), 0, VT_BSTR), S_OK);
    EXPECT_NE(copy.get().bstrVal, text.get().bstrVal) << "a new string, not the same one";
    EXPECT_EQ(BstrToUtf8(copy.get().bstrVal), "Wardenhost");

    Variant number(LONG{-17});
    ASSERT_EQ(VariantChangeType(number.ptr(), number.ptr(), 0, VT_BSTR), S_OK);
    EXPECT_EQ(BstrToUtf8(number.get().bstrVal), "-17");

    Variant kept(LONG{5});
    VARIANT null;
    VariantInit(&null);
    null.vt = VT_NULL;
    EXPECT_EQ(VariantChangeType(kept.ptr(), &null, 0, VT_BSTR), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(kept.type(), VT_I4) << "a failed conversion leaves the destination alone";
}

TEST(VariantChangeType, ObjectsConvertThroughTheirDefaultValue)
{
    ValueObject withValue(true);
    ValueObject withoutValue(false);
    {
        Variant object(static_cast<IDispatch*>(&withValue));
        std::string text;
        ASSERT_EQ(object.ToString(text), S_OK);
        EXPECT_EQ(text, "42");

        Variant silent(static_cast<IDispatch*>(&withoutValue));
        EXPECT_TRUE(FAILED(silent.ToString(text)));
    }
    EXPECT_EQ(withValue.refs, 1u) << "every reference taken is given back";
    EXPECT_EQ(withoutValue.refs, 1u);
}

TEST(VariantChangeType, ConvertsToLong)
{
    struct Case
    {
        const char* text;
        HRESULT hr;
        LONG value;
    } cases[] = {
        {"42", S_OK, 42},
        {"  -7 ", S_OK, -7},
        {"+8", S_OK, 8},
        {"2.5", S_OK, 2},
        {"3.5", S_OK, 4},
        {"abc", DISP_E_TYPEMISMATCH, 0},
        {"", DISP_E_TYPEMISMATCH, 0},
        {"12abc", DISP_E_TYPEMISMATCH, 0},
        {"99999999999", DISP_E_OVERFLOW, 0},
    };
    for (const Case& c : cases) {
        Variant source(c.text);
        Variant dest;
        EXPECT_EQ(VariantChangeType(dest.ptr(), &source.get(), 0, VT_I4), c.hr) << c.text;
        if (c.hr == S_OK) {
            EXPECT_EQ(dest.get().lVal, c.value) << c.text;
        }
    }
    VARIANT real;
    VariantInit(&real);
    real.vt = VT_R8;
    real.dblVal = -2.5;
    Variant dest;
    ASSERT_EQ(VariantChangeType(dest.ptr(), &real, 0, VT_I4), S_OK);
    EXPECT_EQ(dest.get().lVal, -2) << "halves round to even";
}

TEST(Variant, HoldersReleaseWhatTheyOwn)
{
    ValueObject object(true);
    {
        Variant first(static_cast<IDispatch*>(&object));
        Variant second = first;
        EXPECT_EQ(object.refs, 3u);
        Variant third = std::move(second);
        EXPECT_EQ(second.type(), VT_EMPTY);
        EXPECT_EQ(object.refs, 3u);
        *third.put() = VARIANT{};
        EXPECT_EQ(object.refs, 2u) << "put() clears the old value";
    }
    EXPECT_EQ(object.refs, 1u);
}

} // namespace
