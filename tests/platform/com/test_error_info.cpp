// Error information beside the HRESULT: set by a failing method, taken once by its
// caller, never an older failure's.

#include <cerrno>
#include <thread>

#include <gtest/gtest.h>

#include "platform/com/error_info.h"
#include "tests/platform/com/calc_fixture.h"

namespace {

using namespace ospreon::com;
using ErrorInformation = ospreon::test::CalcTest;

TEST_F(ErrorInformation, IsHandedOutOnceAfterAFailingVtableCall)
{
    LONG quotient = 0;
    ASSERT_EQ(calc->Divide(1, 0, &quotient), E_INVALIDARG);
    ComPtr<IErrorInfo> info;
    ASSERT_EQ(GetErrorInfo(0, info.put()), S_OK);
    ASSERT_TRUE(info);
    Bstr description;
    Bstr source;
    ASSERT_EQ(info->GetDescription(description.put()), S_OK);
    ASSERT_EQ(info->GetSource(source.put()), S_OK);
    EXPECT_EQ(description.utf8(), kDivideByZero);
    EXPECT_EQ(source.utf8(), kCalcProgId);

    ComPtr<IErrorInfo> again;
    EXPECT_EQ(GetErrorInfo(0, again.put()), S_FALSE);
    EXPECT_FALSE(again);
}

TEST_F(ErrorInformation, AFailureWithoutADescriptionShowsNoneOfAnOlderOne)
{
    LONG quotient = 0;
    ASSERT_EQ(calc->Divide(1, 0, &quotient), E_INVALIDARG);
    ASSERT_EQ(calc->Add(1, 2, nullptr), E_POINTER) << "fails without setting a description";
    ComPtr<IErrorInfo> info;
    EXPECT_EQ(GetErrorInfo(0, info.put()), S_FALSE);

    ASSERT_EQ(calc->Divide(1, 0, &quotient), E_INVALIDARG);
    ASSERT_EQ(calc->Divide(4, 2, &quotient), S_OK);
    EXPECT_EQ(TakeErrorText().description, "") << "a success clears it too";
}

TEST(ErrorInfo, BelongsToItsThread)
{
    ASSERT_EQ(FailWith(E_FAIL, "here", "this thread's"), E_FAIL);
    std::string elsewhere = "not read";
    std::thread([&] {
        elsewhere = TakeErrorText().description;
        (void)FailWith(E_FAIL, "there", "the other thread's");
    }).join();
    EXPECT_EQ(elsewhere, "");
    const ErrorText text = TakeErrorText();
    EXPECT_EQ(text.source, "here");
    EXPECT_EQ(text.description, "this thread's");
}

TEST(ErrorInfo, CreateSetAndGet)
{
    ComPtr<ICreateErrorInfo> created;
    ASSERT_EQ(CreateErrorInfo(created.put()), S_OK);
    Bstr text("set by hand");
    ASSERT_EQ(created->SetDescription(text.get()), S_OK);
    ComPtr<IErrorInfo> info = created.As<IErrorInfo>();
    ASSERT_TRUE(info);
    ASSERT_EQ(SetErrorInfo(0, info.get()), S_OK);
    info.reset();
    created.reset(); // the thread holds its own reference
    EXPECT_EQ(TakeErrorText().description, "set by hand");
    EXPECT_EQ(SetErrorInfo(1, nullptr), E_INVALIDARG);
}

TEST(HResultOfError, TranslatesByTheKindOfTheCode)
{
    using ospreon::Error;
    const struct
    {
        Error error;
        HRESULT expected;
    } cases[] = {
        {Error::HResult(E_ACCESSDENIED, "denied"), E_ACCESSDENIED},
        {Error::HResult(S_FALSE, "not a failure code"), E_FAIL},
        {Error::Win32(ERROR_FILE_NOT_FOUND, "no file"), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)},
        // errno 2 is ENOENT, not the Win32 code 2 nor an exit status.
        {Error::Errno(ENOENT, "no file"), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)},
        {Error::Errno(ENOMEM, "no memory"), E_OUTOFMEMORY},
        {Error::Errno(EIO, "input/output"), E_FAIL},
        {Error::Exit(2, "usage"), E_FAIL},
        {Error::Curl(7, "cannot connect"), E_FAIL},
        {Error::Plain("no code"), E_FAIL},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HResultOf(c.error), c.expected) << c.error.message;
}

} // namespace
