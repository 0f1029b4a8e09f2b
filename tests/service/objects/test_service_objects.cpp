// The other service objects: the configuration section, Reload, the plug-in
// catalogue, registration, and what the store file looks like from outside.

#include <dlfcn.h>
#include <sys/stat.h>

#include "interfaces/config_store.h"
#include "interfaces/plugin_catalog.h"
#include "interfaces/plugin_info.h"
#include "interfaces/plugin_list.h"
#include "interfaces/service_control.h"
#include "interfaces/service_errors.h"
#include "interfaces/user_file.h"
#include "platform/com/activation.h"
#include "platform/com/bstr.h"
#include "platform/com/variant.h"
#include "platform/registry/registry.h"
#include "service/store/database.h"
#include "service/store/meta_table.h"
#include "tests/service/objects/service_fixture.h"

namespace ospreon::test {
namespace {

using ServiceObjects = ServiceTest;

ComPtr<IConfigStore> OpenConfig()
{
    ComPtr<IConfigStore> config = CreateObject<IConfigStore>(CLSID_ConfigStore);
    com::Bstr section("Wardenhost");
    EXPECT_EQ(config->OpenSection(section.get()), S_OK);
    return config;
}

std::optional<std::string> ConfigValue(IConfigStore* config, const char* name,
                                       HRESULT* hr = nullptr)
{
    com::Bstr key(name);
    com::Variant value;
    HRESULT result = config->get_Value(key.get(), value.put());
    if (hr)
        *hr = result;
    if (FAILED(result)) {
        EXPECT_EQ(value.type(), VT_EMPTY);
        return std::nullopt;
    }
    EXPECT_EQ(value.type(), VT_BSTR);
    std::string text;
    EXPECT_EQ(value.ToString(text), S_OK);
    return text;
}

HRESULT SetConfig(IConfigStore* config, const char* name, const com::Variant& value)
{
    com::Bstr key(name);
    return config->put_Value(key.get(), value.get());
}

std::int64_t Generation()
{
    Result<std::shared_ptr<store::Database>> db = store::OpenDefault();
    EXPECT_TRUE(db.ok());
    Result<std::int64_t> generation = store::MetaTable(**db).Generation();
    EXPECT_TRUE(generation.ok());
    return generation ? *generation : -1;
}

HRESULT Reload(const std::string& password)
{
    ComPtr<IServiceControl> control = CreateObject<IServiceControl>(CLSID_ServiceControl);
    com::Bstr text(password);
    return control->Reload(text.get());
}

mode_t ModeOf(const std::filesystem::path& path)
{
    struct stat info
    {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

TEST_F(ServiceObjects, ConfigValuesWaitInTheObjectUntilSave)
{
    ComPtr<IConfigStore> editor = OpenConfig();
    HRESULT hr = S_OK;
    EXPECT_EQ(ConfigValue(editor.get(), "LogFile", &hr), std::nullopt);
    EXPECT_EQ(hr, DISP_E_UNKNOWNNAME);

    ASSERT_EQ(SetConfig(editor.get(), "LogFile", com::Variant("/var/log/Wardenhost%w.log")), S_OK);
    ASSERT_EQ(SetConfig(editor.get(), "BackupFile", com::Variant("/backups/backup.Mnt")), S_OK);
    ASSERT_EQ(SetConfig(editor.get(), "Retries", com::Variant(LONG{3})), S_OK);
    EXPECT_EQ(ConfigValue(editor.get(), "logfile"), "/var/log/Wardenhost%w.log")
        << "the object reads what it holds; names ignore case";
    EXPECT_EQ(ConfigValue(OpenConfig().get(), "LogFile"), std::nullopt) << "not saved yet";

    ASSERT_EQ(editor->Save(), S_OK);
    ComPtr<IConfigStore> reader = OpenConfig();
    EXPECT_EQ(ConfigValue(reader.get(), "LogFile"), "/var/log/Wardenhost%w.log");
    EXPECT_EQ(ConfigValue(reader.get(), "BackupFile"), "/backups/backup.Mnt");
    EXPECT_EQ(ConfigValue(reader.get(), "Retries"), "3");

    // Released without Save: the change is gone.
    ASSERT_EQ(SetConfig(editor.get(), "LOGFILE", com::Variant("/elsewhere.log")), S_OK);
    editor.reset();
    EXPECT_EQ(ConfigValue(OpenConfig().get(), "LogFile"), "/var/log/Wardenhost%w.log");
}

TEST_F(ServiceObjects, ConfigSectionOtherThanTheServicesIsRefused)
{
    ComPtr<IConfigStore> config = CreateObject<IConfigStore>(CLSID_ConfigStore);
    com::Variant value("x");
    EXPECT_EQ(ConfigValue(config.get(), "LogFile"), std::nullopt);
    HRESULT hr = S_OK;
    (void)ConfigValue(config.get(), "LogFile", &hr);
    EXPECT_EQ(hr, E_UNEXPECTED) << "before OpenSection";
    EXPECT_EQ(SetConfig(config.get(), "LogFile", value), E_UNEXPECTED);
    EXPECT_EQ(config->Save(), E_UNEXPECTED);

    for (const char* other : {"proxy", "", "Wardenhost2"}) {
        com::Bstr section(other);
        EXPECT_EQ(config->OpenSection(section.get()), E_INVALIDARG) << other;
    }
    com::Bstr section("WARDENHOST");
    EXPECT_EQ(config->OpenSection(section.get()), S_OK);
}

TEST_F(ServiceObjects, ReloadMovesTheGenerationOnlyForTheControlPassword)
{
    EXPECT_EQ(Reload(""), E_ACCESSDENIED) << "no password stored lets nobody in";
    EXPECT_EQ(Reload("guess"), E_ACCESSDENIED);
    {
        ComPtr<IConfigStore> config = OpenConfig();
        ASSERT_EQ(SetConfig(config.get(), "ControlPass", com::Variant("")), S_OK);
        ASSERT_EQ(config->Save(), S_OK);
    }
    EXPECT_EQ(Reload(""), E_ACCESSDENIED) << "nor does an empty one";
    EXPECT_EQ(Generation(), 0);

    {
        ComPtr<IConfigStore> config = OpenConfig();
        ASSERT_EQ(SetConfig(config.get(), "ControlPass", com::Variant("s3cret")), S_OK);
        ASSERT_EQ(config->Save(), S_OK);
    }
    for (const char* wrong : {"S3CRET", "s3cret ", ""})
        EXPECT_EQ(Reload(wrong), E_ACCESSDENIED) << wrong;
    EXPECT_EQ(Generation(), 0);
    EXPECT_EQ(Reload("s3cret"), S_OK);
    EXPECT_EQ(Generation(), 1);
    EXPECT_EQ(Reload("s3cret"), S_OK);
    EXPECT_EQ(Generation(), 2);
}

std::vector<std::string> CatalogueNames(IPluginCatalog* catalog)
{
    com::Bstr listIid(kPluginListIid);
    ComPtr<IUserRef> unset = CreateObject<IUserRef>(CLSID_UserRef);
    ComPtr<IUnknown> answer;
    EXPECT_EQ(catalog->Plugins(listIid.get(), unset.get(), answer.put()), S_OK);
    ComPtr<IPluginList> list = answer.As<IPluginList>();
    std::vector<std::string> names;
    if (!list)
        return names;
    LONG count = 0;
    EXPECT_EQ(list->get_Count(&count), S_OK);
    for (LONG i = 1; i <= count; ++i) {
        com::Variant item;
        EXPECT_EQ(list->get_Item(i, item.put()), S_OK);
        EXPECT_EQ(item.type(), VT_DISPATCH);
        ComPtr<IPluginInfo> info;
        EXPECT_EQ(item.get().pdispVal->QueryInterface(IID_IPluginInfo, info.putVoid()), S_OK);
        com::Bstr name;
        EXPECT_EQ(info->get_Name(name.put()), S_OK);
        names.push_back(name.utf8());
    }
    for (LONG outside : {LONG{0}, count + 1}) {
        com::Variant item;
        EXPECT_EQ(list->get_Item(outside, item.put()), DISP_E_BADINDEX);
        EXPECT_EQ(item.type(), VT_EMPTY);
    }
    return names;
}

void RegisterType(const char* name, const char* clsid)
{
    registry::Key key;
    const std::string path =
        std::string("SOFTWARE\\Brackwater\\RELAYMOOR\\Plugin\\") + kServiceMonitorIid + "\\" + name;
    ASSERT_EQ(RegCreateKeyEx(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                             nullptr, key.put(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(registry::SetString(key.get(), nullptr, clsid), ERROR_SUCCESS);
}

TEST_F(ServiceObjects, CatalogueListsWhatIsRegisteredOnce)
{
    ComPtr<IPluginCatalog> catalog = CreateObject<IPluginCatalog>(CLSID_PluginCatalog);
    EXPECT_EQ(CatalogueNames(catalog.get()),
              (std::vector<std::string>{"Mailboxwarden", "Pagewarden", "Relaywarden", "Testwarden",
                                        "Volumewarden"}));

    // A name registered again in other letter case is still one type.
    RegisterType("PAGEWARDEN", "{0BADC0DE-0000-4000-8000-000000000002}");
    RegisterType("Alphawarden", "{0BADC0DE-0000-4000-8000-000000000003}");
    EXPECT_EQ(CatalogueNames(catalog.get()),
              (std::vector<std::string>{"Alphawarden", "Mailboxwarden", "Pagewarden", "Relaywarden",
                                        "Testwarden", "Volumewarden"}));

    // A type whose registration was removed is gone, whatever its name.
    ASSERT_EQ(RegDeleteTree(HKEY_LOCAL_MACHINE,
                            (std::string("SOFTWARE\\Brackwater\\RELAYMOOR\\Plugin\\") +
                             kServiceMonitorIid + "\\Pagewarden")
                                .c_str()),
              ERROR_SUCCESS);
    EXPECT_EQ(CatalogueNames(catalog.get()),
              (std::vector<std::string>{"Alphawarden", "Mailboxwarden", "Relaywarden", "Testwarden",
                                        "Volumewarden"}));

    for (const char* other : {"{1B2D03AB-C28B-11D3-9CCC-00A0246E266E}", "IPluginList", ""}) {
        com::Bstr listIid(other);
        ComPtr<IUnknown> answer;
        EXPECT_EQ(catalog->Plugins(listIid.get(), nullptr, answer.put()), E_NOINTERFACE) << other;
        EXPECT_FALSE(answer);
    }
}

TEST_F(ServiceObjects, RegistrationWritesAndRemovesTheSixClasses)
{
    const std::pair<const CLSID*, const char*> classes[] = {
        {&CLSID_UserStore, "UserStore Class"},           {&CLSID_UserRef, "UserRef Class"},
        {&CLSID_PluginCatalog, "PluginCatalog Class"},   {&CLSID_UserFile, "UserFile Class"},
        {&CLSID_ServiceControl, "ServiceControl Class"}, {&CLSID_ConfigStore, "ConfigStore Class"},
    };
    for (const auto& [clsid, name] : classes) {
        const std::string key = "CLSID\\" + com::GuidToString(*clsid);
        registry::Key classKey, server;
        ASSERT_EQ(RegOpenKeyEx(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, classKey.put()),
                  ERROR_SUCCESS)
            << key;
        std::string text;
        EXPECT_EQ(registry::GetString(classKey.get(), nullptr, text), ERROR_SUCCESS);
        EXPECT_EQ(text, name);
        ASSERT_EQ(RegOpenKeyEx(classKey.get(), "InprocServer32", 0, KEY_READ, server.put()),
                  ERROR_SUCCESS);
        EXPECT_EQ(registry::GetString(server.get(), nullptr, text), ERROR_SUCCESS);
        EXPECT_TRUE(std::filesystem::equivalent(text, ServiceLibrary())) << text;
        EXPECT_EQ(registry::GetString(server.get(), "ThreadingModel", text), ERROR_SUCCESS);
        EXPECT_EQ(text, "Both");
    }

    store.reset();
    void* module = ::dlopen(ServiceLibrary().c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_TRUE(module);
    auto unregister =
        reinterpret_cast<DllUnregisterServerFn>(::dlsym(module, "DllUnregisterServer"));
    ASSERT_TRUE(unregister);
    EXPECT_EQ(unregister(), S_OK);
    ::dlclose(module);
    for (const auto& [clsid, name] : classes) {
        const std::string key = "CLSID\\" + com::GuidToString(*clsid);
        registry::Key gone;
        EXPECT_EQ(RegOpenKeyEx(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, gone.put()),
                  ERROR_FILE_NOT_FOUND)
            << name;
    }
    ComPtr<IUnknown> object;
    EXPECT_EQ(CoCreateInstance(CLSID_UserStore, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               object.putVoid()),
              REGDB_E_CLASSNOTREG);
}

TEST_F(ServiceObjects, StoreFilesAreTheOwnersOnly)
{
    ComPtr<IUser> record;
    ASSERT_EQ(Add("Pagewarden of secret", &record), S_OK);
    ASSERT_EQ(PutValue(record.get(), "AuthPassword", "hunter2"), S_OK);
    for (const char* file : {"wardenhost.db", "wardenhost.db-wal", "wardenhost.db-shm"})
        EXPECT_EQ(ModeOf(home.path() / file), 0600) << file;
}

TEST_F(ServiceObjects, DamagedStoreFailsEveryObjectClearly)
{
    const std::filesystem::path file = home.path() / "wardenhost.db";
    const std::string garbage =
        "this is not a database, just text where the store should be\n" + std::string(8192, '\x5a');
    WriteFile(file, garbage);

    ComPtr<IConfigStore> config = CreateObject<IConfigStore>(CLSID_ConfigStore);
    com::Bstr section("Wardenhost");
    EXPECT_EQ(config->OpenSection(section.get()), WARDEN_E_STORE);
    LONG count = 0;
    EXPECT_EQ(store->get_Count(&count), WARDEN_E_STORE);
    EXPECT_EQ(Open("Pagewarden of any"), WARDEN_E_STORE);
    EXPECT_EQ(Add("Pagewarden of any"), WARDEN_E_STORE);
    EXPECT_EQ(Reload("anything"), WARDEN_E_STORE);
    ComPtr<IUserFile> files = CreateObject<IUserFile>(CLSID_UserFile);
    com::Bstr target((home.path() / "out.Mnt").string());
    EXPECT_EQ(files->Export(target.get()), WARDEN_E_STORE);
    EXPECT_FALSE(std::filesystem::exists(home.path() / "out.Mnt"));
    EXPECT_EQ(ReadFile(file), garbage) << "a file that is not a store is left alone";
}

} // namespace
} // namespace ospreon::test
