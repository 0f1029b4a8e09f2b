#include "platform/os/free_space.h"

#include <cerrno>
#include <cstring>

#include <sys/statvfs.h>

namespace ospreon::os {

Result<std::uint64_t> AvailableBytes(const std::string& path)
{
    struct statvfs fs;
    int rc;
    while ((rc = ::statvfs(path.c_str(), &fs)) != 0 && errno == EINTR) {
    }
    if (rc != 0) {
        const int error = errno;
        return Error::Errno(error, path + ": " + std::strerror(error));
    }
    return static_cast<std::uint64_t>(fs.f_bavail) * static_cast<std::uint64_t>(fs.f_frsize);
}

} // namespace ospreon::os
