// IUserStore and the live IUser record: Add, Open, Remove, Count and Item, and the
// record's gets and puts, each a read or a committed write of the stored record.

#include <thread>

#include "interfaces/service_errors.h"
#include "platform/com/bstr.h"
#include "platform/com/error_info.h"
#include "platform/com/variant.h"
#include "tests/service/objects/service_fixture.h"

namespace ospreon::test {
namespace {

const Entries kTestwardenAfterAdd = {
    {"Status", "Disable"},
    {"DisplayName", "Scripted Result"},
    {"Monitor_Parameter", "ok"},
    {"Monitor_Voice", ""},
};

using StoreRecords = ServiceTest;

TEST_F(StoreRecords, AddOpenCountAndItemFollowCreationOrder)
{
    ComPtr<IUser> added;
    ASSERT_EQ(Add("Pagewarden of web", &added), S_OK);
    ASSERT_EQ(Add("Testwarden of one"), S_OK);
    ASSERT_EQ(Add("relaywarden of mail"), S_OK);
    EXPECT_EQ(NameOf(added.get()), "Pagewarden of web");
    EXPECT_EQ(Count(), 3);

    // Names are found in any letter case; the type takes the catalogue's spelling.
    ComPtr<IUser> opened = OpenOrFail("RELAYWARDEN OF MAIL");
    ASSERT_TRUE(opened);
    EXPECT_EQ(NameOf(opened.get()), "relaywarden of mail");
    com::Bstr type;
    ASSERT_EQ(opened->get_ServiceType(type.put()), S_OK);
    EXPECT_EQ(type.utf8(), "Relaywarden");

    auto names = [&] {
        std::vector<std::string> result;
        for (LONG i = 1; i <= Count(); ++i) {
            com::Variant item;
            EXPECT_EQ(store->get_Item(i, item.put()), S_OK);
            EXPECT_EQ(item.type(), VT_DISPATCH);
            ComPtr<IUser> record;
            EXPECT_EQ(item.get().pdispVal->QueryInterface(IID_IUser, record.putVoid()), S_OK);
            result.push_back(NameOf(record.get()));
        }
        return result;
    };
    EXPECT_EQ(names(), (std::vector<std::string>{"Pagewarden of web", "Testwarden of one",
                                                 "relaywarden of mail"}));
    for (LONG outside : {0, 4, -1}) {
        com::Variant item;
        EXPECT_EQ(store->get_Item(outside, item.put()), DISP_E_BADINDEX) << outside;
        EXPECT_EQ(item.type(), VT_EMPTY);
    }

    // The listing follows removals and additions made after it was first read.
    ASSERT_EQ(Remove("TESTWARDEN of ONE"), S_OK);
    ASSERT_EQ(Add("Volumewarden of disk"), S_OK);
    EXPECT_EQ(names(), (std::vector<std::string>{"Pagewarden of web", "relaywarden of mail",
                                                 "Volumewarden of disk"}));
}

TEST_F(StoreRecords, NewRecordsHoldStatusAndThePluginsDeclarations)
{
    ComPtr<IUser> plugin;
    ASSERT_EQ(Add("Testwarden of declared", &plugin), S_OK);
    EXPECT_EQ(EntriesOf(plugin.get()), kTestwardenAfterAdd);

    ComPtr<IUser> builtIn;
    ASSERT_EQ(Add("Mailboxwarden of inbox", &builtIn), S_OK);
    EXPECT_EQ(EntriesOf(builtIn.get()), (Entries{{"Status", "Disable"}}));
}

TEST_F(StoreRecords, FailedOperationsChangeNothing)
{
    ComPtr<IUser> existing;
    ASSERT_EQ(Add("Testwarden of one", &existing), S_OK);
    ASSERT_EQ(PutValue(existing.get(), "Monitor_Parameter", "fail"), S_OK);
    const std::vector<store::RecordData> before = StoredRecords();

    struct Case
    {
        const char* what;
        std::string name;
        const char* provider;
        HRESULT add, open, remove;
    };
    const Case cases[] = {
        {"unknown type", "Nowarden of x", kUserProvider, WARDEN_E_UNKNOWNTYPE, WARDEN_E_NORECORD,
         WARDEN_E_NORECORD},
        {"no type prefix", "Testwarden", kUserProvider, WARDEN_E_UNKNOWNTYPE, WARDEN_E_NORECORD,
         WARDEN_E_NORECORD},
        {"name taken in another case", "TESTWARDEN OF ONE", kUserProvider, WARDEN_E_NAMETAKEN, S_OK,
         S_OK},
        {"empty name", "", kUserProvider, E_INVALIDARG, E_INVALIDARG, E_INVALIDARG},
        {"provider unset", "Testwarden of two", nullptr, WARDEN_E_PROVIDER, WARDEN_E_PROVIDER,
         WARDEN_E_PROVIDER},
        {"other provider", "Testwarden of one", "{3AEC1CC3-6981-11D3-9CA3-00A0246E266E}",
         WARDEN_E_PROVIDER, WARDEN_E_PROVIDER, WARDEN_E_PROVIDER},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ComPtr<IUserRef> ref = Ref(c.name, c.provider);
        EXPECT_EQ(store->Add(ref.get()), c.add);
        com::Variant object;
        EXPECT_EQ(ref->get_Object(object.put()), E_UNEXPECTED) << "a failed Add leaves no record";
        EXPECT_EQ(object.type(), VT_EMPTY);
        EXPECT_EQ(store->Open(ref.get()), c.open);
        EXPECT_EQ(StoredRecords(), before);
        if (c.remove != S_OK) {
            EXPECT_EQ(store->Remove(ref.get()), c.remove);
        }
    }
    EXPECT_EQ(Count(), 1);
    EXPECT_EQ(store->Add(nullptr), E_POINTER);
}

// Names and keys are what records and entries are found by; a control character in
// one (NUL above all, at which SQLite's case-blind comparison stops) would let two
// names match, so they are refused. Positions count characters from 0.
TEST_F(StoreRecords, NamesAndKeysWithControlCharactersAreRefused)
{
    ComPtr<IUser> existing;
    ASSERT_EQ(Add("Testwarden of one", &existing), S_OK);
    const std::vector<store::RecordData> before = StoredRecords();
    using namespace std::string_literals;
    struct Case
    {
        std::string text;
        const char* character;
        int position;
    };
    const Case cases[] = {
        {"Testwarden of one\0two"s, "U+0000", 17},        {"Testwarden of \x1b[31m", "U+001B", 14},
        {"Testwarden of \u00e9\u00e9\x1f", "U+001F", 16}, {"Testwarden of x\x7f", "U+007F", 15},
        {"Testwarden of line\n", "U+000A", 18},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.text));
        const std::string at = std::string(" has a control character (") + c.character +
                               ") at position " + std::to_string(c.position);
        EXPECT_EQ(Add(c.text), E_INVALIDARG);
        EXPECT_EQ(com::TakeErrorText().description, "the name" + at);

