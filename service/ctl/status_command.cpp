#include "service/ctl/status_command.h"

#include <cerrno>
#include <ctime>
#include <sstream>

#include <sys/file.h>
#include <sys/stat.h>

#include "interfaces/guids.h"
#include "platform/os/file_io.h"
#include "platform/os/paths.h"
#include "platform/os/unique_fd.h"
#include "service/ctl/service_access.h"

namespace ospreon::ctl {

namespace {

bool LockHeld(const std::filesystem::path& lockFile)
{
    os::UniqueFd file(::open(lockFile.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file)
        return false;
    if (::flock(file.get(), LOCK_SH | LOCK_NB) == 0)
        return false; // released when the file closes
    return errno == EWOULDBLOCK;
}

std::optional<long long> SecondsSinceModified(const std::filesystem::path& file)
{
    struct stat info
    {};
    if (::stat(file.c_str(), &info) != 0)
        return std::nullopt;
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const long long age = static_cast<long long>(now.tv_sec) - info.st_mtim.tv_sec;
    return age < 0 ? 0 : age;
}

std::string DaemonLine(const DaemonState& state)
{
    if (!state.running)
        return "not running";
    if (!state.heartbeatAge)
        return "running, no heartbeat yet";
    return "running, heartbeat " + std::to_string(*state.heartbeatAge) + " s ago";
}

// The daemon's counters since its start, from its heartbeat ("checks 12" lines).
void ShowCounters(Console& console, const std::filesystem::path& heartbeat)
{
    Result<std::string> text = os::ReadWholeFile(heartbeat, 64 * 1024);
    if (!text)
        return;
    const std::pair<const char*, const char*> labels[] = {
        {"checks", "checks run"},
        {"late", "checks started over 100 ms late"},
        {"timeouts", "time-outs"},
        {"workers_replaced", "workers replaced"},
    };
    std::istringstream lines(*text);
    std::string key;
    std::string value;
    while (lines >> key >> value) {
        for (const auto& [name, label] : labels) {
            if (key == name)
                console.out << label << ": " << value << '\n';
        }
    }
}

} // namespace

DaemonState ReadDaemonState(const std::filesystem::path& runFolder)
{
    DaemonState state;
    state.running = LockHeld(runFolder / "wardenhost.lock");
    if (state.running)
        state.heartbeatAge = SecondsSinceModified(runFolder / "wardenhost.heartbeat");
    return state;
}

Outcome ShowStatus(Console& console)
{
    const std::filesystem::path home = os::Home();
    console.out << "store: " << (home / "wardenhost.db").string() << '\n';
    const DaemonState daemon = ReadDaemonState(home / "run");
    console.out << "daemon: " << DaemonLine(daemon) << '\n';
    if (daemon.running)
        ShowCounters(console, home / "run" / "wardenhost.heartbeat");

    Result<ComPtr<IUserStore>> store = Create<IUserStore>(CLSID_UserStore, "the user store");
    if (!store)
        return store.error();
    Result<std::vector<ComPtr<IUser>>> records = AllRecords(store->get());
    if (!records)
        return records.error();
    std::size_t monitors = 0;
    std::size_t started = 0;
    for (const ComPtr<IUser>& record : *records) {
        Result<std::optional<ListedRecord>> listed = ReadListed(record.get(), {"Status"});
        if (!listed)
            return listed.error();
        if (!*listed)
            continue; // removed since it was counted
        ++monitors;
        if ((*listed)->values[0] == "Enable")
            ++started;
    }
    console.out << "monitors: " << monitors << '\n';
    console.out << "started: " << started << '\n';
    return kExitDone;
}

} // namespace ospreon::ctl
