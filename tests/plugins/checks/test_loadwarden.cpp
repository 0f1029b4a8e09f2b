// Loadwarden: the processor load over the window since the check's previous sample
// against the record's threshold; the counter is set up once, at creation.

#include <chrono>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "plugins/loadwarden/loadwarden_check.h"
#include "tests/plugins/checks/check_support.h"

namespace ospreon::test {
namespace {

namespace fs = std::filesystem;
using loadwarden::LoadwardenCheck;
using namespace std::chrono_literals;

TEST(LoadwardenModule, RegistersIsCreatedByProgIdAndDeclaresOnce)
{
    ExpectRegisteredModuleDeclaresOnce({
        "Loadwarden",
        MakeGuid("623FFE1D-B977-4F12-A86D-CA0EB29DE808"),
        {"put_InfoName(8,DisplayName)", "put_InfoVal(DisplayName,CPU Usage Threshold (%))",
         "put_InfoVal(Monitor_Parameter,20)", "put_InfoName(8,Monitor_Voice)",
         "put_InfoVal(Monitor_Voice,)"},
        {"DisplayName", "Monitor_Parameter", "Monitor_Voice"},
        [](IServiceMonitor* monitor, const fs::path& logFile) {
            auto record = FakeUser::Create("Loadwarden of probe", "Loadwarden");
            EXPECT_EQ(monitor->Monitor(record.get()), S_OK) << "no threshold is 9999";
            EXPECT_EQ(ReadLogLines(logFile), LinesOf({}));
        },
    });
}

// A stat file of our making: the machine's busy and idle time so far, in ticks.
class LoadwardenFabricated : public CheckTest
{
protected:
    void Stat(std::uint64_t busy, std::uint64_t idle)
    {
        // busy is split over user, system and softirq; iowait counts as idle.
        const std::uint64_t user = busy / 2, system = busy / 4, softirq = busy - user - system;
        std::ofstream(Root() / "stat")
            << "cpu  " << user << " 0 " << system << " " << idle - idle / 5 << " " << idle / 5
            << " 0 " << softirq << " 0 0 0\n"
            << "cpu0 1 2 3 4 5 6 7 8 0 0\nintr 12345 0 0\n";
    }
    fs::path Root() const { return root.path(); }

