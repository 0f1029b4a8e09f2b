// UserFunc: the plug-in object that serves a record, one per record in a process,
// given Init with the record each time it is handed out; and the plug-in's defaults
// reaching it through the live record.

#include <dlfcn.h>

#include "interfaces/service_errors.h"
#include "interfaces/service_monitor.h"
#include "interfaces/user_file.h"
#include "platform/com/activation.h"
#include "platform/com/bstr.h"
#include "platform/registry/registry.h"
#include "tests/service/objects/service_fixture.h"

namespace ospreon::test {
namespace {

class UserFunc : public ServiceTest
{
protected:
    ComPtr<IServiceMonitor> ServingObject(IUser* record)
    {
        ComPtr<IDispatch> object;
        EXPECT_EQ(record->get_UserFunc(object.put()), S_OK);
        ComPtr<IServiceMonitor> monitor;
        if (object) {
            EXPECT_EQ(object.As(monitor), S_OK);
        }
        return monitor;
    }
    std::filesystem::path TracePath() const { return home.path() / "trace.txt"; }
};

TEST_F(UserFunc, OneObjectPerRecordGivenInitEachTime)
{
    ComPtr<IUser> record, other;
    ASSERT_EQ(Add("Testwarden of traced", &record), S_OK);
    ASSERT_EQ(Add("Testwarden of other", &other), S_OK);
    ASSERT_EQ(PutValue(record.get(), "Test_Trace", TracePath().string()), S_OK);

    ComPtr<IServiceMonitor> first = ServingObject(record.get());
    ComPtr<IServiceMonitor> again = ServingObject(OpenOrFail("testwarden of TRACED").get());
    ASSERT_TRUE(first);
    EXPECT_EQ(first.get(), again.get()) << "the same object serves the record";
    EXPECT_NE(ServingObject(other.get()).get(), first.get()) << "each record has its own";
    EXPECT_EQ(ReadFile(TracePath()), "Init Testwarden of traced\nInit Testwarden of traced\n");

    ASSERT_EQ(PutValue(record.get(), "Monitor_Parameter", "fail"), S_OK);
    EXPECT_EQ(first->Monitor(record.get()), E_FAIL);
    ASSERT_EQ(PutValue(record.get(), "Monitor_Parameter", "ok"), S_OK);
    EXPECT_EQ(first->Monitor(record.get()), S_OK);
}

TEST_F(UserFunc, NewObjectDeclaresOnlyWhatTheRecordLacks)
{
    // The settings made after Add survive the first UserFunc of a process, whose new
    // plug-in object declares its parameters again.
    ComPtr<IUser> record;
    ASSERT_EQ(Add("Testwarden of configured", &record), S_OK);
    ASSERT_EQ(PutValue(record.get(), "Monitor_Parameter", "fail"), S_OK);
    ComPtr<IServiceMonitor> monitor = ServingObject(record.get());
    ASSERT_TRUE(monitor);
    EXPECT_EQ(monitor->Monitor(record.get()), E_FAIL);
    EXPECT_EQ(ValueOf(record.get(), "Monitor_Parameter"), "fail");

    // A record that lacks the declarations (imported from a bare file) gets them.
    const std::filesystem::path file = home.path() / "bare.Mnt";
    WriteFile(file, R"({"format":"ospreon-monitors","version":1,"monitors":[
        {"name":"Testwarden of bare","type":"Testwarden",
         "parameters":[["Status","Disable"],["Monitor_Parameter","fail"]]}]})");
    ComPtr<IUserFile> files = CreateObject<IUserFile>(CLSID_UserFile);
    com::Bstr path(file.string());
    ASSERT_EQ(files->Import(path.get()), S_OK);
    ComPtr<IUser> bare = OpenOrFail("Testwarden of bare");
    ASSERT_TRUE(ServingObject(bare.get()));
    EXPECT_EQ(EntriesOf(bare.get()), (Entries{{"Status", "Disable"},
                                              {"Monitor_Parameter", "fail"},
                                              {"DisplayName", "Scripted Result"},
                                              {"Monitor_Voice", ""}}));
}

TEST_F(UserFunc, PluginDefaultAppliesThroughTheLiveRecord)
{
    ComPtr<IUser> record;
    ASSERT_EQ(Add("Testwarden of defaults", &record), S_OK);
    ASSERT_EQ(PutValue(record.get(), "Monitor_Parameter", "broken"), S_OK);
    HRESULT hr = S_OK;
    ASSERT_EQ(ValueOf(record.get(), "Monitor_LogFile", &hr), std::nullopt);
    EXPECT_EQ(hr, DISP_E_UNKNOWNNAME);

    // Without "Monitor_LogFile" the plug-in logs where its default says.
    ComPtr<IServiceMonitor> monitor = ServingObject(record.get());
    ASSERT_TRUE(monitor);
    EXPECT_EQ(monitor->Monitor(record.get()), E_FAIL);
    EXPECT_NE(ReadFile(home.path() / "log" / "Testwarden.log")
                  .find("Testwarden Monitor found trouble: broken"),
              std::string::npos);

    // The log path follows the record in hand at each hand-out.
    const std::filesystem::path custom = home.path() / "custom.log";
    ASSERT_EQ(PutValue(record.get(), "Monitor_LogFile", custom.string()), S_OK);
    monitor = ServingObject(record.get());
    EXPECT_EQ(monitor->Monitor(record.get()), E_FAIL);
    EXPECT_NE(ReadFile(custom).find("Testwarden Monitor found trouble: broken"), std::string::npos);
}

TEST_F(UserFunc, TypesWithoutAServingClassFailClearly)
{
    ComPtr<IUser> builtIn;
    ASSERT_EQ(Add("Pagewarden of site", &builtIn), S_OK);
    ComPtr<IDispatch> object;
    EXPECT_EQ(builtIn->get_UserFunc(object.put()), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_FALSE(object);

    // A type listed under the plug-in key whose class is not registered: Add keeps
    // the record (its plug-in can declare later), UserFunc says why it cannot serve.
    registry::Key key;
    ASSERT_EQ(RegCreateKeyEx(HKEY_LOCAL_MACHINE,
                             "SOFTWARE\\Brackwater\\RELAYMOOR\\Plugin\\"
                             "{584A0822-C255-11D3-9CCC-00A0246E266E}\\Ghostwarden",
                             0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(registry::SetString(key.get(), nullptr, "{0BADC0DE-0000-4000-8000-000000000001}"),
              ERROR_SUCCESS);
    ComPtr<IUser> ghost;
    ASSERT_EQ(Add("ghostwarden of haunt", &ghost), S_OK);
    EXPECT_EQ(EntriesOf(ghost.get()), (Entries{{"Status", "Disable"}}));
    EXPECT_EQ(ghost->get_UserFunc(object.put()), REGDB_E_CLASSNOTREG);
}

TEST_F(UserFunc, PluginObjectsGoWithTheLastServiceObject)
{
    {
        ComPtr<IUser> record;
        ASSERT_EQ(Add("Testwarden of kept", &record), S_OK);
        ASSERT_TRUE(ServingObject(record.get()));
    }
    store.reset();
    CoFreeUnusedLibraries();
    // The plug-in module unloads: nothing of the service holds its object any more.
    EXPECT_EQ(::dlopen(TestPluginModule().c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr);
}

} // namespace
} // namespace ospreon::test
