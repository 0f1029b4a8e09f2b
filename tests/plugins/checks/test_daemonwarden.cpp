// Daemonwarden: one service of the system's service manager, named as
// "<name> --- <description>" with letter case ignored, must be listed and running.

#include <array>
#include <cctype>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <dlfcn.h>

#include "platform/com/type_library.h"
#include "platform/os/service_manager.h"
#include "platform/registry/registry.h"
#include "plugins/daemonwarden/daemonwarden_check.h"
#include "tests/plugins/checks/check_support.h"
#include "tests/support/private_bus.h"

namespace ospreon::test {
namespace {

namespace fs = std::filesystem;
using daemonwarden::DaemonwardenCheck;

constexpr CLSID kClsid = MakeGuid("C95A6CFD-816E-4AB7-ABA4-96DA2D7FDED0");

TEST(DaemonwardenModule, RegistersIsCreatedByProgIdAndDeclaresOnce)
{
    ExpectRegisteredModuleDeclaresOnce({
        "Daemonwarden",
        kClsid,
        {"put_InfoName(8,DisplayName)", "put_InfoVal(DisplayName,ServiceName)",
         "put_InfoName(8,Monitor_Parameter)", "put_InfoVal(Monitor_Parameter,YourServiceName)",
         "put_InfoName(8,Monitor_Voice)", "put_InfoVal(Monitor_Voice,)"},
        {"DisplayName", "Monitor_Parameter", "Monitor_Voice"},
        [](IServiceMonitor* monitor, const fs::path& logFile) {
            TempDir dir;
            ScopedEnv noBus("DBUS_SYSTEM_BUS_ADDRESS",
                            "unix:path=" + (dir.path() / "nothing").string());
            auto record = FakeUser::Create("Daemonwarden of probe", "Daemonwarden");
            EXPECT_EQ(monitor->Monitor(record.get()), E_FAIL);
            EXPECT_EQ(ReadLogLines(logFile),
                      LinesOf({"Open service manager failure,err code=2\n"}));
        },
    });
}

TEST(DaemonwardenModule, TypeLibraryDescribesTheUnregisteredFormClass)
{
    TempHome home;
    const std::string path = (BuildDir() / "lib" / "Daemonwarden.so").string();
    com::ComPtr<ITypeLib> library;
    ASSERT_EQ(LoadTypeLib(com::Bstr(path).get(), library.put()), S_OK);
    const com::TypeLibDesc* desc = nullptr;
    ASSERT_EQ(library->GetDescriptor(&desc), S_OK);
    EXPECT_STREQ(desc->name, "DAEMONWARDENLib");
    EXPECT_STREQ(desc->helpString, "DaemonwardenMonitor 1.0 Type Library");
    EXPECT_EQ(com::GuidToString(desc->libid), "{51B4AA9C-A403-4CD2-AD2D-F52673975953}");

    std::vector<std::string> coclasses;
    for (const com::CoClassDesc& coclass : desc->coclasses)
        coclasses.push_back(std::string(coclass.name) + " " + com::GuidToString(coclass.clsid) +
                            " \"" + coclass.helpString + "\" " + coclass.defaultInterface->name);
    EXPECT_EQ(coclasses, (std::vector<std::string>{
                             "DaemonwardenMonitor {C95A6CFD-816E-4AB7-ABA4-96DA2D7FDED0} "
                             "\"DaemonwardenMonitor Class\" IServiceMonitor",
                             "Form {8E523527-D601-42EE-8A65-BE0F4AED667A} \"Form Class\" IForm"}));
    std::vector<std::string> interfaces;
    for (const com::InterfaceDesc* itf : desc->interfaces)
        interfaces.push_back(std::string(itf->name) + " " + com::GuidToString(itf->iid) + " \"" +
                             itf->helpString + "\" " + std::to_string(itf->members.size()));
    EXPECT_EQ(interfaces,
              (std::vector<std::string>{
                  "IServiceMonitor {584A0822-C255-11D3-9CCC-00A0246E266E} \"IServiceMonitor "
                  "Interface\" 7",
                  "IUser {24ADEE09-682A-11D3-9CA3-00A0246E266E} \"IUser Interface\" 13",
                  "IForm {A38BD3CA-2BB5-4F7F-B939-5CB24887A12D} \"IForm Interface\" 0"}));

    // Registering the module registers no class for Form.
    void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << ::dlerror();
    auto registerServer = reinterpret_cast<HRESULT (*)()>(::dlsym(module, "DllRegisterServer"));
    ASSERT_NE(registerServer, nullptr);
    EXPECT_EQ(registerServer(), S_OK);
    ::dlclose(module);
    registry::Key key;
    EXPECT_EQ(RegOpenKeyEx(HKEY_CLASSES_ROOT, "CLSID\\{C95A6CFD-816E-4AB7-ABA4-96DA2D7FDED0}", 0,
                           KEY_READ, key.put()),
              ERROR_SUCCESS);
    EXPECT_EQ(RegOpenKeyEx(HKEY_CLASSES_ROOT, "CLSID\\{8E523527-D601-42EE-8A65-BE0F4AED667A}", 0,
                           KEY_READ, key.put()),
              ERROR_FILE_NOT_FOUND);
}

// systemd's manager stood in for by the stub on a private system bus, shared by the
// suite; each test writes the units the stub answers with.
class DaemonwardenBus : public CheckTest
{
protected:
    // name, description, load, active, sub state, and "unloaded" for a unit the
    // manager does not list
    using Unit = std::array<std::string, 6>;

