#include "plugins/common/plugin_log.h"

#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <mutex>

#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "platform/os/clock.h"
#include "platform/os/named_lock.h"
#include "platform/os/paths.h"
#include "platform/os/unique_fd.h"

namespace ospreon::plugin {

namespace {

constexpr std::size_t kMessageChars = 4095;

// The log path is module-wide: every object of the module writes where the last
// Init said. A mutex keeps a replacement and a write from meeting half-way.
std::mutex g_pathMutex;
std::string g_path; // empty: not set yet
// The path of the object whose call runs on this thread; null outside any call.
thread_local const std::string* t_objectPath = nullptr;

std::string StartPath()
{
    return (os::HomeFolder("log") / "Wardenhost").string();
}

// The path a line written now on this thread goes to, unexpanded.
std::string CurrentPath()
{
    if (t_objectPath && !t_objectPath->empty())
        return *t_objectPath;
    return LogFile();
}

} // namespace

ObjectLogScope::ObjectLogScope(std::string path) : m_path(std::move(path)), m_previous(t_objectPath)
{
    t_objectPath = &m_path;
}

ObjectLogScope::~ObjectLogScope()
{
    t_objectPath = m_previous;
}

void ObjectLogScope::Redirect(std::string path)
{
    m_path = std::move(path);
}

void SetLogFile(const std::string& path)
{
    std::lock_guard lock(g_pathMutex);
    g_path = path.substr(0, kLogPathChars);
}

std::string LogFile()
{
    std::lock_guard lock(g_pathMutex);
    if (g_path.empty())
        g_path = StartPath();
    return g_path;
}

std::string ExpandedLogFile()
{
    return os::ExpandTimePatterns(CurrentPath(), os::LocalNow());
}

namespace {

void AppendLine(const char* message)
{
    const std::tm now = os::LocalNow();
    const std::string file = os::ExpandTimePatterns(CurrentPath(), now);
    char prefix[48];
    std::snprintf(prefix, sizeof prefix, "T%ld %02d:%02d:%02d   ",
                  static_cast<long>(::syscall(SYS_gettid)), now.tm_hour, now.tm_min, now.tm_sec);
    std::string line;
    line.reserve(sizeof prefix + kMessageChars + 2);
    line.append(prefix).append(message).append("\r\n");

    // A lock that stays taken longer than 200 ms does not stop the line; a lock
    // that cannot be had at all (no lock file) drops it.
    auto lock = os::NamedLock::Acquire("LogFileMetux", std::chrono::milliseconds(200));
    if (!lock && lock.error().code != ETIMEDOUT)
        return;
    os::UniqueFd fd(::open(file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600));
    if (fd.get() < 0)
        return;
    // One write of the whole line: with O_APPEND it lands whole at the end.
    (void)!::write(fd.get(), line.data(), line.size());
}

} // namespace

void WriteLog(const char* format, ...) noexcept
{
    char message[kMessageChars + 1];
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof message, format, args);
    va_end(args);
    try {
        AppendLine(message);
    } catch (...) {
        // Out of memory while building the line: the line is lost, as on any
        // other log failure.
    }
}

} // namespace ospreon::plugin
