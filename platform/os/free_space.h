#pragma once
// Free space of a file system as an unprivileged user sees it.

#include <cstdint>
#include <string>

#include "platform/base/result.h"

namespace ospreon::os {

// Bytes available to unprivileged users on the file system that holds `path`
// (statvfs: f_bavail blocks of f_frsize bytes). Fails with errno and the path when
// the path cannot be reached.
Result<std::uint64_t> AvailableBytes(const std::string& path);

} // namespace ospreon::os
