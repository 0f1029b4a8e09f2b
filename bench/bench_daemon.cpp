// The monitor daemon as a whole, in a temporary OSPREON_HOME with the test plug-in
// registered: the idle daemon's CPU time and resident memory with no monitor started,
// its resident memory with 200 started, and 1,000 started "Testwarden" monitors on
// 1 s intervals: checks per second, the share started more than 100 ms late (from
// the daemon's own counters) and the CPU time of the daemon and of its workers.
//
// A plain program, since it measures processes over wall-clock time. Each phase runs
// 60 s; $OSPREON_BENCH_DAEMON_SECONDS shortens them for a quick run.

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/os/file_io.h"
#include "platform/os/launcher.h"
#include "service/store/database.h"
#include "service/store/record_table.h"
#include "tests/support/temp_home.h"

namespace {

using namespace std::chrono_literals;
using ospreon::Result;

struct CpuTime
{
    double daemon = 0;  // seconds of user and system time
    double workers = 0; // the same, summed over its live child processes
};

// Fields of /proc/PID/stat after the command name: state is the first.
std::vector<std::string> StatFields(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::size_t close = text.rfind(')');
    if (close == std::string::npos)
        return {};
    std::istringstream rest(text.substr(close + 1));
    std::vector<std::string> fields;
    for (std::string field; rest >> field;)
        fields.push_back(field);
    return fields;
}

double ProcessSeconds(const std::vector<std::string>& fields)
{
    if (fields.size() < 13)
        return 0;
    // utime and stime, the 14th and 15th fields of the line.
    return static_cast<double>(std::stoull(fields[11]) + std::stoull(fields[12])) /
           static_cast<double>(::sysconf(_SC_CLK_TCK));
}

CpuTime ReadCpu(pid_t daemon)
{
    CpuTime cpu;
    cpu.daemon = ProcessSeconds(StatFields(daemon));
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const std::vector<std::string> fields = StatFields(std::stoi(name));
        if (fields.size() > 1 && fields[1] == std::to_string(daemon))
            cpu.workers += ProcessSeconds(fields);
    }
    return cpu;
}

// VmRSS of the process in KiB.
long ResidentKiB(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    return -1;
}

void Run(const std::vector<std::string>& argv)
{
    Result<ospreon::os::ChildProcess> child = ospreon::os::Spawn(argv);
    if (!child)
        throw std::runtime_error(argv[0] + ": " + child.error().message);
    const int status = child->Wait();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error(argv[0] + " " + argv[1] + ": " +
                                 ospreon::os::DescribeWaitStatus(status));
}

// `count` started Testwarden monitors on 1 s intervals, numbered from `first`.
void AddMonitors(int first, int count)
{
    Result<std::shared_ptr<ospreon::store::Database>> db = ospreon::store::OpenDefault();
    if (!db)
        throw std::runtime_error(db.error().message);
    ospreon::store::RecordTable records(**db);
    for (int i = first; i < first + count; ++i) {
        Result<ospreon::store::RecordId> added = records.Add(
            {"Testwarden of m" + std::to_string(i),
             "Testwarden",
             {{"Status", "Enable"}, {"Monitor_Parameter", "ok"}, {"Monitor_InterVal (s)", "1"}}});
        if (!added)
            throw std::runtime_error(added.error().message);
    }
}

class Daemon
{
public:
    explicit Daemon(const std::filesystem::path& home)
        : m_heartbeat(home / "run" / "wardenhost.heartbeat")
    {
        std::filesystem::remove(m_heartbeat);
        Result<ospreon::os::ChildProcess> child = ospreon::os::Spawn({WARDENHOST, "--foreground"});
        if (!child)
            throw std::runtime_error(std::string("wardenhost: ") + child.error().message);
        m_child.emplace(std::move(*child));
        const auto until = std::chrono::steady_clock::now() + 30s;
        while (!std::filesystem::exists(m_heartbeat)) {
            if (std::chrono::steady_clock::now() > until)
                throw std::runtime_error("wardenhost wrote no heartbeat");
            std::this_thread::sleep_for(50ms);
        }
    }
    ~Daemon()
    {
        ::kill(m_child->pid(), SIGTERM);
        if (!m_child->WaitFor(20s)) {
            ::kill(m_child->pid(), SIGKILL);
            m_child->Wait();
        }
    }
    Daemon(const Daemon&) = delete;
    Daemon& operator=(const Daemon&) = delete;