    TempDir root;
    ScopedEnv rootVariable{"OSPREON_TEST_PROC_ROOT", root.path().string()};
};

TEST_F(LoadwardenFabricated, ComparesTheWindowsLoadWithTheThreshold)
{
    struct Case
    {
        const char* name;
        std::optional<std::string> threshold;
        std::uint64_t busy, idle; // over the window
        HRESULT hr;
        std::vector<std::string> messages;
    };
    const Case cases[] = {
        {"load at the threshold fails",
         "50",
         50,
         50,
         E_FAIL,
         {"CPU Usage is 50 percent, greater than Threshold 50 percent\n"}},
        {"load below the threshold passes", "50", 49, 51, S_OK, {}},
        {"a fraction is rounded down", "50", 1999, 2001, S_OK, {}},
        {"the threshold is logged as stored",
         " 50 %",
         60,
         40,
         E_FAIL,
         {"CPU Usage is 60 percent, greater than Threshold  50 % percent\n"}},
        {"threshold 0 fails an idle machine",
         "0",
         0,
         100,
         E_FAIL,
         {"CPU Usage is 0 percent, greater than Threshold 0 percent\n"}},
        {"a threshold without a number is 0",
         "abc",
         10,
         90,
         E_FAIL,
         {"CPU Usage is 10 percent, greater than Threshold abc percent\n"}},
        {"no threshold is 9999", std::nullopt, 100, 0, S_OK, {}},
        {"a window without time has no value",
         "50",
         0,
         0,
         E_FAIL,
         {"Failure in PdhGetFormattedCounterValue."}},
        {"a full machine",
         "100",
         400,
         0,
         E_FAIL,
         {"CPU Usage is 100 percent, greater than Threshold 100 percent\n"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(logFile);
        user = FakeUser::Create();
        if (c.threshold)
            user->Set("Monitor_Parameter", *c.threshold);
        Stat(100'000, 300'000);
        LoadwardenCheck check;
        ASSERT_TRUE(check.ready());
        Stat(100'000 + c.busy, 300'000 + c.idle);

        EXPECT_EQ(check.Monitor(user.get()), c.hr);
        EXPECT_EQ(LogLines(), LinesOf(c.messages));
    }
}

TEST_F(LoadwardenFabricated, EachCallMeasuresFromTheCheckOwnPreviousSample)
{
    user->Set("Monitor_Parameter", "50");
    Stat(0, 1000);
    LoadwardenCheck first;
    Stat(100, 1000); // a fully busy window before the second check starts
    LoadwardenCheck second;
    Stat(100, 1100);
    EXPECT_EQ(first.Monitor(user.get()), E_FAIL) << "creation to now: 50 percent";
    EXPECT_EQ(second.Monitor(user.get()), S_OK) << "its own creation to now: 0 percent";
    Stat(130, 1170);
    EXPECT_EQ(first.Monitor(user.get()), S_OK) << "since the previous call: 30 percent";
    Stat(200, 1200);
    EXPECT_EQ(first.Monitor(user.get()), E_FAIL);
    EXPECT_EQ(LogLines(),
              LinesOf({"CPU Usage is 50 percent, greater than Threshold 50 percent\n",
                       "CPU Usage is 70 percent, greater than Threshold 50 percent\n"}));
}

TEST_F(LoadwardenFabricated, ACounterNotSetUpFailsEveryCallWithoutALine)
{
    struct Case
    {
        const char* name;
        std::optional<std::string> stat; // nullopt: no file
        std::vector<std::string> messages;
    };
    const Case cases[] = {
        {"no stat file", std::nullopt, {"Could not open PDH query."}},
        {"no total line",
         "cpu0 1 2 3 4\nintr 1 2\n",
         {"PDH_CSTATUS_NO_COUNTER", "Failed to PdhAddCounter."}},
        {"a total line without its idle time",
         "cpu  1 2 3\n",
         {"PDH_CSTATUS_NO_COUNTER", "Failed to PdhAddCounter."}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(logFile);
        fs::remove(Root() / "stat");
        if (c.stat)
            std::ofstream(Root() / "stat") << *c.stat;
        LoadwardenCheck check;
        EXPECT_FALSE(check.ready());
        EXPECT_EQ(LogLines(), LinesOf(c.messages));

        Stat(100, 100); // readable from now on, but the check was decided at creation
        EXPECT_EQ(check.Monitor(user.get()), E_FAIL);
        EXPECT_EQ(check.Monitor(user.get()), E_FAIL);
        EXPECT_EQ(LogLines(), LinesOf(c.messages));
        EXPECT_TRUE(user->Calls().empty()) << "the record is not read";
    }
}

TEST_F(LoadwardenFabricated, ACollectionThatFailsIsLoggedAndTheNextOneWorks)
{
    user->Set("Monitor_Parameter", "50");
    Stat(0, 100);
    LoadwardenCheck check;
    fs::remove(Root() / "stat");
    EXPECT_EQ(check.Monitor(user.get()), E_FAIL);
    std::ofstream(Root() / "stat") << "intr 1 2\n";
    EXPECT_EQ(check.Monitor(user.get()), E_FAIL);
    Stat(60, 140);
    EXPECT_EQ(check.Monitor(user.get()), E_FAIL);
    EXPECT_EQ(LogLines(),
              LinesOf({"Error in PdhCollectQueryData.", "Error in PdhCollectQueryData.",
                       "CPU Usage is 60 percent, greater than Threshold 50 percent\n"}));
}

TEST_F(LoadwardenFabricated, AFaultReadingTheThresholdFails)
{
    user->FaultOn("Monitor_Parameter");
    Stat(0, 100);
    LoadwardenCheck check;
    Stat(10, 190);
    EXPECT_EQ(check.Monitor(user.get()), E_FAIL);
    EXPECT_EQ(LogLines(), LinesOf({"Get Service User Parameter Exception\n",
                                   "Get Parameter Monitor_Parameter failure\n"}));
}

// The kernel's own figures: the "cpu " line's busy and total ticks, and a process's
// user and system ticks.
struct Ticks
{
    std::uint64_t busy = 0, total = 0;
};

Ticks MachineTicks()
{
    std::ifstream stat("/proc/stat");
    std::string cpu;
    std::uint64_t user, nice, system, idle, iowait, irq, softirq, steal;
    stat >> cpu >> user >> nice >> system >> idle >> iowait >> irq >> softirq >> steal;
    const std::uint64_t busy = user + nice + system + irq + softirq + steal;
    return {busy, busy + idle + iowait};
}

std::uint64_t ProcessTicks(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    // Fields after the ")" that ends the command name: state is field 3, utime 14, stime 15.
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    std::uint64_t ticks = 0;
    for (int number = 3; number <= 15 && fields >> field; ++number) {
        if (number >= 14)
            ticks += std::stoull(field);
    }
    return ticks;
}

// A child that keeps one processor busy until it is killed.
class BusyChild
{
public:
    BusyChild() : m_pid(::fork())
    {
        if (m_pid == 0) {
            volatile std::uint64_t spin = 0;
            for (;;)
                spin = spin + 1;
        }
    }
    ~BusyChild()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    BusyChild(const BusyChild&) = delete;
    BusyChild& operator=(const BusyChild&) = delete;
    pid_t pid() const { return m_pid; }

private:
    pid_t m_pid;
};

// The real kernel counter; nothing else of the suite runs beside it (SERIAL).
class LoadwardenRealLoad : public CheckTest
{};

TEST_F(LoadwardenRealLoad, ABusyChildRaisesTheMeasuredLoadOfTheNextWindow)
{
    // Threshold 0 fails every call, so the line tells the measured load.
    user->Set("Monitor_Parameter", "0");
    const Ticks before = MachineTicks();
    LoadwardenCheck check;
    ASSERT_TRUE(check.ready());
    BusyChild child;
    ASSERT_GT(child.pid(), 0);
    std::this_thread::sleep_for(1s);
    const std::uint64_t childTicks = ProcessTicks(child.pid());
    EXPECT_EQ(check.Monitor(user.get()), E_FAIL);
    const Ticks after = MachineTicks();

    const std::vector<std::string> lines = LogLines();
    ASSERT_EQ(lines.size(), 1u);
    const std::string marker = "CPU Usage is ";
    const std::size_t at = lines[0].find(marker);
    ASSERT_NE(at, std::string::npos) << lines[0];
    const int measured = std::stoi(lines[0].substr(at + marker.size()));
    EXPECT_EQ(LogLines(), LinesOf({"CPU Usage is " + std::to_string(measured) +
                                   " percent, greater than Threshold 0 percent\n"}));

    const double total = static_cast<double>(after.total - before.total);
    ASSERT_GT(total, 0);
    const double kernelLoad = static_cast<double>(after.busy - before.busy) * 100 / total;
    const double childShare = static_cast<double>(childTicks) * 100 / total;
    EXPECT_NEAR(measured, kernelLoad, 5) << "the machine's load over the same window";
    EXPECT_GE(measured + 5, childShare) << "the child's own share of the window";
    EXPECT_GT(childShare, 10) << "the child kept a processor busy";
}

} // namespace
} // namespace ospreon::test
