// Registration beside everything else: a registration that changes nothing writes
// nothing, registering and setting up again never hides a type from another
// process, setups started together agree, a type whose module is gone can be
// unregistered, and `registry delete`.

#include <future>
#include <thread>

#include <gtest/gtest.h>

#include "tests/service/ctl/ctl_fixture.h"
#include "tests/support/raw_database.h"

namespace ospreon::test {
namespace {

namespace fs = std::filesystem;
using CtlRegistration = ServiceHomeTest;

constexpr char kTestwardenClass[] = "HKCR\\CLSID\\{7816BA25-2BA3-40A6-B521-E735D4A4FD16}";

TEST_F(CtlRegistration, RegisteringAndSettingUpAgainWriteNothing)
{
    RawDatabase registry(home() / "registry.db");
    RawDatabase store(home() / "wardenhost.db");
    const std::string registryVersion = registry.Scalar("PRAGMA data_version");
    const std::string storeVersion = store.Scalar("PRAGMA data_version");
    MustRun({"register", TestwardenModule().string()});
    MustRun({"setup"});
    EXPECT_EQ(registry.Scalar("PRAGMA data_version"), registryVersion);
    EXPECT_EQ(store.Scalar("PRAGMA data_version"), storeVersion);
}

TEST_F(CtlRegistration, RegisteringAgainNeverHidesTheTypeFromAnotherProcess)
{
    MustRun({"add", "Testwarden", "steady"});
    MustRun({"set", "Testwarden of steady", "Monitor_Parameter", "ok"});
    auto registering = std::async(std::launch::async, [this] {
        for (int round = 0; round < 6; ++round) {
            // A module at another path changes the registration each time.
            const fs::path copy = home() / ("Testwarden" + std::to_string(round % 2) + ".so");
            fs::copy_file(TestwardenModule(), copy, fs::copy_options::overwrite_existing);
            if (RunCtl({"register", copy.string()}).status != 0 || RunCtl({"setup"}).status != 0)
                return false;
        }
        return true;
    });
    int runs = 0;
    std::vector<std::string> failures;
    while (registering.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
        const std::vector<std::string> args = {"test", "Testwarden of steady"};
        const CtlRun run = RunCtl(args);
        ++runs;
        if (run.status != 0)
            failures.push_back(Describe(args, run));
    }
    EXPECT_TRUE(registering.get()) << "a registration or setup failed";
    EXPECT_GT(runs, 0);
    EXPECT_TRUE(failures.empty()) << failures.size() << " of " << runs
                                  << " runs failed; the first:\n"
                                  << (failures.empty() ? "" : failures.front());
}

TEST(CtlSetupsAtOnce, AllSucceedAndAgreeOnOneControlPassword)
{
    TempHome home;
    std::vector<std::future<CtlRun>> setups;
    for (int i = 0; i < 4; ++i)
        setups.push_back(std::async(std::launch::async, [] { return RunCtl({"setup"}); }));
    int filled = 0;
    for (auto& setup : setups) {
        const CtlRun run = setup.get();
        EXPECT_EQ(run.status, 0) << Describe({"setup"}, run);
        if (run.out.find("config: set LogFile, BackupFile, ControlPass\n") != std::string::npos)
            ++filled;
    }
    EXPECT_EQ(filled, 1) << "more than one setup wrote the defaults";
    EXPECT_EQ(MustRun({"config", "get", "ControlPass"}).size(), 25u); // 24 digits and a newline
}

TEST_F(CtlRegistration, ATypeWhoseModuleIsGoneIsUnregisteredWithEveryKey)
{
    MustRun({"unregister", "Testwarden"});
    TempDir elsewhere;
    const fs::path copy = elsewhere.path() / "Testwarden.so";
    fs::copy_file(TestwardenModule(), copy);
    MustRun({"register", copy.string()});
    fs::remove(copy);

    RunSteps({
        {{"unregister", "Testwarden"},
         0,
         "unregistered Testwarden (" + copy.string() + " is gone; its registration was removed)\n",
         ""},
    });
    for (const std::string& key :
         {std::string(kTestwardenClass), std::string("HKCR\\Testwarden.ServiceMonitor"),
          std::string("HKCR\\Testwarden.ServiceMonitor.1"),
          std::string("HKCR\\TypeLib\\{15A5893D-EE47-4E28-A4FB-3563EC437E99}"),
          std::string("HKLM\\SOFTWARE\\Brackwater\\RELAYMOOR\\Plugin\\"
                      "{584A0822-C255-11D3-9CCC-00A0246E266E}\\Testwarden"),
          std::string("HKLM\\SOFTWARE\\Brackwater\\RELAYMOOR\\Services\\Wardenhost\\"
                      "{584A0822-C255-11D3-9CCC-00A0246E266E}\\"
                      "{7816BA25-2BA3-40A6-B521-E735D4A4FD16}")}) {
        const CtlRun query = RunCtl({"registry", "query", key});
        EXPECT_EQ(query.err, "wardenctl: no registry key \"" + key + "\"\n") << key;
    }
}

TEST_F(CtlRegistration, AModuleRegistersTheFileItselfWhateverPathLoadedIt)
{
    TempDir elsewhere;
    const fs::path copy = elsewhere.path() / "Testwarden.so";
    fs::copy_file(TestwardenModule(), copy);
    const fs::path link = elsewhere.path() / "link.so";
    fs::create_symlink(copy, link);
    MustRun({"register", link.string()});
    EXPECT_EQ(
        MustRun({"registry", "query", std::string(kTestwardenClass) + "\\InprocServer32", ""}),
        fs::canonical(copy).string() + "\n");
}

TEST_F(CtlRegistration, RegistryDeleteRemovesAValueOrAKeyWithEverythingBelow)
{
    MustRun({"registry", "set", "HKLM\\SOFTWARE\\Scratch\\Inner", "Name", "x"});
    MustRun({"registry", "set", "HKLM\\SOFTWARE\\Scratch", "Other", "y"});
    RunSteps({
        {{"registry", "delete", "HKLM\\SOFTWARE\\Scratch", "Other"},
         0,
         "deleted the value \"Other\" of HKLM\\SOFTWARE\\Scratch\n",
         ""},
        {{"registry", "delete", "HKLM\\SOFTWARE\\Scratch", "Other"},
         3,
         "",
         "wardenctl: the registry key \"HKLM\\SOFTWARE\\Scratch\" has no value \"Other\"\n"},
        {{"registry", "delete", "HKLM\\SOFTWARE\\Scratch"},
         0,
         "deleted HKLM\\SOFTWARE\\Scratch\n",
         ""},
        {{"registry", "query", "HKLM\\SOFTWARE\\Scratch\\Inner"},
         3,
         "",
         "wardenctl: no registry key \"HKLM\\SOFTWARE\\Scratch\\Inner\"\n"},
        {{"registry", "delete", "HKLM"},
         2,
         "",
         "wardenctl: a root key cannot be deleted: \"HKLM\"\n"},
    });
}

} // namespace
} // namespace ospreon::test
