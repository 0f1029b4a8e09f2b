// The /proc readings (memory load, process list, processor counter), drive type,
// host name and clock: first against a fabricated proc root with exact answers, then
// against the running kernel, compared with the kernel's own files over the same window.

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include <linux/magic.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/statfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/os/clock.h"
#include "platform/os/cpu_counter.h"
#include "platform/os/drive_type.h"
#include "platform/os/host.h"
#include "platform/os/memory_status.h"
#include "platform/os/process_list.h"
#include "tests/support/temp_home.h"

namespace ospreon::os {
namespace {

namespace fs = std::filesystem;
using ospreon::test::TempDir;

// Sets (or with nullptr removes) an environment variable for one scope.
class ScopedEnv
{
public:
    ScopedEnv(const char* name, const char* value) : m_name(name)
    {
        if (const char* previous = std::getenv(name))
            m_previous = previous;
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~ScopedEnv()
    {
        if (m_previous)
            ::setenv(m_name, m_previous->c_str(), 1);
        else
            ::unsetenv(m_name);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* m_name;
    std::optional<std::string> m_previous;
};

void WriteFile(const fs::path& path, const std::string& text)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

std::string ReadFile(const fs::path& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// A kB value from a "Key:  123 kB" line of a real /proc file.
std::uint64_t KilobytesField(const std::string& text, const std::string& key)
{
    const auto at = text.find("\n" + key);
    if (at == std::string::npos)
        return 0;
    return std::strtoull(text.c_str() + at + 1 + key.size(), nullptr, 10);
}

// A proc root of our own making, in place of /proc for the library.
class FabricatedProc : public ::testing::Test
{
protected:
    fs::path Root() const { return m_dir.path(); }
    void Write(const std::string& relative, const std::string& text)
    {
        WriteFile(Root() / relative, text);
    }

private:
    TempDir m_dir;
    ScopedEnv m_root{"OSPREON_TEST_PROC_ROOT", m_dir.path().c_str()};
};

// ---- memory load ------------------------------------------------------------------

std::string Meminfo(const std::string& total, const std::string& available)
{
    // MemFree differs from MemAvailable on purpose: it is the wrong field to use.
    return "MemTotal:       " + total + " kB\nMemFree:          123456 kB\n" +
           "MemAvailable:   " + available + " kB\nBuffers:          204800 kB\n" +
           "SwapTotal:      99999999 kB\n";
}

TEST_F(FabricatedProc, MemoryLoadIsUsedShareRoundedDown)
{
    struct Case
    {
        const char* name;
        std::string meminfo;
        unsigned load;
    };
    const Case cases[] = {
        {"ninety", Meminfo("1000", "100"), 90},
        {"rounds 91.9 down", Meminfo("1000", "81"), 91},
        {"all available", Meminfo("16318036", "16318036"), 0},
        {"none available", Meminfo("16318036", "0"), 100},
        {"realistic", Meminfo("16318036", "9876543"), 39},
        {"available before total", "MemAvailable: 250 kB\nMemTotal: 1000 kB\n", 75},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Write("meminfo", c.meminfo);
        const auto load = MemoryLoad();
        ASSERT_TRUE(load.ok()) << load.error().message;
        EXPECT_EQ(*load, c.load);
    }
}

TEST_F(FabricatedProc, MemoryLoadFailsOnUnusableMeminfo)
{
    const std::string cases[] = {
        "MemTotal: 1000 kB\nMemFree: 500 kB\n",    // no MemAvailable
        "MemFree: 500 kB\nMemAvailable: 500 kB\n", // no MemTotal
        Meminfo("0", "0"),
        Meminfo("many", "100"),
        "",
    };
    for (const auto& meminfo : cases) {
        SCOPED_TRACE(meminfo);
        Write("meminfo", meminfo);
        const auto load = MemoryLoad();
        ASSERT_FALSE(load.ok()) << "load " << *load;
        EXPECT_NE(load.error().code, 0);
        EXPECT_NE(load.error().message.find((Root() / "meminfo").string()), std::string::npos)
            << load.error().message;
    }
}

TEST_F(FabricatedProc, MemoryLoadReportsMissingFile)
{
    const auto load = MemoryLoad();
    ASSERT_FALSE(load.ok());
    EXPECT_EQ(load.error().code, ENOENT);
    EXPECT_NE(load.error().message.find((Root() / "meminfo").string()), std::string::npos)
        << load.error().message;
}

// ---- process list -----------------------------------------------------------------

using ProcessRow = std::tuple<int, std::string, std::uint64_t, bool, bool>;

std::vector<ProcessRow> Rows(const std::vector<ProcessInfo>& processes)
{
    std::vector<ProcessRow> rows;
    for (const auto& p : processes)
        rows.emplace_back(p.pid, p.name, p.workingSetBytes, p.hasWorkingSet, p.readable);
    std::sort(rows.begin(), rows.end());
    return rows;
}

std::string Status(const std::string& name, const std::string& rssLine)
{
    // VmHWM and RssAnon sit beside VmRSS with other numbers: only VmRSS counts.
    return "Name:\t" + name + "\nUmask:\t0022\nState:\tS (sleeping)\nPid:\t1\n" +
           "VmPeak:\t  200000 kB\nVmSize:\t  190000 kB\nVmHWM:\t   77777 kB\n" + rssLine +
           "RssAnon:\t    1111 kB\nThreads:\t1\n";
}

TEST_F(FabricatedProc, ProcessListReadsNamesAndWorkingSets)
{
    // Named by its executable, even though comm says otherwise.
    fs::create_directories(Root() / "1");
    fs::create_symlink("/usr/lib/systemd/systemd", Root() / "1/exe");
    Write("1/comm", "init-comm\n");
    Write("1/status", Status("systemd", "VmRSS:\t   12345 kB\n"));
    // Executable replaced on disk, with a space in its name.
    fs::create_directories(Root() / "42");
    fs::create_symlink("/usr/bin/Foo bar (deleted)", Root() / "42/exe");
    Write("42/comm", "Foo bar\n");
    Write("42/status", Status("Foo bar", "VmRSS:\t    2048 kB\n"));
    // A kernel thread: no executable, no VmRSS.
    Write("2/comm", "kthreadd\n");
    Write("2/status", Status("kthreadd", ""));
    // No executable link (another user's process): named by comm.
    Write("300/comm", "bash\n");
    Write("300/status", Status("bash", "VmRSS:\t     512 kB\n"));
    // There, but its status cannot be read: the name is kept.
    Write("301/comm", "half\n");
    // A working set under 1 kB is still one.
    Write("500/comm", "tiny\n");
    Write("500/status", Status("tiny", "VmRSS:\t       0 kB\n"));
    // There, but nothing in it can be read.
    fs::create_directories(Root() / "400");
    // Not processes.
    fs::create_directory_symlink("42", Root() / "self");
    Write("sys/kernel/hostname", "box\n");
    Write("12abc/comm", "nope\n");
    Write("meminfo", Meminfo("1000", "100"));

    const auto list = ListProcesses();
    ASSERT_TRUE(list.ok()) << list.error().message;
    const std::vector<ProcessRow> expected = {
        {1, "systemd", 12345 * 1024, true, true},
        {2, "kthreadd", 0, false, true},
        {42, "Foo bar", 2048 * 1024, true, true},
        {300, "bash", 512 * 1024, true, true},
        {301, "half", 0, false, false},
        {400, "", 0, false, false},
        {500, "tiny", 0, true, true},
    };
    EXPECT_EQ(Rows(*list), expected);
}

TEST_F(FabricatedProc, ProcessListFailsWithoutProcRoot)
{
    ScopedEnv missing("OSPREON_TEST_PROC_ROOT", (Root() / "absent").c_str());
    const auto list = ListProcesses();
    ASSERT_FALSE(list.ok());
    EXPECT_EQ(list.error().code, ENOENT);
    EXPECT_NE(list.error().message.find((Root() / "absent").string()), std::string::npos);
}

// ---- processor counter ------------------------------------------------------------

TEST_F(FabricatedProc, CpuLoadIsBusyShareBetweenTwoSamples)
{
    struct Case
    {
        const char* name;
        const char* before;
        const char* after;
        double load;
    };
    const Case cases[] = {
        // Δ user 10 nice 5 system 5 idle 30 iowait 10 irq 5 softirq 5 steal 10: busy 40 of
        // 80. Guest time (+1000) is inside user already and must not count twice.
        {"all fields", "cpu  100 10 50 1000 20 3 4 5 7 8\ncpu0 1 1 1 1 1 1 1 1 1 1\n",
         "cpu  110 15 55 1030 30 8 9 15 1007 1008\ncpu0 9 9 9 9 9 9 9 9 9 9\n", 50.0},
        {"four fields (old kernel)", "cpu 10 0 10 20\n", "cpu 40 0 40 40\n", 75.0},
        {"one idle tick of four", "cpu  0 0 0 0 0 0 0 0\n", "cpu  1 1 0 1 0 0 0 1\n", 75.0},
        {"no time passed", "cpu  5 5 5 5 5 5 5 5\n", "cpu  5 5 5 5 5 5 5 5\n", 0.0},
        {"idle went back", "cpu  5 0 5 100 50 0 0 0\n", "cpu  5 0 5 90 50 0 0 0\n", 0.0},
        {"cpu line not first", "intr 1 2 3\ncpu  0 0 0 0\n", "intr 9 9 9\ncpu  1 0 0 3\n", 25.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CpuCounter counter;
        Write("stat", c.before);
        ASSERT_EQ(counter.Collect(), CpuCounter::Status::Ok);
        EXPECT_EQ(counter.Load(), 0.0) << "one sample has no window";
        Write("stat", c.after);
        ASSERT_EQ(counter.Collect(), CpuCounter::Status::Ok);
        EXPECT_DOUBLE_EQ(counter.Load(), c.load);
    }
}

TEST_F(FabricatedProc, CpuFailedCollectKeepsPreviousSample)
{
    CpuCounter counter;
    EXPECT_EQ(counter.Collect(), CpuCounter::Status::OpenFailed);
    Write("stat", "cpu  0 0 0 0\n");
    ASSERT_EQ(counter.Collect(), CpuCounter::Status::Ok);
    Write("stat", "cpu  50 0 0 50\n");
    ASSERT_EQ(counter.Collect(), CpuCounter::Status::Ok);
    EXPECT_DOUBLE_EQ(counter.Load(), 50.0);

    fs::remove(Root() / "stat");
    EXPECT_EQ(counter.Collect(), CpuCounter::Status::OpenFailed);
    Write("stat", "cpu0 1 2 3 4\n");
    EXPECT_EQ(counter.Collect(), CpuCounter::Status::NoCounter);
    EXPECT_DOUBLE_EQ(counter.Load(), 50.0) << "a failed collection changes nothing";

    // The window runs from the last good sample (50 0 0 50), not from the failures.
    Write("stat", "cpu  60 0 0 80\n");
    ASSERT_EQ(counter.Collect(), CpuCounter::Status::Ok);
    EXPECT_DOUBLE_EQ(counter.Load(), 25.0);
}

TEST_F(FabricatedProc, CpuWithoutAggregateLineIsNoCounter)
{
    const char* cases[] = {
        "",
        "cpu0 100 0 100 800 0 0 0 0\ncpu1 100 0 100 800 0 0 0 0\n",
        "cpu  100 0 100\n",
        "cpu  a b c d\n",
        "cpux 1 2 3 4\n",
        "intr 1 2 3 4\n",
    };
    for (const char* stat : cases) {
        SCOPED_TRACE(stat);
        Write("stat", stat);
        CpuCounter counter;
        EXPECT_EQ(counter.Collect(), CpuCounter::Status::NoCounter);
    }
}

// ---- against the running kernel ---------------------------------------------------

unsigned KernelMemoryLoad()
{
    const std::string meminfo = "\n" + ReadFile("/proc/meminfo");
    const std::uint64_t total = KilobytesField(meminfo, "MemTotal:");
    const std::uint64_t available = KilobytesField(meminfo, "MemAvailable:");
    return static_cast<unsigned>((total - available) * 100 / total);
}

TEST(KernelProc, MemoryLoadMatchesMeminfo)
{
    // Other processes allocate meanwhile: allow 2 points beyond what the kernel showed
    // just before and just after.
    const unsigned before = KernelMemoryLoad();
    const auto load = MemoryLoad();
    const unsigned after = KernelMemoryLoad();
    ASSERT_TRUE(load.ok()) << load.error().message;
    EXPECT_GE(*load + 2, std::min(before, after));
    EXPECT_LE(*load, std::max(before, after) + 2);
}

// A forked child, killed and reaped when the test ends.
class Child
{
public:
    explicit Child(pid_t pid) : m_pid(pid) {}
    ~Child()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    pid_t pid() const { return m_pid; }

private:
    pid_t m_pid;
};

const ProcessInfo* FindPid(const std::vector<ProcessInfo>& list, int pid)
{
    auto it = std::find_if(list.begin(), list.end(), [pid](const auto& p) { return p.pid == pid; });
    return it == list.end() ? nullptr : &*it;
}

std::uint64_t KernelRssBytes(pid_t pid)
{
    const std::string status = ReadFile("/proc/" + std::to_string(pid) + "/status");
    return KilobytesField("\n" + status, "VmRSS:") * 1024;
}

TEST(KernelProc, ProcessListShowsChildWorkingSet)
{
    constexpr std::size_t touched = 64u << 20;
    constexpr std::uint64_t slack = 4u << 20;
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        // Only async-signal-safe calls between fork and the end of the child.
        void* block =
            ::mmap(nullptr, touched, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (block == MAP_FAILED)
            ::_exit(1);
        std::memset(block, 0x5a, touched);
        if (::write(ready[1], "r", 1) != 1)
            ::_exit(1);
        for (;;)
            ::pause();
    }
    Child child(pid);
    ::close(ready[1]);
    pollfd wait{ready[0], POLLIN, 0};
    char byte = 0;
    const bool signalled = ::poll(&wait, 1, 20000) == 1 && ::read(ready[0], &byte, 1) == 1;
    ::close(ready[0]);
    ASSERT_TRUE(signalled) << "child did not fill its memory";

    // The child's memory is still; the kernel's VmRSS around the listing bounds ours.
    const std::uint64_t before = KernelRssBytes(pid);
    const auto list = ListProcesses();
    const std::uint64_t after = KernelRssBytes(pid);
    ASSERT_TRUE(list.ok()) << list.error().message;
    const ProcessInfo* found = FindPid(*list, pid);
    ASSERT_NE(found, nullptr) << "child " << pid << " not listed";
    EXPECT_TRUE(found->readable);
    EXPECT_EQ(found->name, "test_os_proc");
    EXPECT_GE(found->workingSetBytes, touched);
    EXPECT_GE(found->workingSetBytes + slack, std::min(before, after));
    EXPECT_LE(found->workingSetBytes, std::max(before, after) + slack);
}

TEST(KernelProc, ProcessListShowsSelfAndZombies)
{
    // A zombie has no executable link nor memory: it is named by comm, without a
    // working set.
    const pid_t zombie = ::fork();
    ASSERT_GE(zombie, 0);
    if (zombie == 0)
        ::_exit(0);
    Child reaper(zombie);
    siginfo_t info{};
    ASSERT_EQ(::waitid(P_PID, zombie, &info, WEXITED | WNOWAIT), 0);

    const auto list = ListProcesses();
    ASSERT_TRUE(list.ok()) << list.error().message;
    const ProcessInfo* self = FindPid(*list, ::getpid());
    ASSERT_NE(self, nullptr);
    EXPECT_EQ(self->name, "test_os_proc");
    EXPECT_TRUE(self->readable);
    EXPECT_TRUE(self->hasWorkingSet);
    EXPECT_GT(self->workingSetBytes, 0u);
    const ProcessInfo* dead = FindPid(*list, zombie);
    ASSERT_NE(dead, nullptr);
    EXPECT_EQ(dead->name, "test_os_proc");
    EXPECT_FALSE(dead->hasWorkingSet);
    EXPECT_EQ(dead->workingSetBytes, 0u);
}

int KernelCpuCount()
{
    std::istringstream stat(ReadFile("/proc/stat"));
    int count = 0;
    for (std::string line; std::getline(stat, line);)
        count += line.size() > 3 && line.starts_with("cpu") && line[3] >= '0' && line[3] <= '9';
    return count;
}

TEST(KernelProc, CpuLoadReflectsBusyChild)
{
    const int cpus = KernelCpuCount();
    ASSERT_GT(cpus, 0);
    CpuCounter counter;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(counter.Collect(), CpuCounter::Status::Ok);

    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        timespec begin{}, now{};
        ::clock_gettime(CLOCK_MONOTONIC, &begin);
        do
            ::clock_gettime(CLOCK_MONOTONIC, &now);
        while ((now.tv_sec - begin.tv_sec) * 1000 + (now.tv_nsec - begin.tv_nsec) / 1000000 < 700);
        ::_exit(0);
    }
    rusage usage{};
    int status = 0;
    ASSERT_EQ(::wait4(pid, &status, 0, &usage), pid);
    ASSERT_EQ(counter.Collect(), CpuCounter::Status::Ok);
    const std::chrono::duration<double> window = std::chrono::steady_clock::now() - start;

    // The child ran wholly inside the window, so its processor time is part of the
    // busy time the kernel counted; the window measured here is at least the
    // counter's. The kernel counts in 10 ms ticks per processor, so allow 5 points.
    const double childSeconds = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 +
                                usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6;
    const double childShare = childSeconds / (window.count() * cpus) * 100.0;
    EXPECT_GE(counter.Load(), childShare - 5.0)
        << "child used " << childSeconds << " s of " << window.count() << " s on " << cpus
        << " processors";
    EXPECT_LE(counter.Load(), 100.0);
}

// ---- drive type -------------------------------------------------------------------

TEST(DriveTypeTest, ClassifiesPaths)
{
    TempDir dir;
    WriteFile(dir.path() / "file.txt", "x");
    struct Case
    {
        std::string path;
        DriveType type;
    };
    const Case exact[] = {
        {"", DriveType::Unknown},
        {"relative/path", DriveType::Unknown},
        {"./here", DriveType::Unknown},
        {"/nonexistent/xyz", DriveType::NoRootDir},
        {(dir.path() / "file.txt").string(), DriveType::NoRootDir},
    };
    for (const auto& c : exact) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(GetDriveType(c.path), c.type);
    }

    // What backs "/" and the temporary folder depends on the machine; they are
    // existing absolute folders, so they have some real kind.
    for (const std::string& path : {std::string("/"), dir.path().string()}) {
        SCOPED_TRACE(path);
        const DriveType type = GetDriveType(path);
        EXPECT_NE(type, DriveType::Unknown);
        EXPECT_NE(type, DriveType::NoRootDir);
    }
}

TEST(DriveTypeTest, TmpfsIsRamDisk)
{
    struct statfs shm
    {};
    if (::statfs("/dev/shm", &shm) != 0 || static_cast<std::uint32_t>(shm.f_type) != TMPFS_MAGIC)
        GTEST_SKIP() << "/dev/shm is not a tmpfs here";
    EXPECT_EQ(GetDriveType("/dev/shm"), DriveType::RamDisk);
    EXPECT_EQ(GetDriveType("/dev/shm/"), DriveType::RamDisk);
}

// ---- host and clock ---------------------------------------------------------------

TEST(HostTest, NameIsKernelHostName)
{
    std::string kernel = ReadFile("/proc/sys/kernel/hostname");
    kernel = kernel.substr(0, kernel.find('\n'));
    ASSERT_FALSE(kernel.empty());
    EXPECT_EQ(LocalHostName(), kernel);
}

TEST(ClockTest, FixedNowGivesThatLocalTime)
{
    struct Case
    {
        const char* now;
        int year, mon, mday, hour, min, sec, wday, yday;
    };
    const Case cases[] = {
        {"2023-12-09T10:11:12", 123, 11, 9, 10, 11, 12, 6, 342},
        {"2024-02-29T23:59:59", 124, 1, 29, 23, 59, 59, 4, 59},
        {"2000-01-01T00:00:00", 100, 0, 1, 0, 0, 0, 6, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.now);
        ScopedEnv now("OSPREON_TEST_NOW", c.now);
        const std::tm tm = LocalNow();
        EXPECT_EQ(std::tie(tm.tm_year, tm.tm_mon, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec),
                  std::tie(c.year, c.mon, c.mday, c.hour, c.min, c.sec));
        EXPECT_EQ(tm.tm_wday, c.wday);
        EXPECT_EQ(tm.tm_yday, c.yday);
    }
}

TEST(ClockTest, MalformedOrAbsentFixedNowGivesTheRealTime)
{
    const char* cases[] = {
        nullptr,
        "",
        "2023-12-09",
        "2023-12-09 10:11:12",
        "2023-12-09T10:11:12Z",
        "2023-02-30T10:00:00",
        "2023-13-09T10:11:12",
        "2023-12-09T24:00:00",
        "2023-1x-09T10:11:12",
        "-023-12-09T10:11:12",
    };
    for (const char* value : cases) {
        SCOPED_TRACE(value ? value : "(unset)");
        ScopedEnv now("OSPREON_TEST_NOW", value);
        std::tm tm = LocalNow();
        const std::time_t real = std::time(nullptr);
        EXPECT_LE(std::abs(std::difftime(std::mktime(&tm), real)), 2.0);
    }
}

} // namespace
} // namespace ospreon::os
