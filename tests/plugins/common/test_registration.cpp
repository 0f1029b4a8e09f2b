// The test plug-in module registers itself as every monitor plug-in does: its COM
// class, its type under the Plugin key, its type library and its entry under the
// service's plug-in key; and removes exactly that again.

#include <map>
#include <string>
#include <vector>

#include <dlfcn.h>
#include <gtest/gtest.h>

#include "interfaces/monitor_plugin.h"
#include "interfaces/service_monitor.h"
#include "platform/com/activation.h"
#include "platform/com/com_ptr.h"
#include "platform/com/version_info.h"
#include "platform/registry/registry.h"
#include "tests/support/temp_home.h"

namespace ospreon::test {
namespace {

using registry::Key;

constexpr CLSID kClsid = MakeGuid("7816BA25-2BA3-40A6-B521-E735D4A4FD16");
constexpr char kServiceKey[] = "SOFTWARE\\Brackwater\\RELAYMOOR\\Services\\Wardenhost";
constexpr char kInterfaceKey[] =
    "SOFTWARE\\Brackwater\\RELAYMOOR\\Services\\Wardenhost\\{584A0822-C255-11D3-9CCC-00A0246E266E}";
constexpr char kPluginKey[] =
    "SOFTWARE\\Brackwater\\RELAYMOOR\\Plugin\\{584A0822-C255-11D3-9CCC-00A0246E266E}";

// Every key below `root\path` with its values, as "key|value=data" lines.
void Dump(HKEY root, const std::string& path, std::vector<std::string>& out)
{
    Key key;
    if (RegOpenKeyEx(root, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return;
    out.push_back(path);
    for (const char* name : {"", "ThreadingModel", "PluginName"}) {
        std::string value;
        if (registry::GetString(key.get(), name, value) == ERROR_SUCCESS)
            out.push_back(path + "|" + (*name ? name : "@") + "=" + value);
    }
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD size = sizeof name;
        if (RegEnumKeyEx(key.get(), i, name, &size, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        Dump(root, path.empty() ? name : path + "\\" + name, out);
    }
}

std::vector<std::string> Snapshot()
{
    std::vector<std::string> lines;
    Dump(HKEY_CLASSES_ROOT, "", lines);
    std::vector<std::string> machine;
    Dump(HKEY_LOCAL_MACHINE, "", machine);
    for (std::string& line : machine)
        lines.push_back("HKLM\\" + line);
    return lines;
}

void CreateKey(HKEY root, const std::string& path)
{
    Key key;
    ASSERT_EQ(RegCreateKeyEx(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(),
                             nullptr),
              ERROR_SUCCESS)
        << path;
}

void SetValue(HKEY root, const std::string& path, const char* name, const std::string& value)
{
    Key key;
    ASSERT_EQ(RegCreateKeyEx(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(),
                             nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(registry::SetString(key.get(), name, value), ERROR_SUCCESS);
}

class Registration : public testing::Test
{
protected:
    void SetUp() override
    {
        modulePath = (BuildDir() / "testmodules" / "Testwarden.so").string();
        module = ::dlopen(modulePath.c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(module, nullptr) << ::dlerror();
        registerServer =
            reinterpret_cast<DllRegisterServerFn>(::dlsym(module, "DllRegisterServer"));
        unregisterServer =
            reinterpret_cast<DllUnregisterServerFn>(::dlsym(module, "DllUnregisterServer"));
        ASSERT_TRUE(registerServer && unregisterServer);
    }
    void TearDown() override
    {
        if (module)
            ::dlclose(module);
    }

    std::vector<std::string> Expected(bool withServiceEntry) const
    {
        const std::string clsid = "{7816BA25-2BA3-40A6-B521-E735D4A4FD16}";
        const std::string libid = "{15A5893D-EE47-4E28-A4FB-3563EC437E99}";
        const std::string folder = std::filesystem::path(modulePath).parent_path().string();
        std::vector<std::string> lines = {
            "",
            "CLSID",
            "CLSID\\" + clsid,
            "CLSID\\" + clsid + "|@=ServiceMonitor Class",
            "CLSID\\" + clsid + "\\InprocServer32",
            "CLSID\\" + clsid + "\\InprocServer32|@=" + modulePath,
            "CLSID\\" + clsid + "\\InprocServer32|ThreadingModel=Both",
            "CLSID\\" + clsid + "\\ProgID",
            "CLSID\\" + clsid + "\\ProgID|@=Testwarden.ServiceMonitor.1",
            "CLSID\\" + clsid + "\\Programmable",
            "CLSID\\" + clsid + "\\TypeLib",
            "CLSID\\" + clsid + "\\TypeLib|@=" + libid,
            "CLSID\\" + clsid + "\\VersionIndependentProgID",
            "CLSID\\" + clsid + "\\VersionIndependentProgID|@=Testwarden.ServiceMonitor",
            "Testwarden.ServiceMonitor",
            "Testwarden.ServiceMonitor|@=ServiceMonitor Class",
            "Testwarden.ServiceMonitor\\CLSID",
            "Testwarden.ServiceMonitor\\CLSID|@=" + clsid,
            "Testwarden.ServiceMonitor\\CurVer",
            "Testwarden.ServiceMonitor\\CurVer|@=Testwarden.ServiceMonitor.1",
            "Testwarden.ServiceMonitor.1",
            "Testwarden.ServiceMonitor.1|@=ServiceMonitor Class",
            "Testwarden.ServiceMonitor.1\\CLSID",
            "Testwarden.ServiceMonitor.1\\CLSID|@=" + clsid,
            "TypeLib",
            "TypeLib\\" + libid,
            "TypeLib\\" + libid + "\\1.0",
            "TypeLib\\" + libid + "\\1.0|@=TestwardenMonitor 1.0 Type Library",
            "TypeLib\\" + libid + "\\1.0\\0",
            "TypeLib\\" + libid + "\\1.0\\0\\linux",
            "TypeLib\\" + libid + "\\1.0\\0\\linux|@=" + modulePath,
            "TypeLib\\" + libid + "\\1.0\\FLAGS",
            "TypeLib\\" + libid + "\\1.0\\FLAGS|@=0",
            "TypeLib\\" + libid + "\\1.0\\HELPDIR",
            "TypeLib\\" + libid + "\\1.0\\HELPDIR|@=" + folder,
            "HKLM\\",
            "HKLM\\SOFTWARE",
            "HKLM\\SOFTWARE\\Brackwater",
            "HKLM\\SOFTWARE\\Brackwater\\RELAYMOOR",
            "HKLM\\SOFTWARE\\Brackwater\\RELAYMOOR\\Plugin",
            "HKLM\\" + std::string(kPluginKey),
            "HKLM\\" + std::string(kPluginKey) + "|@=Monitor interface",
            "HKLM\\" + std::string(kPluginKey) + "\\Testwarden",
            "HKLM\\" + std::string(kPluginKey) + "\\Testwarden|@=" + clsid,
            "HKLM\\SOFTWARE\\Brackwater\\RELAYMOOR\\Services",
            "HKLM\\" + std::string(kServiceKey),
            "HKLM\\" + std::string(kInterfaceKey),
        };
        if (withServiceEntry) {
            lines.push_back("HKLM\\" + std::string(kInterfaceKey) + "\\" + clsid);
            lines.push_back("HKLM\\" + std::string(kInterfaceKey) + "\\" + clsid +
                            "|PluginName=Testwarden");
            lines.push_back("HKLM\\" + std::string(kInterfaceKey) + "\\" + clsid + "\\Testwarden");
            lines.push_back("HKLM\\" + std::string(kInterfaceKey) + "\\" + clsid +
                            "\\Testwarden|@=User");
        }
        return lines;
    }

    TempHome home;
    std::string modulePath;
    void* module = nullptr;
    DllRegisterServerFn registerServer = nullptr;
    DllUnregisterServerFn unregisterServer = nullptr;
};

TEST_F(Registration, WritesEveryKeyOnceAndIsCreatedByClassId)
{
    CreateKey(HKEY_LOCAL_MACHINE, kInterfaceKey);
    ASSERT_EQ(registerServer(), S_OK);
    ASSERT_EQ(registerServer(), S_OK) << "registering twice";
    std::vector<std::string> expected = Expected(true);
    std::vector<std::string> actual = Snapshot();
    std::sort(expected.begin(), expected.end());
    std::sort(actual.begin(), actual.end());
    EXPECT_EQ(actual, expected);

    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    {
        com::ComPtr<IServiceMonitor> monitor;
        ASSERT_EQ(CoCreateInstance(kClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IServiceMonitor,
                                   monitor.putVoid()),
                  S_OK)
            << com::LastActivationError();
        com::ComPtr<IMonitorPlugin> plugin;
        ASSERT_EQ(monitor.As(plugin), S_OK);
        com::Bstr name;
        ASSERT_EQ(plugin->get_TypeName(name.put()), S_OK);
        EXPECT_EQ(name.utf8(), "Testwarden");
    }
    CoUninitialize();

    auto version = static_cast<const com::ModuleVersionInfo*>(::dlsym(module, kVersionInfoSymbol));
    ASSERT_NE(version, nullptr);
    EXPECT_STREQ(version->fileDescription, "Testwarden Module");
    EXPECT_STREQ(version->originalFilename, "Testwarden.so");
    EXPECT_EQ(version->fileVersion[3], 1);
    EXPECT_TRUE(version->oleSelfRegister);
}

TEST_F(Registration, WithoutTheServiceInterfaceKeyTheClassStillRegisters)
{
    CreateKey(HKEY_LOCAL_MACHINE, kServiceKey);
    ASSERT_EQ(registerServer(), S_OK);
    std::vector<std::string> expected = Expected(false);
    expected.erase(
        std::find(expected.begin(), expected.end(), "HKLM\\" + std::string(kInterfaceKey)));
    std::vector<std::string> actual = Snapshot();
    std::sort(expected.begin(), expected.end());
    std::sort(actual.begin(), actual.end());
    EXPECT_EQ(actual, expected);
}

TEST_F(Registration, StaleEntriesInKeysReplacedWholeAreDropped)
{
    CreateKey(HKEY_LOCAL_MACHINE, kInterfaceKey);
    const std::string classKey = "CLSID\\{7816BA25-2BA3-40A6-B521-E735D4A4FD16}";
    SetValue(HKEY_CLASSES_ROOT, classKey, "Stale", "old");
    CreateKey(HKEY_CLASSES_ROOT, classKey + "\\LocalServer32");
    SetValue(HKEY_CLASSES_ROOT, classKey + "\\Programmable", "Stale", "old");
    SetValue(HKEY_LOCAL_MACHINE, std::string(kPluginKey) + "\\Testwarden", "Stale", "old");
    CreateKey(HKEY_LOCAL_MACHINE, std::string(kPluginKey) + "\\Testwarden\\Leftover");
    ASSERT_EQ(registerServer(), S_OK);

    std::vector<std::string> expected = Expected(true);
    std::vector<std::string> actual = Snapshot();
    std::sort(expected.begin(), expected.end());
    std::sort(actual.begin(), actual.end());
    EXPECT_EQ(actual, expected);
    Key key;
    ASSERT_EQ(RegOpenKeyEx(HKEY_CLASSES_ROOT, classKey.c_str(), 0, KEY_READ, key.put()),
              ERROR_SUCCESS);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueEx(key.get(), "Stale", nullptr, nullptr, nullptr, &size),
              ERROR_FILE_NOT_FOUND);
}

TEST_F(Registration, UnregisteringRemovesExactlyItsOwnEntries)
{
    CreateKey(HKEY_LOCAL_MACHINE, kInterfaceKey);
    // Another plug-in's entries, which must survive.
    const std::string other = "{11111111-2222-3333-4444-555555555555}";
    SetValue(HKEY_LOCAL_MACHINE, std::string(kInterfaceKey) + "\\" + other, "PluginName",
             "Otherwarden");
    SetValue(HKEY_LOCAL_MACHINE, std::string(kPluginKey) + "\\Otherwarden", "", other);
    SetValue(HKEY_CLASSES_ROOT, "CLSID\\" + other + "\\InprocServer32", "", "/x/Otherwarden.so");
    const std::vector<std::string> before = Snapshot();

    ASSERT_EQ(registerServer(), S_OK);
    ASSERT_EQ(unregisterServer(), S_OK);
    std::vector<std::string> after = Snapshot();
    // What stays: the other plug-in, the keys that are never removed, and the
    // TypeLib root that registration created.
    std::vector<std::string> expected = before;
    expected.push_back("TypeLib");
    expected.push_back("HKLM\\" + std::string(kPluginKey) + "|@=Monitor interface");
    std::sort(expected.begin(), expected.end());
    std::sort(after.begin(), after.end());
    EXPECT_EQ(after, expected);
}

TEST(ModuleExports, ClassObjectRules)
{
    TempHome home;
    const std::string path = (BuildDir() / "testmodules" / "Testwarden.so").string();
    void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr);
    auto getClassObject =
        reinterpret_cast<DllGetClassObjectFn>(::dlsym(module, "DllGetClassObject"));
    auto canUnloadNow = reinterpret_cast<DllCanUnloadNowFn>(::dlsym(module, "DllCanUnloadNow"));
    ASSERT_TRUE(getClassObject && canUnloadNow);

    EXPECT_EQ(getClassObject(kClsid, IID_IClassFactory, nullptr), E_POINTER);
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(getClassObject(MakeGuid("00000000-1111-2222-3333-444444444444"), IID_IClassFactory,
                             &object),
              CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(object, nullptr);

    com::ComPtr<IClassFactory> factory;
    ASSERT_EQ(getClassObject(kClsid, IID_IClassFactory, factory.putVoid()), S_OK);
    EXPECT_EQ(canUnloadNow(), S_OK) << "the kept factory alone does not hold the module";
    com::ComPtr<IUnknown> monitor;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, monitor.putVoid()), S_OK);
    EXPECT_EQ(canUnloadNow(), S_FALSE);
    monitor.reset();
    EXPECT_EQ(factory->LockServer(1), S_OK);
    EXPECT_EQ(canUnloadNow(), S_FALSE);
    EXPECT_EQ(factory->LockServer(0), S_OK);
    EXPECT_EQ(canUnloadNow(), S_OK);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, monitor.putVoid()),
              E_NOINTERFACE);
    factory.reset();
    ::dlclose(module);
}

} // namespace
} // namespace ospreon::test
