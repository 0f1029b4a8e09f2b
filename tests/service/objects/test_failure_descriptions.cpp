// The service objects describe their failures as error information: the store's
// message with its path, the monitor file parser's reason, the record's name, the
// type that is not registered.

#include <functional>

#include "interfaces/service_errors.h"
#include "interfaces/user_file.h"
#include "platform/com/bstr.h"
#include "platform/com/error_info.h"
#include "platform/com/variant.h"
#include "tests/service/objects/service_fixture.h"

namespace ospreon::test {
namespace {

using FailureDescriptions = ServiceTest;

// The description the last call left; it must be handed out only once.
std::string TakenOnce()
{
    const std::string description = com::TakeErrorText().description;
    ComPtr<IErrorInfo> again;
    EXPECT_EQ(GetErrorInfo(0, again.put()), S_FALSE) << "given out twice: " << description;
    return description;
}

HRESULT Import(const std::filesystem::path& file)
{
    ComPtr<IUserFile> files = CreateObject<IUserFile>(CLSID_UserFile);
    com::Bstr path(file.string());
    return files->Import(path.get());
}

TEST_F(FailureDescriptions, EachFailingCallLeavesItsOwnReason)
{
    ASSERT_EQ(Add("Pagewarden of taken"), S_OK);
    WriteFile(home.path() / "triple.Mnt",
              R"({"format": "ospreon-monitors", "version": 1, "monitors": [
                  {"name": "Pagewarden of t", "type": "Pagewarden",
                   "parameters": [["Status", "Disable", "extra"]]}]})");
    struct Case
    {
        const char* what;
        std::function<HRESULT()> call;
        HRESULT expected;
        std::string description;
    };
    const Case cases[] = {
        {"type not registered", [this] { return Add("Nowarden of x"); }, WARDEN_E_UNKNOWNTYPE,
         "the monitor type Nowarden is not registered"},
        {"name taken", [this] { return Add("PAGEWARDEN of TAKEN"); }, WARDEN_E_NAMETAKEN,
         "a record named PAGEWARDEN of TAKEN exists"},
        {"no record", [this] { return Open("Pagewarden of none"); }, WARDEN_E_NORECORD,
         "no record named Pagewarden of none"},
        {"monitor file", [this] { return Import(home.path() / "triple.Mnt"); }, WARDEN_E_BADFILE,
         "not a usable monitor file: monitor 1 (Pagewarden of t) has a parameter that is not a "
         "pair of strings"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.call(), c.expected);
        EXPECT_EQ(TakenOnce(), c.description);
    }
}

// Nesting is refused as the parser meets it, before a document is built: a file of
// nothing but opening brackets costs neither memory nor time.
TEST_F(FailureDescriptions, AMonitorFileNestedTooDeeplyIsRefusedAsItIsRead)
{
    WriteFile(home.path() / "deep.Mnt", std::string(1u << 20, '['));
    EXPECT_EQ(Import(home.path() / "deep.Mnt"), WARDEN_E_BADFILE);
    EXPECT_EQ(TakenOnce(), "not a usable monitor file: the file nests lists or objects deeper "
                           "than the format does");
}

TEST_F(FailureDescriptions, ADamagedStoreIsDescribedBySqliteWithItsPath)
{
    WriteFile(home.path() / "wardenhost.db", std::string(8192, 'x'));
    LONG count = 0;
    EXPECT_EQ(store->get_Count(&count), WARDEN_E_STORE);
    EXPECT_EQ(TakenOnce(), "store " + (home.path() / "wardenhost.db").string() +
                               ": file is not a database (SQLite code 26)");
}

TEST_F(FailureDescriptions, AFailureWithoutADescriptionShowsNoneOfAnOlderOne)
{
    ASSERT_EQ(Add("Nowarden of x"), WARDEN_E_UNKNOWNTYPE);
    EXPECT_EQ(store->get_Count(nullptr), E_POINTER);
    EXPECT_EQ(TakenOnce(), "");
}

TEST_F(FailureDescriptions, ALateBoundCallOfARemovedRecordRaisesItsReason)
{
    ComPtr<IUser> record;
    ASSERT_EQ(Add("Pagewarden of gone", &record), S_OK);
    ASSERT_EQ(Remove("Pagewarden of gone"), S_OK);
    ComPtr<IDispatch> dispatch = record.As<IDispatch>();
    ASSERT_TRUE(dispatch);
    std::u16string name = u"UserName";
    LPOLESTR names[] = {name.data()};
    DISPID id = DISPID_UNKNOWN;
    ASSERT_EQ(dispatch->GetIDsOfNames(GUID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), S_OK);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    com::Variant result;
    EXCEPINFO exception{};
    EXPECT_EQ(dispatch->Invoke(id, GUID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none,
                               result.put(), &exception, nullptr),
              DISP_E_EXCEPTION);
    com::Bstr source = com::Bstr::Attach(exception.bstrSource);
    com::Bstr description = com::Bstr::Attach(exception.bstrDescription);
    EXPECT_EQ(exception.scode, WARDEN_E_RECORDGONE);
    EXPECT_EQ(source.utf8(), "Wardenhost");
    EXPECT_NE(description.utf8().find("was removed"), std::string::npos) << description.utf8();
}

} // namespace
} // namespace ospreon::test