    static void SetUpTestSuite()
    {
        if (FindDbusDaemon().empty())
            return;
        s_dir = std::make_unique<TempDir>();
        s_bus = std::make_unique<PrivateBus>();
        WriteUnits({});
        s_bus->StartService({(BuildDir() / "bin" / "systemd_manager_stub").string(), UnitsFile()});
    }
    static void TearDownTestSuite()
    {
        s_bus.reset();
        s_dir.reset();
    }
    void SetUp() override
    {
        if (!s_bus)
            GTEST_SKIP() << "dbus-daemon is not installed; cannot start a private system bus";
        CheckTest::SetUp();
    }

    static std::string UnitsFile() { return (s_dir->path() / "units").string(); }
    static void WriteUnits(const std::vector<Unit>& units)
    {
        std::ofstream file(UnitsFile());
        for (const Unit& unit : units)
            file << unit[0] << '\t' << unit[1] << '\t' << unit[2] << '\t' << unit[3] << '\t'
                 << unit[4] << '\t' << unit[5] << '\n';
    }

    HRESULT MonitorTarget(const std::optional<std::string>& target)
    {
        fs::remove(logFile);
        user = FakeUser::Create();
        if (target)
            user->Set("Monitor_Parameter", *target);
        return DaemonwardenCheck().Monitor(user.get());
    }

