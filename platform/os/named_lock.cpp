#include "platform/os/named_lock.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "platform/os/paths.h"
#include "platform/os/unique_fd.h"

namespace ospreon::os {

namespace {

std::filesystem::path LockFolder()
{
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime) {
        std::error_code ec;
        if (std::filesystem::is_directory(runtime, ec))
            return runtime;
    }
    return HomeFolder("run");
}

} // namespace

Result<NamedLock> NamedLock::Acquire(std::string_view name, std::chrono::milliseconds timeout)
{
    const std::string lockName(name);
    if (lockName.empty() || lockName.find_first_of(std::string_view("/\0", 2)) != std::string::npos)
        return Error::Errno(EINVAL,
                            "invalid lock name '" + lockName + "': must be a plain file name");

    const std::filesystem::path path = LockFolder() / (lockName + ".lock");
    // Closes the lock file on the failure paths; released once the lock is taken.
    UniqueFd file(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (file.get() < 0) {
        int code = errno;
        return Error::Errno(code,
                            "cannot open lock file " + path.string() + ": " + std::strerror(code));
    }

    // flock has no timed wait: try, and retry after a short sleep until the time is
    // up. The locks guard one log line at a time, so a holder lets go quickly.
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        if (::flock(file.get(), LOCK_EX | LOCK_NB) == 0)
            return NamedLock(file.release());
        int code = errno;
        if (code == EINTR)
            continue;
        if (code != EWOULDBLOCK)
            return Error::Errno(code, "cannot lock " + path.string() + ": " + std::strerror(code));
        if (Clock::now() >= deadline)
            return Error::Errno(ETIMEDOUT, "lock '" + lockName + "' still held by another after " +
                                               std::to_string(timeout.count()) + " ms (" +
                                               path.string() + ")");
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

NamedLock::NamedLock(NamedLock&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}

NamedLock& NamedLock::operator=(NamedLock&& other) noexcept
{
    if (this != &other) {
        NamedLock released(std::move(*this));
        m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
}

NamedLock::~NamedLock()
{
    if (m_fd < 0)
        return;
    ::flock(m_fd, LOCK_UN);
    ::close(m_fd);
}

} // namespace ospreon::os
