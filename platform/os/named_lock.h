#pragma once
// A system-wide named lock: an exclusive flock on "<name>.lock" in
// $XDG_RUNTIME_DIR, else in $OSPREON_HOME/run. Held until the object is destroyed.

#include <chrono>
#include <string_view>

#include "platform/base/result.h"

namespace ospreon::os {

class NamedLock
{
public:
    // Waits at most `timeout`; fails with ETIMEDOUT when the lock stays taken, or
    // with the errno of the lock file when it cannot be opened.
    static Result<NamedLock> Acquire(std::string_view name, std::chrono::milliseconds timeout);

    NamedLock(NamedLock&& other) noexcept;
    NamedLock& operator=(NamedLock&& other) noexcept;
    NamedLock(const NamedLock&) = delete;
    NamedLock& operator=(const NamedLock&) = delete;
    ~NamedLock();

private:
    explicit NamedLock(int fd) : m_fd(fd) {}
    int m_fd = -1;
};

} // namespace ospreon::os