    pid_t pid() const { return m_child->pid(); }

    // The counters of its heartbeat ("checks 12" lines).
    std::map<std::string, double> Counters() const
    {
        std::map<std::string, double> counters;
        Result<std::string> text = ospreon::os::ReadWholeFile(m_heartbeat, 64 * 1024);
        std::istringstream in(text ? *text : "");
        std::string key;
        std::string value;
        while (in >> key >> value) {
            char* end = nullptr;
            const double number = std::strtod(value.c_str(), &end);
            if (end && *end == '\0')
                counters[key] = number;
        }
        return counters;
    }

private:
    std::filesystem::path m_heartbeat;
    std::optional<ospreon::os::ChildProcess> m_child;
};

int Seconds()
{
    const char* value = std::getenv("OSPREON_BENCH_DAEMON_SECONDS");
    const int seconds = value ? std::atoi(value) : 60;
    return seconds > 0 ? seconds : 60;
}

void Report(const char* what, double value, const char* unit)
{
    std::printf("%-48s %12.3f %s\n", what, value, unit);
    std::fflush(stdout);
}

} // namespace

int main()
{
    try {
        const int seconds = Seconds();
        // The heartbeat is written every 2 s: the counters are read that far apart at least.
        const auto phase = std::chrono::seconds(std::max(seconds, 4));
        ospreon::test::TempHome home;
        Run({WARDENCTL, "setup"});
        Run({WARDENCTL, "register", TESTWARDEN_MODULE});
        std::printf("phases of %d s\n", static_cast<int>(phase.count()));

        {
            Daemon daemon(home.path());
            std::this_thread::sleep_for(1s);
            const CpuTime before = ReadCpu(daemon.pid());
            std::this_thread::sleep_for(phase);
            const CpuTime after = ReadCpu(daemon.pid());
            Report("idle, no monitor: daemon CPU",
                   100.0 * (after.daemon - before.daemon) / static_cast<double>(phase.count()),
                   "%");
            Report("idle, no monitor: daemon VmRSS", ResidentKiB(daemon.pid()) / 1024.0, "MiB");
        }

        AddMonitors(0, 200);
        {
            Daemon daemon(home.path());
            std::this_thread::sleep_for(std::min(phase, std::chrono::seconds(10)));
            Report("200 started: daemon VmRSS", ResidentKiB(daemon.pid()) / 1024.0, "MiB");
        }

        AddMonitors(200, 800);
        {
            Daemon daemon(home.path());
            std::this_thread::sleep_for(5s); // every monitor past its first check
            const auto startedAt = std::chrono::steady_clock::now();
            const std::map<std::string, double> first = daemon.Counters();
            const CpuTime before = ReadCpu(daemon.pid());
            std::this_thread::sleep_for(phase);
            const std::map<std::string, double> last = daemon.Counters();
            const CpuTime after = ReadCpu(daemon.pid());
            const double elapsed =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - startedAt).count();
            auto delta = [&](const char* key) {
                auto a = first.find(key);
                auto b = last.find(key);
                return a != first.end() && b != last.end() ? b->second - a->second : 0.0;
            };
            const double checks = delta("checks");
            Report("1000 started: checks per second", checks / elapsed, "/s");
            Report("1000 started: started over 100 ms late",
                   checks > 0 ? 100.0 * delta("late") / checks : 0.0, "%");
            Report("1000 started: time-outs", delta("timeouts"), "");
            Report("1000 started: workers replaced", delta("workers_replaced"), "");
            Report("1000 started: daemon CPU", 100.0 * (after.daemon - before.daemon) / elapsed,
                   "% of one core");
            Report("1000 started: workers' CPU", 100.0 * (after.workers - before.workers) / elapsed,
                   "% of one core");
            Report("1000 started: daemon VmRSS", ResidentKiB(daemon.pid()) / 1024.0, "MiB");
        }
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_daemon: %s\n", error.what());
        return 1;
    }
}
