#include "platform/os/file_io.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "platform/os/unique_fd.h"

namespace ospreon::os {

namespace {

Error FileError(int error, const std::string& what, const std::string& path)
{
    return Error::Errno(error, what + " " + path + ": " + std::generic_category().message(error));
}

bool WriteAll(int fd, std::string_view content)
{
    while (!content.empty()) {
        const ssize_t written = ::write(fd, content.data(), content.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        content.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// Removes the temporary file unless it was renamed into place.
class TemporaryFile
{
public:
    explicit TemporaryFile(std::string path) : m_path(std::move(path)) {}
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile()
    {
        if (!m_kept)
            ::unlink(m_path.c_str());
    }
    const std::string& path() const { return m_path; }
    void Keep() { m_kept = true; }

private:
    std::string m_path;
    bool m_kept = false;
};

} // namespace

Result<std::string> ReadWholeFile(const std::filesystem::path& path, std::size_t limit)
{
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd)
        return FileError(errno, "cannot open", path.string());
    struct stat info
    {};
    if (::fstat(fd.get(), &info) != 0)
        return FileError(errno, "cannot read", path.string());
    if (!S_ISREG(info.st_mode))
        return Error::Errno(EISDIR, "not a regular file: " + path.string());
    const auto tooLarge = [&] {
        return Error::Errno(EFBIG,
                            path.string() + " is larger than " + std::to_string(limit) + " bytes");
    };
    if (static_cast<std::size_t>(info.st_size) > limit)
        return tooLarge();
    std::string text;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return FileError(errno, "cannot read", path.string());
        }
        if (got == 0)
            return text;
        // A file that grows while it is read is held to the same limit.
        if (text.size() + static_cast<std::size_t>(got) > limit)
            return tooLarge();
        text.append(buffer, static_cast<std::size_t>(got));
    }
}

Result<void> ReplaceFileAtomically(const std::filesystem::path& path, std::string_view content,
                                   mode_t mode)
{
    const std::filesystem::path folder =
        path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
    std::string pattern = (folder / ("." + path.filename().string() + ".XXXXXX")).string();
    // mkostemp creates the file for the owner only (0600) until fchmod widens it.
    UniqueFd fd(::mkostemp(pattern.data(), O_CLOEXEC));
    if (!fd)
        return FileError(errno, "cannot create a file in", folder.string());
    TemporaryFile temporary(pattern);
    if (!WriteAll(fd.get(), content) || ::fchmod(fd.get(), mode) != 0 || ::fsync(fd.get()) != 0)
        return FileError(errno, "cannot write", temporary.path());
    // Closed here, so that a delayed write error is seen.
    if (::close(fd.release()) != 0)
        return FileError(errno, "cannot write", temporary.path());
    if (::rename(temporary.path().c_str(), path.c_str()) != 0)
        return FileError(errno, "cannot replace", path.string());
    temporary.Keep();
    // The rename itself is durable only once the folder is synced.
    UniqueFd directory(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!directory || ::fsync(directory.get()) != 0)
        return FileError(errno, "cannot sync the folder", folder.string());
    return {};
}

} // namespace ospreon::os
