#pragma once
// A temporary OSPREON_HOME with the service library and the test plug-in registered
// (each by its own DllRegisterServer) and COM initialised, plus short ways to
// reach records through the service objects as the console does.

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "interfaces/guids.h"
#include "interfaces/user.h"
#include "interfaces/user_ref.h"
#include "interfaces/user_store.h"
#include "platform/com/activation.h"
#include "platform/com/com_ptr.h"
#include "service/store/record_data.h"
#include "tests/support/temp_home.h"

namespace ospreon::test {

using com::ComPtr;
using Entries = std::vector<std::pair<std::string, std::string>>;

// Loads the module at `path`, calls its DllRegisterServer and unloads it.
HRESULT RegisterModule(const std::filesystem::path& path);

// Lists the types of the other bundled modules under the plug-in key as their
// registration lists them, without a class: no plug-in object serves them here.
void RegisterBundledTypeNames();
std::filesystem::path ServiceLibrary();   // <build>/lib/libwardenhost.so
std::filesystem::path TestPluginModule(); // <build>/testmodules/Testwarden.so

template <class T> ComPtr<T> CreateObject(REFCLSID clsid)
{
    ComPtr<T> object;
    EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, uuidof<T>(), object.putVoid()),
              S_OK);
    return object;
}

class ServiceTest : public testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    // A reference naming `name`, its provider set as the console sets it.
    ComPtr<IUserRef> Ref(const std::string& name, const char* provider = kUserProvider);
    // Open / Add the record; on success `record` is the live IUser the reference holds.
    HRESULT Open(const std::string& name, ComPtr<IUser>* record = nullptr);
    HRESULT Add(const std::string& name, ComPtr<IUser>* record = nullptr);
    HRESULT Remove(const std::string& name);
    ComPtr<IUser> OpenOrFail(const std::string& name);
    LONG Count();

    // Every record as the store holds it, read directly: for "nothing changed".
    std::vector<store::RecordData> StoredRecords();

    TempHome home;
    ComPtr<IUserStore> store;
};

// The record's ordered entries through InfoNumber, InfoName and UserInfo.
Entries EntriesOf(IUser* record);
// InfoVal get as text; nullopt with the HRESULT when it fails.
std::optional<std::string> ValueOf(IUser* record, const std::string& key, HRESULT* hr = nullptr);
HRESULT PutValue(IUser* record, const std::string& key, const std::string& value);
std::string NameOf(IUser* record);
std::string ReadFile(const std::filesystem::path& path);
void WriteFile(const std::filesystem::path& path, const std::string& content);

} // namespace ospreon::test
