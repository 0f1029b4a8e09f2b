#include "service/daemon/instance.h"

#include <cerrno>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "platform/os/file_io.h"

namespace ospreon::daemon {

Result<InstanceLock> InstanceLock::Acquire(const std::filesystem::path& runFolder)
{
    const std::filesystem::path file = runFolder / "wardenhost.lock";
    os::UniqueFd fd(::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (fd.get() < 0)
        return Error::Errno(errno, "cannot open " + file.string() + ": " + std::strerror(errno));
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        if (error == EWOULDBLOCK)
            return Error::Errno(error, "wardenhost is already running for " +
                                           runFolder.parent_path().string());
        return Error::Errno(error, "cannot lock " + file.string() + ": " + std::strerror(error));
    }
    return InstanceLock(std::move(fd));
}

void InstanceLock::RecordPid() const
{
    const std::string pid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(m_fd.get(), 0) == 0)
        (void)!::pwrite(m_fd.get(), pid.data(), pid.size(), 0);
}

void WriteHeartbeat(const std::filesystem::path& runFolder, const Counters& counters)
{
    const std::string text = "pid " + std::to_string(::getpid()) + "\nchecks " +
                             std::to_string(counters.checks) + "\nlate " +
                             std::to_string(counters.late) + "\ntimeouts " +
                             std::to_string(counters.timeouts) + "\nworkers_replaced " +
                             std::to_string(counters.workersReplaced) + "\n";
    (void)os::ReplaceFileAtomically(runFolder / "wardenhost.heartbeat", text, 0600);
}

} // namespace ospreon::daemon
