#include "platform/os/memory_status.h"

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

#include "platform/os/paths.h"
#include "platform/os/unique_fd.h"

namespace ospreon::os {

namespace {

// The number of a "Key:   1234 kB" line.
std::optional<std::uint64_t> FieldValue(std::string_view text, std::string_view key)
{
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (!line.starts_with(key))
            continue;
        line.remove_prefix(key.size());
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
            line.remove_prefix(1);
        std::uint64_t value = 0;
        auto [ptr, ec] = std::from_chars(line.data(), line.data() + line.size(), value);
        if (ec != std::errc() || ptr == line.data())
            return std::nullopt;
        return value;
    }
    return std::nullopt;
}

} // namespace

Result<unsigned> MemoryLoad()
{
    const std::string path = (ProcRoot() / "meminfo").string();
    // MemTotal and MemAvailable are the first and third lines; the file is ~1.5 kB.
    char buffer[8192];
    const long got = ReadFileHead(AT_FDCWD, path.c_str(), buffer, sizeof buffer);
    if (got < 0) {
        const int code = static_cast<int>(-got);
        return Error::Errno(code,
                            "cannot read " + path + ": " + std::generic_category().message(code));
    }

    const std::string_view text(buffer, static_cast<std::size_t>(got));
    const auto total = FieldValue(text, "MemTotal:");
    const auto available = FieldValue(text, "MemAvailable:");
    if (!total || !available)
        return Error::Errno(EINVAL, path + " has no readable MemTotal and MemAvailable");
    if (*total == 0)
        return Error::Errno(EINVAL, path + " gives a MemTotal of 0");

    const std::uint64_t used = *available < *total ? *total - *available : 0;
    return static_cast<unsigned>(used * 100 / *total);
}

} // namespace ospreon::os