        com::Bstr key(c.text);
        com::Variant value("v");
        EXPECT_EQ(existing->put_InfoVal(key.get(), value.get()), E_INVALIDARG);
        EXPECT_EQ(com::TakeErrorText().description, "the key" + at);
        EXPECT_EQ(existing->put_InfoName(0, key.get()), E_INVALIDARG);
        EXPECT_EQ(com::TakeErrorText().description, "the key" + at);
        EXPECT_EQ(StoredRecords(), before);
    }
    // Values hold any text.
    EXPECT_EQ(PutValue(existing.get(), "Note", "a\0b\x1b\x7f"s), S_OK);
    EXPECT_EQ(ValueOf(existing.get(), "Note"), "a\0b\x1b\x7f"s);
}

TEST_F(StoreRecords, LiveRecordReadsAndWritesTheStoredList)
{
    ComPtr<IUser> record;
    ASSERT_EQ(Add("Pagewarden of live", &record), S_OK);
    ComPtr<IUser> other = OpenOrFail("pagewarden of LIVE");

    // A key the record lacks: the get fails and leaves the output empty.
    com::Bstr missing("Monitor_LogFile");
    com::Variant out;
    EXPECT_EQ(record->get_InfoVal(missing.get(), out.put()), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(out.type(), VT_EMPTY);
    HRESULT hr = S_OK;
    EXPECT_EQ(ValueOf(record.get(), "status", &hr), std::nullopt) << "keys compare exactly";
    EXPECT_EQ(hr, DISP_E_UNKNOWNNAME);

    // Puts through one view are read by the other at once.
    ASSERT_EQ(PutValue(record.get(), "Monitor_Parameter", "http://example.test/"), S_OK);
    ASSERT_EQ(PutValue(other.get(), "Status", "Enable"), S_OK);
    EXPECT_EQ(ValueOf(other.get(), "Monitor_Parameter"), "http://example.test/");
    EXPECT_EQ(EntriesOf(record.get()),
              (Entries{{"Status", "Enable"}, {"Monitor_Parameter", "http://example.test/"}}));

    // InfoName put appends a missing key with an empty value and leaves an existing
    // one in its place, whatever the index.
    com::Bstr declared("DisplayName"), status("Status");
    EXPECT_EQ(record->put_InfoName(8, declared.get()), S_OK);
    EXPECT_EQ(record->put_InfoName(0, status.get()), S_OK);
    EXPECT_EQ(record->put_InfoName(8, declared.get()), S_OK);
    EXPECT_EQ(EntriesOf(other.get()), (Entries{{"Status", "Enable"},
                                               {"Monitor_Parameter", "http://example.test/"},
                                               {"DisplayName", ""}}));

    // UserInfo by zero-based position.
    com::Variant label("URL");
    EXPECT_EQ(record->put_UserInfo(2, label.get()), S_OK);
    EXPECT_EQ(ValueOf(other.get(), "DisplayName"), "URL");
    for (LONG outside : {3, -1}) {
        com::Bstr key;
        com::Variant value;
        EXPECT_EQ(record->get_InfoName(outside, key.put()), DISP_E_BADINDEX);
        EXPECT_EQ(record->get_UserInfo(outside, value.put()), DISP_E_BADINDEX);
        EXPECT_EQ(value.type(), VT_EMPTY);
        EXPECT_EQ(record->put_UserInfo(outside, label.get()), DISP_E_BADINDEX);
    }
    EXPECT_EQ(EntriesOf(record.get()).size(), 3u);

    com::Bstr rename("Pagewarden of renamed");
    EXPECT_EQ(record->put_UserName(rename.get()), E_NOTIMPL);
    EXPECT_EQ(record->put_InfoNumber(1), E_NOTIMPL);
    EXPECT_EQ(record->put_UserFunc(nullptr), E_NOTIMPL);
}

TEST_F(StoreRecords, ValuesOfOtherTypesAreStoredAsText)
{
    ComPtr<IUser> record;
    ASSERT_EQ(Add("Pagewarden of typed", &record), S_OK);
    struct Case
    {
        const char* key;
        VARIANT value;
        HRESULT hr;
        const char* stored; // null: the key stays missing
    };
    VARIANT number{}, truth{}, real{}, empty{}, null{};
    number.vt = VT_I4, number.lVal = 90;
    truth.vt = VT_BOOL, truth.boolVal = VARIANT_TRUE;
    real.vt = VT_R8, real.dblVal = 2.5;
    empty.vt = VT_EMPTY;
    null.vt = VT_NULL;
    const Case cases[] = {
        {"Ext_Maximum Usuage Percentage", number, S_OK, "90"},
        {"Flag", truth, S_OK, "-1"},
        {"Real", real, S_OK, "2.5"},
        {"Empty", empty, S_OK, ""},
        {"Null", null, DISP_E_TYPEMISMATCH, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        com::Bstr key(c.key);
        EXPECT_EQ(record->put_InfoVal(key.get(), c.value), c.hr);
        const std::optional<std::string> expected =
            c.stored ? std::optional<std::string>(c.stored) : std::nullopt;
        EXPECT_EQ(ValueOf(record.get(), c.key), expected);
    }
}

TEST_F(StoreRecords, RecordRemovedMeanwhileFailsEveryCallAndIsNotRecreated)
{
    ComPtr<IUser> record;
    ASSERT_EQ(Add("Testwarden of doomed", &record), S_OK);
    ASSERT_EQ(Remove("testwarden OF doomed"), S_OK);
    EXPECT_EQ(Remove("Testwarden of doomed"), WARDEN_E_NORECORD);

    com::Bstr key("Status"), text;
    com::Variant value("Enable"), out;
    LONG count = 0;
    ComPtr<IDispatch> func;
    EXPECT_EQ(record->get_UserName(text.put()), WARDEN_E_RECORDGONE);
    EXPECT_EQ(record->get_ServiceType(text.put()), WARDEN_E_RECORDGONE);
    EXPECT_EQ(record->get_InfoNumber(&count), WARDEN_E_RECORDGONE);
    EXPECT_EQ(record->get_InfoName(0, text.put()), WARDEN_E_RECORDGONE);
    EXPECT_EQ(record->put_InfoName(8, key.get()), WARDEN_E_RECORDGONE);
    EXPECT_EQ(record->get_UserInfo(0, out.put()), WARDEN_E_RECORDGONE);
    EXPECT_EQ(record->put_UserInfo(0, value.get()), WARDEN_E_RECORDGONE);
    EXPECT_EQ(record->get_InfoVal(key.get(), out.put()), WARDEN_E_RECORDGONE);
    EXPECT_EQ(out.type(), VT_EMPTY);
    EXPECT_EQ(record->put_InfoVal(key.get(), value.get()), WARDEN_E_RECORDGONE);
    EXPECT_EQ(record->get_UserFunc(func.put()), WARDEN_E_RECORDGONE);
    EXPECT_EQ(Count(), 0);
    EXPECT_TRUE(StoredRecords().empty());

    // A new record of the same name is another record: the old view stays dead.
    ASSERT_EQ(Add("Testwarden of doomed"), S_OK);
    EXPECT_EQ(record->put_InfoVal(key.get(), value.get()), WARDEN_E_RECORDGONE);
    EXPECT_EQ(ValueOf(OpenOrFail("Testwarden of doomed").get(), "Status"), "Disable");
}

TEST_F(StoreRecords, ThreadsWritingTheSameRecordLoseNothing)
{
    // Two threads share one live record (one connection), two others have stores
    // of their own (connections of their own).
    constexpr int kPuts = 40;
    ComPtr<IUser> shared;
    ASSERT_EQ(Add("Pagewarden of threads", &shared), S_OK);
    auto write = [&](int writer) {
        ComPtr<IUser> record = shared;
        if (writer >= 2) {
            ComPtr<IUserStore> own = CreateObject<IUserStore>(CLSID_UserStore);
            ComPtr<IUserRef> ref = Ref("Pagewarden of threads");
            ASSERT_EQ(own->Open(ref.get()), S_OK);
            com::Variant object;
            ASSERT_EQ(ref->get_Object(object.put()), S_OK);
            record.reset();
            ASSERT_EQ(object.get().pdispVal->QueryInterface(IID_IUser, record.putVoid()), S_OK);
        }
        for (int i = 0; i < kPuts; ++i) {
            const std::string key = "T" + std::to_string(writer) + "-" + std::to_string(i);
            EXPECT_EQ(PutValue(record.get(), key, key), S_OK);
        }
    };
    std::vector<std::thread> writers;
    for (int writer = 0; writer < 4; ++writer) {
        writers.emplace_back([&, writer] {
            EXPECT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
            write(writer);
            CoUninitialize();
        });
    }
    for (std::thread& writer : writers)
        writer.join();
    const Entries entries = EntriesOf(shared.get());
    ASSERT_EQ(entries.size(), 1u + 4 * kPuts);
    for (const auto& [key, value] : entries) {
        if (key != "Status") {
            EXPECT_EQ(value, key);
        }
    }
}

TEST_F(StoreRecords, RecordAnswersLateBoundCalls)
{
    ComPtr<IUser> record;
    ASSERT_EQ(Add("Pagewarden of late", &record), S_OK);
    std::u16string name = u"InfoVal";
    LPOLESTR names[] = {name.data()};
    DISPID id = 0;
    ASSERT_EQ(record->GetIDsOfNames(GUID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), S_OK);
    EXPECT_EQ(id, 6);
    com::Variant key("Status");
    DISPPARAMS params{const_cast<VARIANT*>(&key.get()), nullptr, 1, 0};
    com::Variant result;
    ASSERT_EQ(record->Invoke(id, GUID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &params,
                             result.put(), nullptr, nullptr),
              S_OK);
    std::string text;
    ASSERT_EQ(result.ToString(text), S_OK);
    EXPECT_EQ(text, "Disable");
}

} // namespace
} // namespace ospreon::test
