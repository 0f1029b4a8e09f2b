#include "tests/service/objects/service_fixture.h"

#include <dlfcn.h>

#include <fstream>
#include <sstream>

#include "interfaces/guids.h"
#include "platform/com/activation.h"
#include "platform/com/bstr.h"
#include "platform/com/variant.h"
#include "platform/registry/registry.h"
#include "service/store/database.h"
#include "service/store/record_table.h"

namespace ospreon::test {

HRESULT RegisterModule(const std::filesystem::path& path)
{
    void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        ADD_FAILURE() << "cannot load " << path << ": " << ::dlerror();
        return E_FAIL;
    }
    auto registerServer =
        reinterpret_cast<DllRegisterServerFn>(::dlsym(module, "DllRegisterServer"));
    HRESULT hr = registerServer ? registerServer() : E_FAIL;
    ::dlclose(module);
    return hr;
}

void RegisterBundledTypeNames()
{
    for (const char* type : {"Pagewarden", "Relaywarden", "Mailboxwarden", "Volumewarden"}) {
        const std::string path = std::string("SOFTWARE\\Brackwater\\RELAYMOOR\\Plugin\\") +
                                 kServiceMonitorIid + "\\" + type;
        registry::Key key;
        ASSERT_EQ(RegCreateKeyEx(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr,
                                 REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, key.put(),
                                 nullptr),
                  ERROR_SUCCESS);
    }
}

std::filesystem::path ServiceLibrary()
{
    return BuildDir() / "lib" / "libwardenhost.so";
}

std::filesystem::path TestPluginModule()
{
    return BuildDir() / "testmodules" / "Testwarden.so";
}

void ServiceTest::SetUp()
{
    ASSERT_EQ(RegisterModule(ServiceLibrary()), S_OK);
    ASSERT_EQ(RegisterModule(TestPluginModule()), S_OK);
    RegisterBundledTypeNames();
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    store = CreateObject<IUserStore>(CLSID_UserStore);
    ASSERT_TRUE(store);
}

void ServiceTest::TearDown()
{
    store.reset();
    CoUninitialize();
}

ComPtr<IUserRef> ServiceTest::Ref(const std::string& name, const char* provider)
{
    ComPtr<IUserRef> ref = CreateObject<IUserRef>(CLSID_UserRef);
    if (!ref)
        return ref;
    if (provider) {
        com::Bstr text(provider);
        EXPECT_EQ(ref->put_Provider(text.get()), S_OK);
    }
    com::Bstr text(name);
    EXPECT_EQ(ref->put_Name(text.get()), S_OK);
    return ref;
}

namespace {

HRESULT TakeRecord(IUserRef* ref, ComPtr<IUser>* record)
{
    if (!record)
        return S_OK;
    com::Variant object;
    HRESULT hr = ref->get_Object(object.put());
    if (FAILED(hr))
        return hr;
    if (object.type() != VT_DISPATCH || !object.get().pdispVal)
        return E_NOINTERFACE;
    return object.get().pdispVal->QueryInterface(IID_IUser, record->putVoid());
}

} // namespace

HRESULT ServiceTest::Open(const std::string& name, ComPtr<IUser>* record)
{
    ComPtr<IUserRef> ref = Ref(name);
    HRESULT hr = store->Open(ref.get());
    return FAILED(hr) ? hr : TakeRecord(ref.get(), record);
}

HRESULT ServiceTest::Add(const std::string& name, ComPtr<IUser>* record)
{
    ComPtr<IUserRef> ref = Ref(name);
    HRESULT hr = store->Add(ref.get());
    return FAILED(hr) ? hr : TakeRecord(ref.get(), record);
}

HRESULT ServiceTest::Remove(const std::string& name)
{
    return store->Remove(Ref(name).get());
}

ComPtr<IUser> ServiceTest::OpenOrFail(const std::string& name)
{
    ComPtr<IUser> record;
    EXPECT_EQ(Open(name, &record), S_OK) << name;
    return record;
}

LONG ServiceTest::Count()
{
    LONG count = -1;
    EXPECT_EQ(store->get_Count(&count), S_OK);
    return count;
}

std::vector<store::RecordData> ServiceTest::StoredRecords()
{
    Result<std::shared_ptr<store::Database>> db = store::OpenDefault();
    if (!db) {
        ADD_FAILURE() << db.error().message;
        return {};
    }
    Result<std::vector<store::RecordData>> records = store::RecordTable(**db).ReadAll();
    if (!records) {
        ADD_FAILURE() << records.error().message;
        return {};
    }
    return *records;
}

Entries EntriesOf(IUser* record)
{
    Entries entries;
    LONG count = 0;
    EXPECT_EQ(record->get_InfoNumber(&count), S_OK);
    for (LONG i = 0; i < count; ++i) {
        com::Bstr key;
        com::Variant value;
        EXPECT_EQ(record->get_InfoName(i, key.put()), S_OK);
        EXPECT_EQ(record->get_UserInfo(i, value.put()), S_OK);
        std::string text;
        EXPECT_EQ(value.ToString(text), S_OK);
        entries.emplace_back(key.utf8(), text);
    }
    return entries;
}

std::optional<std::string> ValueOf(IUser* record, const std::string& key, HRESULT* hr)
{
    com::Bstr name(key);
    com::Variant value;
    HRESULT result = record->get_InfoVal(name.get(), value.put());
    if (hr)
        *hr = result;
    if (FAILED(result))
        return std::nullopt;
    std::string text;
    EXPECT_EQ(value.ToString(text), S_OK);
    return text;
}

HRESULT PutValue(IUser* record, const std::string& key, const std::string& value)
{
    com::Bstr name(key);
    com::Variant text(value);
    return record->put_InfoVal(name.get(), text.get());
}

std::string NameOf(IUser* record)
{
    com::Bstr name;
    EXPECT_EQ(record->get_UserName(name.put()), S_OK);
    return name.utf8();
}

std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    std::stringstream content;
    content << file.rdbuf();
    return content.str();
}

void WriteFile(const std::filesystem::path& path, const std::string& content)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << content;
}

} // namespace ospreon::test
