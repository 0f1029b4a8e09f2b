// Ramwarden: the memory load of the machine against a percentage, then the working
// set of the first process whose executable name starts with the record's name.

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "plugins/ramwarden/ramwarden_check.h"
#include "tests/plugins/checks/check_support.h"

extern char** environ;

namespace ospreon::test {
namespace {

namespace fs = std::filesystem;
using ramwarden::RamwardenCheck;

constexpr char kPercent[] = "Ext_Maximum Usuage Percentage";
constexpr char kName[] = "Monitor_Parameter";
constexpr char kSize[] = "Ext_The Memory Usage Not Extend (Kb)";

using Record = std::vector<std::pair<std::string, std::string>>;

// A process name of 259 characters, longer than any file name Linux allows.
std::string LongName259()
{
    std::string name = "LongNamed";
    while (name.size() < 259)
        name += static_cast<char>('a' + name.size() % 26);
    return name;
}

void WriteFile(const fs::path& path, const std::string& text)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

TEST(RamwardenModule, RegistersIsCreatedByProgIdAndDeclaresOnce)
{
    ExpectRegisteredModuleDeclaresOnce({
        "Ramwarden",
        MakeGuid("F63F544A-5F2F-4756-86A2-263709242D54"),
        {"put_InfoName(8,DisplayName)", "put_InfoVal(DisplayName,Process(Service) Name)",
         "put_InfoName(8,Monitor_Voice)", "put_InfoVal(Monitor_Voice,)",
         "put_InfoName(8,Ext_The Memory Usage Not Extend (Kb))",
         "put_InfoVal(Ext_The Memory Usage Not Extend (Kb),)",
         "put_InfoName(8,Ext_Maximum Usuage Percentage)",
         "put_InfoVal(Ext_Maximum Usuage Percentage,90)"},
        {"DisplayName", "Monitor_Voice", kSize, kPercent},
        [](IServiceMonitor* monitor, const fs::path& logFile) {
            auto record = FakeUser::Create("Ramwarden of probe", "Ramwarden");
            record->Set(kPercent, "abc");
            EXPECT_EQ(monitor->Monitor(record.get()), S_OK);
            EXPECT_EQ(ReadLogLines(logFile),
                      LinesOf({"Get Parameter [Ext_Maximum Usuage Percentage] failure,value=abc"}));
        },
    });
}

// A proc root of our making: a meminfo of a chosen load and a few processes.
class RamwardenFabricated : public CheckTest
{
protected:
    void SetUp() override
    {
        CheckTest::SetUp();
        AddProcess("101", "/usr/bin/holder", "VmRSS:\t    2048 kB\n");
        // A kernel thread: no executable, no working set.
        WriteFile(Root() / "102/comm", "idlethread\n");
        WriteFile(Root() / "102/status", "Name:\tidlethread\nState:\tI (idle)\n");
        // Processes whose status cannot be read: "locked", and namesakes of "holder"
        // that must not hide it, wherever they stand in the list.
        WriteFile(Root() / "103/comm", "locked\n");
        for (int pid = 201; pid <= 208; ++pid)
            WriteFile(Root() / std::to_string(pid) / "comm", "holder\n");
        AddProcess("104", "/opt/" + LongName259() + std::string(41, 'q'), "VmRSS:\t4096 kB\n");
    }

    fs::path Root() const { return root.path(); }

    void AddProcess(const std::string& pid, const std::string& executable,
                    const std::string& status)
    {
        fs::create_directories(Root() / pid);
        fs::create_symlink(executable, Root() / pid / "exe"); // the target need not exist
        WriteFile(Root() / pid / "status", "Name:\tx\n" + status + "Threads:\t1\n");
    }

    void SetLoad(std::optional<unsigned> percent)
    {
        fs::remove(Root() / "meminfo");
        if (percent)
            WriteFile(Root() / "meminfo", "MemTotal:  1000 kB\nMemFree:  1 kB\nMemAvailable: " +
                                              std::to_string(1000 - 10 * *percent) + " kB\n");
    }

