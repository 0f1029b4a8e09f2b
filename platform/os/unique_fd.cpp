#include "platform/os/unique_fd.h"

#include <cerrno>

#include <unistd.h>

namespace ospreon::os {

void UniqueFd::reset(int fd)
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = fd;
}

long ReadFileHead(int dirFd, const char* path, char* buffer, std::size_t size)
{
    UniqueFd fd(::openat(dirFd, path, O_RDONLY | O_CLOEXEC));
    if (!fd)
        return -errno;
    std::size_t used = 0;
    while (used < size) {
        const ssize_t got = ::read(fd.get(), buffer + used, size - used);
        if (got == 0)
            break;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return -errno;
        }
        used += static_cast<std::size_t>(got);
    }
    return static_cast<long>(used);
}

} // namespace ospreon::os