    static inline std::unique_ptr<TempDir> s_dir;
    static inline std::unique_ptr<PrivateBus> s_bus;
};

std::string LongDescription()
{
    std::string text;
    while (text.size() < 2000)
        text += "Long described service " + std::to_string(text.size()) + ". ";
    return text;
}

TEST_F(DaemonwardenBus, FindsTheServiceByNameAndDescriptionAndWantsItRunning)
{
    const std::string cron = "cron --- Regular background program processing daemon";
    const std::string longText = ("long --- " + LongDescription()).substr(0, 1023);
    WriteUnits({
        {"cron.service", "Regular background program processing daemon", "loaded", "active",
         "running"},
        {"wardenhost.service", "Ospreon monitor host", "loaded", "active", "running"},
        {"sshd.service", "OpenBSD Secure Shell server", "loaded", "activating", "start-pre"},
        {"nginx.service", "Web server", "loaded", "reloading", "reload"},
        {"postfix.service", "Mail transport agent", "loaded", "deactivating", "stop-sigterm"},
        {"old.service", "Stopped service", "loaded", "inactive", "dead"},
        {"broken.service", "Failed service", "loaded", "failed", "failed"},
        {"twin.service", "Twin", "loaded", "inactive", "dead"},
        {"twin.service", "Twin", "loaded", "active", "running"},
        {"long.service", LongDescription(), "loaded", "active", "running"},
        {"cron.socket", "Cron socket", "loaded", "active", "running"},
    });
    struct Case
    {
        const char* name;
        std::optional<std::string> target;
        HRESULT hr;
        std::vector<std::string> messages;
    };
    const Case cases[] = {
        {"running", cron, S_OK, {}},
        {"other letter case", "CRON --- regular BACKGROUND program processing DAEMON", S_OK, {}},
        {"the bare service name never matches",
         "cron",
         E_FAIL,
         {"active cron does not exists in the service list\n"}},
        {"the unit's suffix is not part of the name",
         "cron.service --- Regular background program processing daemon",
         E_FAIL,
         {"active cron.service --- Regular background program processing daemon does not exists "
          "in the service list\n"}},
        {"a trailing blank",
         cron + " ",
         E_FAIL,
         {"active " + cron + "  does not exists in the service list\n"}},
        {"start pending",
         "SSHD --- OpenBSD Secure Shell server",
         E_FAIL,
         {"SSHD --- OpenBSD Secure Shell server Exists,but not running\n"}},
        {"reloading, as good as paused",
         "nginx --- Web server",
         E_FAIL,
         {"nginx --- Web server Exists,but not running\n"}},
        {"stop pending",
         "postfix --- Mail transport agent",
         E_FAIL,
         {"postfix --- Mail transport agent Exists,but not running\n"}},
        {"stopped",
         "old --- Stopped service",
         E_FAIL,
         {"old --- Stopped service Exists,but not running\n"}},
        {"failed",
         "broken --- Failed service",
         E_FAIL,
         {"broken --- Failed service Exists,but not running\n"}},
        {"the first listed of two decides",
         "twin --- Twin",
         E_FAIL,
         {"twin --- Twin Exists,but not running\n"}},
        {"only the first 1023 characters of a service count", longText, S_OK, {}},
        {"a longer text does not match",
         longText + "x",
         E_FAIL,
         {"active " + longText + "x does not exists in the service list\n"}},
        {"other units are not services",
         "cron.socket --- Cron socket",
         E_FAIL,
         {"active cron.socket --- Cron socket does not exists in the service list\n"}},
        {"no target: the default Wardenhost",
         std::nullopt,
         E_FAIL,
         {"active Wardenhost does not exists in the service list\n"}},
        {"the declared placeholder",
         "YourServiceName",
         E_FAIL,
         {"active YourServiceName does not exists in the service list\n"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(MonitorTarget(c.target), c.hr);
        EXPECT_EQ(LogLines(), LinesOf(c.messages));
    }
}

TEST_F(DaemonwardenBus, ServicesTheManagerDoesNotListAreAskedForByName)
{
    WriteUnits({
        {"cron.service", "Regular background program processing daemon", "loaded", "active",
         "running"},
        // Listed only because something refers to it: it has no unit file.
        {"gone.service", "Gone", "not-found", "inactive", "dead"},
        // Stopped and disabled: unloaded, so ListUnits leaves it out.
        {"backup.service", "Nightly backup", "loaded", "inactive", "dead", "unloaded"},
        {"shield.service", "Masked service", "masked", "inactive", "dead", "unloaded"},
        // Started between the listing and the question.
        {"late.service", "Late starter", "loaded", "active", "running", "unloaded"},
        {"ghost.service", "Ghost", "not-found", "inactive", "dead", "unloaded"},
    });
    struct Case
    {
        std::string target;
        HRESULT hr;
        std::vector<std::string> messages;
    };
    const auto missing = [](const std::string& target) {
        return "active " + target + " does not exists in the service list\n";
    };
    const Case cases[] = {
        {"backup --- Nightly backup",
         E_FAIL,
         {"backup --- Nightly backup Exists,but not running\n"}},
        {"backup --- NIGHTLY BACKUP",
         E_FAIL,
         {"backup --- NIGHTLY BACKUP Exists,but not running\n"}},
        {"shield --- Masked service",
         E_FAIL,
         {"shield --- Masked service Exists,but not running\n"}},
        {"late --- Late starter", S_OK, {}},
        {"backup --- Weekly backup", E_FAIL, {missing("backup --- Weekly backup")}},
        {"gone --- Gone", E_FAIL, {missing("gone --- Gone")}},
        {"ghost --- Ghost", E_FAIL, {missing("ghost --- Ghost")}},
        {"nothing --- nothing.service", E_FAIL, {missing("nothing --- nothing.service")}},
        {"no such --- Thing", E_FAIL, {missing("no such --- Thing")}},
        {"backup", E_FAIL, {missing("backup")}},
        {"cron --- Cron", E_FAIL, {missing("cron --- Cron")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target);
        EXPECT_EQ(MonitorTarget(c.target), c.hr);
        EXPECT_EQ(LogLines(), LinesOf(c.messages));
    }
}

TEST_F(DaemonwardenBus, AFaultReadingTheTargetLooksForNoService)
{
    WriteUnits({{"MMMMMMMXXXX.service", "", "loaded", "active", "running"}});
    user->FaultOn("Monitor_Parameter");
    EXPECT_EQ(DaemonwardenCheck().Monitor(user.get()), E_FAIL);
    EXPECT_EQ(LogLines(), LinesOf({"Get Service User Parameter Exception\n",
                                   "active MMMMMMMXXXX does not exists in the service list\n"}));
}

TEST_F(DaemonwardenBus, AManagerThatCannotListIsAnEnumerationFailure)
{
    fs::remove(UnitsFile()); // the stub answers ListUnits with FileNotFound
    EXPECT_EQ(MonitorTarget("cron --- Cron"), E_FAIL);
    EXPECT_EQ(LogLines(), LinesOf({"Emum service list failure,err code=2\n"}));
    EXPECT_TRUE(Read("Monitor_Parameter")) << "the target is read before the list fails";
}

// The check against buses the test sets up itself, or the real system bus.
class DaemonwardenSystem : public CheckTest
{};

TEST_F(DaemonwardenSystem, ABusWithoutTheManagerIsAnEnumerationFailure)
{
    if (FindDbusDaemon().empty())
        GTEST_SKIP() << "dbus-daemon is not installed; cannot start a private system bus";
    PrivateBus bus;
    user->Set("Monitor_Parameter", "cron --- Cron");
    EXPECT_EQ(DaemonwardenCheck().Monitor(user.get()), E_FAIL);
    EXPECT_EQ(LogLines(), LinesOf({"Emum service list failure,err code=71\n"}));
}

TEST_F(DaemonwardenSystem, NoBusIsAServiceManagerThatCannotBeOpened)
{
    TempDir dir;
    ScopedEnv noBus("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=" + (dir.path() / "nothing").string());
    user->Set("Monitor_Parameter", "cron --- Cron");
    EXPECT_EQ(DaemonwardenCheck().Monitor(user.get()), E_FAIL);
    EXPECT_EQ(LogLines(), LinesOf({"Open service manager failure,err code=2\n"}));
    EXPECT_TRUE(user->Calls().empty()) << "the record is not read";
}

TEST_F(DaemonwardenSystem, TheRealServiceManager)
{
    ScopedEnv systemBus("DBUS_SYSTEM_BUS_ADDRESS", std::nullopt);
    auto services = os::ListServices();
    if (!services)
        GTEST_SKIP() << "no system bus with systemd's manager: " << services.error().message;
    const os::ServiceInfo* running = nullptr;
    for (const os::ServiceInfo& service : *services) {
        if (service.running) {
            running = &service;
            break;
        }
    }
    if (!running)
        GTEST_SKIP() << "the system's manager lists no running service";

    std::string target = running->name + " --- " + running->displayName;
    for (char& c : target)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    user->Set("Monitor_Parameter", target);
    EXPECT_EQ(DaemonwardenCheck().Monitor(user.get()), S_OK) << target;
    user->Set("Monitor_Parameter", running->name);
    EXPECT_EQ(DaemonwardenCheck().Monitor(user.get()), E_FAIL);
    EXPECT_EQ(LogLines(),
              LinesOf({"active " + running->name + " does not exists in the service list\n"}));
}

} // namespace
} // namespace ospreon::test
