#include "service/ctl/bundled_plugins.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <system_error>

#include <sys/stat.h>
#include <unistd.h>

#include "platform/os/unique_fd.h"

namespace ospreon::ctl {

namespace {

namespace fs = std::filesystem;

std::string SystemError(int error)
{
    return std::error_code(error, std::generic_category()).message();
}

Result<std::string> ReadWhole(const fs::path& file)
{
    errno = 0;
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        const int error = errno ? errno : EIO;
        return Error{error, "cannot read " + file.string() + ": " + SystemError(error)};
    }
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        return Error{EIO, "cannot read " + file.string()};
    return bytes;
}

// The bytes of `target` when it exists; nullopt when it does not.
Result<std::optional<std::string>> ReadIfPresent(const fs::path& target)
{
    std::error_code ec;
    if (!fs::exists(target, ec))
        return std::optional<std::string>();
    Result<std::string> bytes = ReadWhole(target);
    if (!bytes)
        return bytes.error();
    return std::optional<std::string>(std::move(*bytes));
}

Result<void> WriteAll(int fd, const std::string& bytes, const fs::path& file)
{
    std::size_t written = 0;
    while (written < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return Error{errno, "cannot write " + file.string() + ": " + SystemError(errno)};
        written += static_cast<std::size_t>(n);
    }
    return {};
}

// Writes `bytes` into a new file beside `target` and renames it over `target`.
Result<void> ReplaceFile(const fs::path& target, const std::string& bytes)
{
    std::string temporary =
        (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
    os::UniqueFd file(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!file)
        return Error{errno,
                     "cannot create a file beside " + target.string() + ": " + SystemError(errno)};
    auto fail = [&](Error error) -> Result<void> {
        ::unlink(temporary.c_str());
        return error;
    };
    if (Result<void> written = WriteAll(file.get(), bytes, temporary); !written)
        return fail(written.error());
    if (::fchmod(file.get(), 0700) != 0 || ::fsync(file.get()) != 0)
        return fail(Error{errno, "cannot finish " + temporary + ": " + SystemError(errno)});
    file.reset();
    if (::rename(temporary.c_str(), target.c_str()) != 0)
        return fail(Error{errno, "cannot replace " + target.string() + ": " + SystemError(errno)});
    return {};
}

} // namespace

Result<bool> CopyIfChanged(const fs::path& source, const fs::path& target)
{
    Result<std::string> wanted = ReadWhole(source);
    if (!wanted)
        return wanted.error();
    Result<std::optional<std::string>> present = ReadIfPresent(target);
    if (!present)
        return present.error();
    if (*present && **present == *wanted) // std::string compares the size first
        return false;
    if (Result<void> replaced = ReplaceFile(target, *wanted); !replaced)
        return replaced.error();
    return true;
}

} // namespace ospreon::ctl
