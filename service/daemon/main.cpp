// wardenhost: the monitor service daemon. Without options it detaches and runs the
// started monitors until SIGTERM; `--worker FD` is the worker mode the daemon
// starts itself in.

#include <fcntl.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "platform/com/activation.h"
#include "platform/os/paths.h"
#include "service/daemon/instance.h"
#include "service/daemon/scheduler.h"
#include "service/daemon/worker.h"
#include "service/store/database.h"

namespace {

using namespace ospreon;

constexpr char kUsage[] =
    "Usage: wardenhost [OPTION]...\n"
    "Run the started monitors of $OSPREON_HOME on their intervals, count their\n"
    "failures and raise their alarms. One instance runs per OSPREON_HOME.\n"
    "\n"
    "  --foreground   stay in the foreground; log lines also go to standard error\n"
    "  --workers N    worker processes (default: processor cores, at least 2)\n"
    "  --threads N    threads of each worker (default 8)\n"
    "  --help         show this help and exit\n"
    "  --version      show the version and exit\n"
    "\n"
    "SIGTERM stops the daemon, SIGHUP reloads the configuration, the monitor types\n"
    "and changed plug-in modules. `wardenctl status` shows whether it runs.\n";

struct Arguments
{
    bool foreground = false;
    int workers = std::max(2, static_cast<int>(std::thread::hardware_concurrency()));
    int threads = 8;
    int workerFd = -1;
};

bool ReadCount(const char* text, int& value)
{
    char* end = nullptr;
    const long number = text ? std::strtol(text, &end, 10) : 0;
    if (!text || *end != '\0' || number < 1 || number > 1024)
        return false;
    value = static_cast<int>(number);
    return true;
}

// The exit status when the arguments end the run (help, version, a mistake).
std::optional<int> Parse(int argc, char** argv, Arguments& arguments)
{
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (option == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (option == "--version") {
            std::printf("wardenhost %s\n", OSPREON_VERSION);
            return 0;
        }
        if (option == "--foreground") {
            arguments.foreground = true;
        } else if (option == "--workers" && ReadCount(value, arguments.workers)) {
            ++i;
        } else if (option == "--threads" && ReadCount(value, arguments.threads)) {
            ++i;
        } else if (option == "--worker" && value) {
            arguments.workerFd = std::atoi(value);
            ++i;
        } else {
            std::fprintf(stderr, "wardenhost: unknown or incomplete option '%s'\n%s",
                         option.c_str(), "Try 'wardenhost --help'.\n");
            return 2;
        }
    }
    return std::nullopt;
}

std::string ThisProgram()
{
    char path[4096];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    return length > 0 ? std::string(path, static_cast<std::size_t>(length)) : "wardenhost";
}

// Leaves the terminal: a child in a session of its own carries on; the parent ends
// at once. The instance lock, taken before, stays with the child.
void Detach()
{
    const pid_t child = ::fork();
    if (child < 0) {
        std::perror("wardenhost: fork");
        std::exit(1);
    }
    if (child > 0)
        ::_exit(0);
    ::setsid();
    const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    for (int fd = 0; fd <= 2 && null >= 0; ++fd)
        ::dup2(null, fd);
    if (null > 2)
        ::close(null);
}

int RunDaemon(const Arguments& arguments)
{
    const std::filesystem::path runFolder = os::HomeFolder("run");
    Result<daemon::InstanceLock> lock = daemon::InstanceLock::Acquire(runFolder);
    if (!lock) {
        std::fprintf(stderr, "wardenhost: %s\n", lock.error().message.c_str());
        return 1;
    }
    if (!arguments.foreground)
        Detach();
    lock->RecordPid();

    // Read through a signalfd in the scheduler's loop; workers unblock them.
    sigset_t signals;
    sigemptyset(&signals);
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaddset(&signals, signal);
    ::sigprocmask(SIG_BLOCK, &signals, nullptr);
    os::UniqueFd signalFd(::signalfd(-1, &signals, SFD_NONBLOCK | SFD_CLOEXEC));

    (void)CoInitialize(nullptr);
    daemon::ServiceLog log(arguments.foreground);
    log.Configure();
    Result<std::shared_ptr<store::Database>> db = store::OpenDefault();
    if (!db) {
        log.Write("cannot open the store: " + db.error().message);
        CoUninitialize();
        return 1;
    }
    int status = 0;
    {
        daemon::Scheduler scheduler(
            {ThisProgram(), runFolder, arguments.workers, arguments.threads}, log, *db);
        status = scheduler.Run(signalFd.get());
    }
    db->reset();
    CoUninitialize();
    return status;
}

} // namespace

int main(int argc, char** argv)
{
    Arguments arguments;
    if (std::optional<int> status = Parse(argc, argv, arguments))
        return *status;
    if (arguments.workerFd >= 0)
        daemon::RunWorker(arguments.workerFd, arguments.threads);
    return RunDaemon(arguments);
}