    TempDir root;
    ScopedEnv rootVariable{"OSPREON_TEST_PROC_ROOT", root.path().string()};
};

TEST_F(RamwardenFabricated, ChecksTheLoadThenTheNamedProcess)
{
    struct Case
    {
        const char* name;
        Record record;
        std::optional<unsigned> load; // nullopt: no meminfo
        std::vector<std::string> faults;
        HRESULT hr;
        std::vector<std::string> messages;
    };
    const std::string noMeminfo = "Get Memory Usage failure,cannot read " +
                                  (Root() / "meminfo").string() + ": No such file or directory\n";
    const std::vector<Case> cases = {
        {"load above the limit",
         {{kPercent, "90"}, {kName, "holder"}, {kSize, "4096"}},
         91,
         {},
         E_FAIL,
         {"Test failure,the memory usage is 91 percent\n"}},
        {"load at the limit leaves it to the process",
         {{kPercent, "90"}, {kName, "holder"}, {kSize, "4096"}},
         90,
         {},
         S_OK,
         {}},
        {"limit read by its leading number",
         {{kPercent, " +95%"}, {kName, ""}},
         96,
         {},
         E_FAIL,
         {"Test failure,the memory usage is 96 percent\n"}},
        {"limit -1 is never exceeded", {{kPercent, "-1"}, {kName, ""}}, 100, {}, S_OK, {}},
        {"limit without a number is logged, the process still checked",
         {{kPercent, "abc"}, {kName, "holder"}, {kSize, "1"}},
         99,
         {},
         E_FAIL,
         {"Get Parameter [Ext_Maximum Usuage Percentage] failure,value=abc",
          "holder mem size is 2048 KB, extend the desire\n"}},
        {"no limit reads 0",
         {{kName, ""}},
         99,
         {},
         S_OK,
         {"Get Parameter [Ext_Maximum Usuage Percentage] failure,value=0"}},
        {"load that cannot be read",
         {{kPercent, "90"}, {kName, "holder"}},
         std::nullopt,
         {},
         E_FAIL,
         {noMeminfo}},
        {"unset limit needs no load",
         {{kPercent, "0"}, {kName, ""}},
         std::nullopt,
         {},
         S_OK,
         {"Get Parameter [Ext_Maximum Usuage Percentage] failure,value=0"}},
        {"process above its limit",
         {{kPercent, "90"}, {kName, "holder"}, {kSize, "2047"}},
         50,
         {},
         E_FAIL,
         {"holder mem size is 2048 KB, extend the desire\n"}},
        {"process at its limit",
         {{kPercent, "90"}, {kName, "holder"}, {kSize, "2048"}},
         50,
         {},
         S_OK,
         {}},
        {"a prefix in other letter case matches, logged as configured",
         {{kPercent, "90"}, {kName, "HOLD"}, {kSize, "1"}},
         50,
         {},
         E_FAIL,
         {"HOLD mem size is 2048 KB, extend the desire\n"}},
        {"a longer name finds nothing",
         {{kPercent, "90"}, {kName, "holders"}, {kSize, "-1"}},
         50,
         {},
         E_FAIL,
         {"holders not exists\n"}},
        {"size limit -1 is never exceeded",
         {{kPercent, "90"}, {kName, "holder"}, {kSize, "-1"}},
         50,
         {},
         S_OK,
         {}},
        {"size limit 0 fails every process",
         {{kPercent, "90"}, {kName, "holder"}, {kSize, "0"}},
         50,
         {},
         E_FAIL,
         {"holder mem size is 2048 KB, extend the desire\n"}},
        {"no size limit reads 0",
         {{kPercent, "90"}, {kName, "holder"}},
         50,
         {},
         E_FAIL,
         {"holder mem size is 2048 KB, extend the desire\n"}},
        {"empty name watches nothing",
         {{kPercent, "90"}, {kName, ""}, {kSize, "0"}},
         50,
         {},
         S_OK,
         {}},
        {"two blanks watch nothing",
         {{kPercent, "90"}, {kName, "  "}, {kSize, "0"}},
         50,
         {},
         S_OK,
         {}},
        {"a leading control character watches nothing",
         {{kPercent, "90"}, {kName, "\x01holder"}, {kSize, "0"}},
         50,
         {},
         S_OK,
         {}},
        {"one blank and a letter is looked up",
         {{kPercent, "90"}, {kName, " h"}},
         50,
         {},
         E_FAIL,
         {" h not exists\n"}},
        {"a process that cannot be read is not running",
         {{kPercent, "90"}, {kName, "locked"}, {kSize, "-1"}},
         50,
         {},
         E_FAIL,
         {"locked not exists\n"}},
        {"a process without a working set is not running",
         {{kPercent, "90"}, {kName, "idlethread"}, {kSize, "-1"}},
         50,
         {},
         E_FAIL,
         {"idlethread not exists\n"}},
        {"only the first 259 characters of a name are matched and logged",
         {{kPercent, "90"}, {kName, LongName259() + std::string(41, 'z')}, {kSize, "1"}},
         50,
         {},
         E_FAIL,
         {LongName259() + " mem size is 4096 KB, extend the desire\n"}},
        {"a fault reading the limit is logged, the process still checked",
         {{kName, "holder"}, {kSize, "4096"}},
         99,
         {kPercent},
         S_OK,
         {"Get Service User Parameter Exception\n",
          "Get Parameter [Ext_Maximum Usuage Percentage] failure\n"}},
        {"a fault reading the name passes",
         {{kPercent, "90"}},
         50,
         {kName},
         S_OK,
         {"Get Service User Parameter Exception\n"}},
        {"a fault reading the size limit fails",
         {{kPercent, "90"}, {kName, "holder"}},
         50,
         {kSize},
         E_FAIL,
         {"Get Service User Parameter Exception\n", "Access Memory Usage Parameter Failure\n"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetLoad(c.load);
        fs::remove(logFile);
        user = FakeUser::Create();
        for (const auto& [key, value] : c.record)
            user->Set(key, value);
        for (const std::string& key : c.faults)
            user->FaultOn(key);

        EXPECT_EQ(RamwardenCheck().Monitor(user.get()), c.hr);
        EXPECT_EQ(LogLines(), LinesOf(c.messages));
    }
}

TEST_F(RamwardenFabricated, PassesOverProcessesWithoutAnAddressSpace)
{
    // Kernel threads "watchdogd" (no executable, no VmRSS) wherever they stand in the
    // list around the "watchdog" daemon, and a zombie namesake.
    for (int pid = 300; pid < 340; ++pid) {
        if (pid == 320)
            continue;
        const fs::path folder = Root() / std::to_string(pid);
        WriteFile(folder / "comm", "watchdogd\n");
        WriteFile(folder / "status", "Name:\twatchdogd\nState:\tI (idle)\nThreads:\t1\n");
    }
    AddProcess("320", "/usr/sbin/watchdog", "VmRSS:\t    3072 kB\n");
    WriteFile(Root() / "341/comm", "watchdog\n");
    WriteFile(Root() / "341/status", "Name:\twatchdog\nState:\tZ (zombie)\nThreads:\t1\n");
    // Another user's process: its executable link cannot be read, comm names it.
    WriteFile(Root() / "350/comm", "guarded\n");
    WriteFile(Root() / "350/status", "Name:\tguarded\nVmRSS:\t    1024 kB\nThreads:\t1\n");
    SetLoad(50);

    struct Case
    {
        std::string target;
        HRESULT hr;
        std::vector<std::string> messages;
    };
    const Case cases[] = {
        {"watchdog", E_FAIL, {"watchdog mem size is 3072 KB, extend the desire\n"}},
        {"watchdogd", E_FAIL, {"watchdogd not exists\n"}},
        {"guarded", E_FAIL, {"guarded mem size is 1024 KB, extend the desire\n"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target);
        fs::remove(logFile);
        user = FakeUser::Create();
        user->Set(kPercent, "90");
        user->Set(kName, c.target);
        user->Set(kSize, "1");
        EXPECT_EQ(RamwardenCheck().Monitor(user.get()), c.hr);
        EXPECT_EQ(LogLines(), LinesOf(c.messages));
    }
    user = FakeUser::Create();
    user->Set(kPercent, "90");
    user->Set(kName, "WatchDog");
    user->Set(kSize, "3072");
    EXPECT_EQ(RamwardenCheck().Monitor(user.get()), S_OK);
}

TEST_F(RamwardenFabricated, LoadAboveTheLimitLooksUpNoProcess)
{
    SetLoad(91);
    user->Set(kPercent, "90");
    user->Set(kName, "holder");
    EXPECT_EQ(RamwardenCheck().Monitor(user.get()), E_FAIL);
    EXPECT_EQ(user->Calls(),
              std::vector<std::string>{"get_InfoVal(" + std::string(kPercent) + ")"});
}

// A child process run under a file name of our choosing that holds 64 MB.
class RamwardenRealProcess : public CheckTest
{
protected:
    void SetUp() override
    {
        CheckTest::SetUp();
        const fs::path program = dir.path() / name;
        fs::copy_file(BuildDir() / "bin" / "memory_holder", program);
        fs::permissions(program, fs::perms::owner_all);

        int output[2];
        ASSERT_EQ(::pipe2(output, O_CLOEXEC), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
        const std::string path = program.string();
        char* argv[] = {const_cast<char*>(path.c_str()), const_cast<char*>("64"), nullptr};
        const int spawned = ::posix_spawn(&child, argv[0], &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(output[1]);
        if (spawned != 0) {
            ::close(output[0]);
            child = -1;
            FAIL() << "cannot start " << path << ": " << std::strerror(spawned);
        }
        std::string ready;
        pollfd wait{output[0], POLLIN, 0};
        char buffer[16];
        while (ready.find('\n') == std::string::npos && ::poll(&wait, 1, 10'000) > 0) {
            const ssize_t got = ::read(output[0], buffer, sizeof buffer);
            if (got <= 0)
                break;
            ready.append(buffer, got);
        }
        ::close(output[0]);
        ASSERT_EQ(ready, "READY\n");
    }

    void TearDown() override
    {
        if (child > 0) {
            ::kill(child, SIGKILL);
            ::waitpid(child, nullptr, 0);
        }
    }

    // The child's working set in KB, as the kernel reports it now.
    unsigned ChildWorkingSet() const
    {
        std::ifstream status("/proc/" + std::to_string(child) + "/status");
        std::string line;
        while (std::getline(status, line)) {
            if (line.rfind("VmRSS:", 0) == 0)
                return static_cast<unsigned>(std::stoul(line.substr(6)));
        }
        return 0;
    }

    const std::string name = "RamHold" + std::to_string(::getpid()) + "Kid";
    TempDir dir;
    pid_t child = -1;
};

TEST_F(RamwardenRealProcess, FindsTheChildByPrefixAndComparesItsWorkingSet)
{
    std::string prefix = name.substr(0, name.size() - 2); // "RamHold<pid>K"
    std::transform(prefix.begin(), prefix.end(), prefix.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const unsigned before = ChildWorkingSet();
    ASSERT_GE(before, 64u * 1024) << "the child holds 64 MB";

    struct Case
    {
        const char* name;
        std::string target;
        std::string limit;
        HRESULT hr;
        std::vector<std::string> messages;
    };
    const Case cases[] = {
        {"limit above the working set", prefix, "4194304", S_OK, {}},
        {"limit -1", prefix, "-1", S_OK, {}},
        {"a longer name", name + "2", "-1", E_FAIL, {name + "2 not exists\n"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(logFile);
        user = FakeUser::Create();
        user->Set(kPercent, "100"); // the load is never above 100
        user->Set(kName, c.target);
        user->Set(kSize, c.limit);
        EXPECT_EQ(RamwardenCheck().Monitor(user.get()), c.hr);
        EXPECT_EQ(LogLines(), LinesOf(c.messages));
    }

    // Below the working set: the line names the size the kernel reported. The kernel
    // syncs a process's RSS counter in batches of up to 64 pages, so the figure read
    // here and the one the check read may differ by that much.
    fs::remove(logFile);
    user = FakeUser::Create();
    user->Set(kPercent, "100");
    user->Set(kName, prefix);
    user->Set(kSize, "32768");
    EXPECT_EQ(RamwardenCheck().Monitor(user.get()), E_FAIL);
    const unsigned after = ChildWorkingSet();
    const std::vector<std::string> lines = LogLines();
    ASSERT_EQ(lines.size(), 1u);
    const std::string head = LinesOf({prefix + " mem size is "})[0];
    const std::string tail = " KB, extend the desire\n";
    ASSERT_EQ(lines[0].rfind(head, 0), 0u) << lines[0];
    ASSERT_TRUE(lines[0].ends_with(tail)) << lines[0];
    const std::string number =
        lines[0].substr(head.size(), lines[0].size() - tail.size() - head.size());
    const unsigned logged = static_cast<unsigned>(std::stoul(number));
    constexpr unsigned kBatchKb = 64 * 4;
    EXPECT_GE(logged + kBatchKb, std::min(before, after)) << lines[0];
    EXPECT_LE(logged, std::max(before, after) + kBatchKb) << lines[0];
}

} // namespace
} // namespace ospreon::test
