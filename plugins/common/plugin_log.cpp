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
constexpr std::size_t kPathChars = 1023;

// The log path is module-wide: every object of the module writes where the last
// Init said. A mutex keeps a replacement and a write from meeting half-way.
std::mutex g_pathMutex;
std::string g_path; // empty: not set yet

std::string StartPath()
{
    return (os::HomeFolder("log") / "Wardenhost").string();
}

std::string Expand(const std::string& path, const std::tm& now)
{
    if (path.find('%') == std::string::npos)
        return path;
    // strftime gives 0 both for an empty result and for a buffer too small: grow it
    // while a pattern-heavy path may need more ("%c" alone is 24 characters).
    for (std::size_t size = path.size() * 4 + 64; size <= 64 * 1024; size *= 4) {
        std::string expanded(size, '\0');
        if (std::size_t length = std::strftime(expanded.data(), size, path.c_str(), &now)) {
            expanded.resize(length);
            return expanded;
        }
    }
    return {};
}

} // namespace

void SetLogFile(const std::string& path)
{
    std::lock_guard lock(g_pathMutex);
    g_path = path.substr(0, kPathChars);
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
    return Expand(LogFile(), os::LocalNow());
}

namespace {

void AppendLine(const char* message)
{
    const std::tm now = os::LocalNow();
    const std::string file = Expand(LogFile(), now);
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
