// wardenctl setup: the home folder, the registry seeds, the bundled plug-ins copied
// and registered, the configuration defaults; and a second run that changes nothing.
//
// Two of the bundled modules are copied from the build into a library folder given
// by OSPREON_LIB_DIR; the others are "not built" there.

#include <fstream>
#include <map>
#include <regex>

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "platform/registry/registry.h"
#include "tests/service/ctl/ctl_fixture.h"
#include "tests/support/raw_database.h"
#include "tests/support/scoped_env.h"

namespace ospreon::test {
namespace {

namespace fs = std::filesystem;

constexpr char kInterfaceKey[] = "HKLM\\SOFTWARE\\Brackwater\\RELAYMOOR\\Services\\Wardenhost\\"
                                 "{584A0822-C255-11D3-9CCC-00A0246E266E}";

std::string ReadBytes(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Every key of both roots with the values the registrations write, as lines.
void Dump(HKEY root, const std::string& path, std::vector<std::string>& out)
{
    registry::Key key;
    if (RegOpenKeyEx(root, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return;
    out.push_back(path);
    for (const char* name : {"", "ThreadingModel", "PluginName"}) {
        std::string value;
        if (registry::GetString(key.get(), name, value) == ERROR_SUCCESS)
            out.push_back(path + "|" + name + "=" + value);
    }
    for (DWORD i = 0;; ++i) {
        char name[512];
        DWORD size = sizeof name;
        if (RegEnumKeyEx(key.get(), i, name, &size, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        Dump(root, path.empty() ? name : path + "\\" + name, out);
    }
}

struct Snapshot
{
    std::vector<std::string> registry;
    std::map<std::string, std::string> config;
    std::map<std::string, fs::file_time_type> plugins;

    bool operator==(const Snapshot&) const = default;
};

Snapshot Take(const fs::path& home)
{
    Snapshot snapshot;
    Dump(HKEY_CLASSES_ROOT, "", snapshot.registry);
    Dump(HKEY_LOCAL_MACHINE, "", snapshot.registry);
    for (const char* name : {"LogFile", "BackupFile", "ControlPass"})
        snapshot.config[name] = MustRun({"config", "get", name});
    for (const fs::directory_entry& entry : fs::directory_iterator(home / "plugins"))
        snapshot.plugins[entry.path().filename().string()] = entry.last_write_time();
    return snapshot;
}

// A library folder holding the service library and two of the bundled plug-ins.
class CtlSetup : public ::testing::Test
{
protected:
    CtlSetup()
    {
        fs::create_symlink(BuildDir() / "lib" / "libwardenhost.so",
                           m_lib.path() / "libwardenhost.so");
        for (const char* module : {"Ramwarden.so", "Loadwarden.so"})
            fs::copy_file(BuildDir() / "lib" / module, m_lib.path() / module);
    }

    const fs::path& lib() const { return m_lib.path(); }

    TempHome m_home;
    TempDir m_lib;
    ScopedEnv m_libEnv{"OSPREON_LIB_DIR", m_lib.path().string()};
};

TEST_F(CtlSetup, PreparesTheHome)
{
    const std::string home = m_home.path().string();
    RunSteps({{{"setup"},
               0,
               "home: {home}\n"
               "service objects: registered " +
                   (lib() / "libwardenhost.so").string() +
                   "\n"
                   "plug-in Ramwarden.so: copied, registered {home}/plugins/Ramwarden.so\n"
                   "plug-in Loadwarden.so: copied, registered {home}/plugins/Loadwarden.so\n"
                   "plug-in Daemonwarden.so: not built\n"
                   "plug-in Pagewarden.so: not built\n"
                   "plug-in Volumewarden.so: not built\n"
                   "plug-in Relaywarden.so: not built\n"
                   "plug-in Mailboxwarden.so: not built\n"
                   "config: set LogFile, BackupFile, ControlPass\n",
               ""}});
    EXPECT_EQ(ReadBytes(m_home.path() / "plugins" / "Ramwarden.so"),
              ReadBytes(lib() / "Ramwarden.so"));
    RunSteps({
        // The modules registered their entries under the service's plug-in key.
        {{"registry", "query", kInterfaceKey},
         0,
         "[{623FFE1D-B977-4F12-A86D-CA0EB29DE808}]\n[{F63F544A-5F2F-4756-86A2-263709242D54}]\n",
         ""},
        {{"registry", "query", "HKCR\\.htm", ""}, 0, "htmlfile\n", ""},
        {{"registry", "query", "HKCR\\htmlfile\\shell\\open\\command", ""},
         0,
         "xdg-open \"%1\"\n",
         ""},
        // The copy is what is registered: the stand-in's class points into plugins/.
        {{"registry", "query",
          "HKCR\\CLSID\\{623FFE1D-B977-4F12-A86D-CA0EB29DE808}\\InprocServer32", ""},
         0,
         "{home}/plugins/Loadwarden.so\n",
         ""},
    });
}

TEST_F(CtlSetup, CreatesAMissingHomeForItsOwnerOnly)
{
    TempDir parent;
    const fs::path home = parent.path() / "deeper" / "ospreon";
    ScopedEnv env("OSPREON_HOME", home.string());
    ASSERT_EQ(RunCtl({"setup"}).status, 0);
    struct stat info
    {};
    ASSERT_EQ(::stat(home.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    EXPECT_TRUE(fs::is_directory(home / "log"));
    EXPECT_TRUE(fs::is_directory(home / "plugins"));
}

TEST_F(CtlSetup, SecondRunChangesNothing)
{
    ASSERT_EQ(RunCtl({"setup"}).status, 0);
    const Snapshot before = Take(m_home.path());
    RunSteps({{{"setup"},
               0,
               "home: {home}\n"
               "service objects: registered " +
                   (lib() / "libwardenhost.so").string() +
                   "\n"
                   "plug-in Ramwarden.so: registered {home}/plugins/Ramwarden.so\n"
                   "plug-in Loadwarden.so: registered {home}/plugins/Loadwarden.so\n"
                   "plug-in Daemonwarden.so: not built\n"
                   "plug-in Pagewarden.so: not built\n"
                   "plug-in Volumewarden.so: not built\n"
                   "plug-in Relaywarden.so: not built\n"
                   "plug-in Mailboxwarden.so: not built\n"
                   "config: complete\n",
               ""}});
    const Snapshot after = Take(m_home.path());
    EXPECT_EQ(after.registry, before.registry);
    EXPECT_EQ(after.config, before.config);
    EXPECT_EQ(after.plugins, before.plugins);
}

TEST_F(CtlSetup, KeepsWhatExistsAndRecopiesChangedModules)
{
    ASSERT_EQ(RunCtl({"setup"}).status, 0);
    const std::string password = MustRun({"config", "get", "ControlPass"});
    MustRun({"config", "set", "LogFile", "/var/log/ospreon/Wardenhost%w.log"});
    MustRun({"registry", "set", "HKCR\\htmlfile\\shell\\open\\command", "", "firefox \"%1\""});
    // Trailing bytes keep the module loadable and make it a different file.
    std::ofstream(lib() / "Loadwarden.so", std::ios::app | std::ios::binary) << "changed";

    const CtlRun rerun = RunCtl({"setup"});
    ASSERT_EQ(rerun.status, 0) << rerun.err;
    EXPECT_NE(rerun.out.find("plug-in Loadwarden.so: copied, registered"), std::string::npos)
        << rerun.out;
    EXPECT_NE(rerun.out.find("plug-in Ramwarden.so: registered"), std::string::npos) << rerun.out;
    EXPECT_EQ(ReadBytes(m_home.path() / "plugins" / "Loadwarden.so"),
              ReadBytes(lib() / "Loadwarden.so"));
    RunSteps({
        {{"config", "get", "ControlPass"}, 0, password, ""},
        {{"config", "get", "LogFile"}, 0, "/var/log/ospreon/Wardenhost%w.log\n", ""},
        {{"registry", "query", "HKCR\\htmlfile\\shell\\open\\command", ""},
         0,
         "firefox \"%1\"\n",
         ""},
    });
}

TEST_F(CtlSetup, MissingServiceLibraryIsUnavailable)
{
    TempDir empty;
    ScopedEnv env("OSPREON_LIB_DIR", empty.path().string());
    RunSteps({{{"setup"},
               3,
               "home: {home}\n",
               "wardenctl: the service objects are not built: no " +
                   (empty.path() / "libwardenhost.so").string() +
                   " (build the target ospreon_wardenhost)\n"}});
}

TEST_F(CtlSetup, OnceEveryRunHasEndedTheDatabaseFilesHoldEverythingWithoutTheirLogs)
{
    MustRun({"setup"});
    MustRun({"register", TestwardenModule().string()});
    MustRun({"registry", "set", "HKLM\\SOFTWARE\\Durable", "Kept", "in the file"});
    MustRun({"add", "Testwarden", "durable"});

    // Copies of the files alone, as a backup that leaves out -wal and -shm makes.
    TempDir copies;
    for (const char* name : {"registry.db", "wardenhost.db"})
        fs::copy_file(m_home.path() / name, copies.path() / name);
    RawDatabase registry(copies.path() / "registry.db");
    EXPECT_EQ(registry.Scalar("SELECT count(*) FROM keys WHERE name = 'Durable'"), "1");
    EXPECT_EQ(registry.Scalar("SELECT CAST(data AS TEXT) FROM key_values WHERE name = 'Kept'"),
              "in the file");
    RawDatabase store(copies.path() / "wardenhost.db");
    EXPECT_EQ(store.Scalar("SELECT name FROM records"), "Testwarden of durable");
}

} // namespace
} // namespace ospreon::test
