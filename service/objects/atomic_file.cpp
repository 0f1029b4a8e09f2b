#include "service/objects/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <utility>

#include "service/store/service_errors.h"

namespace ospreon::service {

namespace {

constexpr LONG kErrorPathNotFound = 3;
constexpr LONG kErrorDiskFull = 112;

class Fd
{
public:
    explicit Fd(int fd) : m_fd(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    int get() const { return m_fd; }
    // Closes now, so a failed close (a delayed write error) can be seen.
    int Close() { return ::close(std::exchange(m_fd, -1)); }

private:
    int m_fd;
};

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

Error FileError(int error, bool writing, const std::string& what, const std::string& path)
{
    HRESULT hr = HRESULT_FROM_WIN32(writing ? ERROR_CANTWRITE : ERROR_CANTREAD);
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        hr = HRESULT_FROM_WIN32(writing ? kErrorPathNotFound : ERROR_FILE_NOT_FOUND);
        break;
    case EACCES:
    case EPERM:
    case EROFS:
        hr = E_ACCESSDENIED;
        break;
    case ENOSPC:
    case EDQUOT:
        hr = HRESULT_FROM_WIN32(kErrorDiskFull);
        break;
    case ENOMEM:
        hr = E_OUTOFMEMORY;
        break;
    default:
        break;
    }
    return Error{hr, what + " " + path + ": " + std::generic_category().message(error)};
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

} // namespace

Result<std::string> ReadFileText(const std::filesystem::path& path, std::size_t limit)
{
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0)
        return FileError(errno, false, "cannot open", path.string());
    struct stat info
    {};
    if (::fstat(fd.get(), &info) != 0)
        return FileError(errno, false, "cannot read", path.string());
    if (!S_ISREG(info.st_mode))
        return FileError(EISDIR, false, "not a regular file:", path.string());
    if (static_cast<std::size_t>(info.st_size) > limit)
        return Error{WARDEN_E_BADFILE, "monitor file " + path.string() + " is too large"};
    std::string text;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return FileError(errno, false, "cannot read", path.string());
        }
        if (got == 0)
            break;
        text.append(buffer, static_cast<std::size_t>(got));
        if (text.size() > limit)
            return Error{WARDEN_E_BADFILE, "monitor file " + path.string() + " is too large"};
    }
    return text;
}

Result<void> ReplaceFile(const std::filesystem::path& path, std::string_view content)
{
    const std::filesystem::path folder =
        path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
    std::string hidden = ".";
    hidden += path.filename().string();
    hidden += ".XXXXXX";
    std::string pattern = (folder / hidden).string();
    // mkstemp creates the file for the owner only (mode 0600).
    Fd fd(::mkstemp(pattern.data()));
    if (fd.get() < 0)
        return FileError(errno, true, "cannot create a file in", folder.string());
    TemporaryFile temporary(pattern);
    if (!WriteAll(fd.get(), content) || ::fsync(fd.get()) != 0 || fd.Close() != 0)
        return FileError(errno, true, "cannot write", temporary.path());
    if (::rename(temporary.path().c_str(), path.c_str()) != 0)
        return FileError(errno, true, "cannot replace", path.string());
    temporary.Keep();
    // The rename itself is durable only once the folder is synced.
    Fd directory(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.get() < 0 || ::fsync(directory.get()) != 0)
        return FileError(errno, true, "cannot sync the folder", folder.string());
    return {};
}

} // namespace ospreon::service
