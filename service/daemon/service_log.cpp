#include "service/daemon/service_log.h"

#include <chrono>
#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

#include "platform/os/clock.h"
#include "platform/os/named_lock.h"
#include "platform/os/paths.h"
#include "platform/os/unique_fd.h"
#include "service/daemon/service_records.h"

namespace ospreon::daemon {

void ServiceLog::Configure()
{
    std::optional<std::string> path = ReadConfig("LogFile");
    if (!path || path->empty())
        path = (os::HomeFolder("log") / "Wardenhost%d%m%y.log").string();
    std::lock_guard lock(m_mutex);
    m_path = std::move(*path);
}

void ServiceLog::Write(const std::string& message)
{
    const std::tm now = os::LocalNow();
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d ", now.tm_year + 1900,
                  now.tm_mon + 1, now.tm_mday, now.tm_hour, now.tm_min, now.tm_sec);
    const std::string line = stamp + message + "\n";
    std::lock_guard lock(m_mutex);
    if (m_echo)
        (void)!::write(STDERR_FILENO, line.data(), line.size());
    const std::string file = os::ExpandTimePatterns(m_path, now);
    if (file.empty())
        return;
    auto named = os::NamedLock::Acquire("LogFileMetux", std::chrono::milliseconds(200));
    os::UniqueFd fd(::open(file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600));
    if (fd.get() >= 0)
        (void)!::write(fd.get(), line.data(), line.size());
}

} // namespace ospreon::daemon
