#include "service/ctl/bundled_plugins.h"

#include <cerrno>
#include <optional>
#include <string>

#include "platform/os/file_io.h"

namespace ospreon::ctl {

namespace {

namespace fs = std::filesystem;

// Larger than any module we ship by far; a bigger file is not one of ours.
constexpr std::size_t kMaxModuleSize = std::size_t{1} << 30;

// The bytes of `target` when it exists; nullopt when it does not.
Result<std::optional<std::string>> ReadIfPresent(const fs::path& target)
{
    Result<std::string> bytes = os::ReadWholeFile(target, kMaxModuleSize);
    if (!bytes && bytes.error().code == ENOENT)
        return std::optional<std::string>();
    if (!bytes)
        return bytes.error();
    return std::optional<std::string>(std::move(*bytes));
}

} // namespace

Result<bool> CopyIfChanged(const fs::path& source, const fs::path& target)
{
    Result<std::string> wanted = os::ReadWholeFile(source, kMaxModuleSize);
    if (!wanted)
        return wanted.error();
    Result<std::optional<std::string>> present = ReadIfPresent(target);
    if (!present)
        return present.error();
    if (*present && **present == *wanted) // std::string compares the size first
        return false;
    if (Result<void> replaced = os::ReplaceFileAtomically(target, *wanted, 0700); !replaced)
        return replaced.error();
    return true;
}

} // namespace ospreon::ctl
