#include "platform/os/process_list.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <memory>
#include <optional>
#include <string_view>
#include <system_error>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/os/paths.h"
#include "platform/os/unique_fd.h"

namespace ospreon::os {

namespace {

// A monitor lists every process on each run, so the files are read with one open
// and (usually) one read into a stack buffer, relative to the root's descriptor.

struct DirectoryCloser
{
    void operator()(DIR* dir) const { ::closedir(dir); }
};
using Directory = std::unique_ptr<DIR, DirectoryCloser>;

// The head of a file below `dirFd`, up to `size` bytes, or nothing when it cannot be
// read.
std::optional<std::string_view> ReadAt(int dirFd, const char* path, char* buffer, std::size_t size)
{
    const long got = ReadFileHead(dirFd, path, buffer, size);
    if (got < 0)
        return std::nullopt;
    return std::string_view(buffer, static_cast<std::size_t>(got));
}

// "<pid>/<file>" into `out`, which holds any pid folder name readdir gave us.
const char* EntryPath(char (&out)[64], std::string_view pidName, std::string_view file)
{
    std::memcpy(out, pidName.data(), pidName.size());
    out[pidName.size()] = '/';
    std::memcpy(out + pidName.size() + 1, file.data(), file.size());
    out[pidName.size() + 1 + file.size()] = '\0';
    return out;
}

std::optional<int> ParsePid(std::string_view name)
{
    int pid = 0;
    auto [end, ec] = std::from_chars(name.data(), name.data() + name.size(), pid);
    if (ec != std::errc() || end != name.data() + name.size() || pid <= 0)
        return std::nullopt;
    return pid;
}

// The file name of the executable, without the suffix the kernel adds once the
// file was replaced or removed.
std::string_view ExecutableBaseName(std::string_view target)
{
    constexpr std::string_view deleted = " (deleted)";
    if (target.ends_with(deleted))
        target.remove_suffix(deleted.size());
    if (const auto slash = target.rfind('/'); slash != std::string_view::npos)
        target.remove_prefix(slash + 1);
    return target;
}

// VmRSS in bytes; nothing for processes without an address space (kernel threads,
// zombies), which have no such line.
std::optional<std::uint64_t> ResidentBytes(std::string_view status)
{
    constexpr std::string_view key = "VmRSS:";
    std::size_t at = status.starts_with(key) ? 0 : status.find("\nVmRSS:");
    if (at == std::string_view::npos)
        return std::nullopt;
    at += status[at] == '\n' ? key.size() + 1 : key.size();
    const char* cursor = status.data() + at;
    const char* last = status.data() + status.size();
    while (cursor < last && (*cursor == ' ' || *cursor == '\t'))
        ++cursor;
    std::uint64_t kilobytes = 0;
    std::from_chars(cursor, last, kilobytes);
    return kilobytes * 1024;
}

// One process, or nothing when it ended while we read it.
std::optional<ProcessInfo> ReadProcess(int rootFd, std::string_view pidName, int pid)
{
    ProcessInfo info;
    info.pid = pid;
    char path[64];
    char buffer[8192]; // status is ~1.5 kB; VmRSS sits in its first half

    bool named = false;
    const ssize_t length =
        ::readlinkat(rootFd, EntryPath(path, pidName, "exe"), buffer, sizeof buffer);
    if (length > 0) {
        const auto base = ExecutableBaseName(std::string_view(buffer, length));
        info.name.assign(base);
        named = !base.empty();
    }
    if (!named) {
        if (const auto comm = ReadAt(rootFd, EntryPath(path, pidName, "comm"), buffer, 64)) {
            info.name.assign(comm->substr(0, comm->find('\n')));
            named = true;
        }
    }

    const auto status = ReadAt(rootFd, EntryPath(path, pidName, "status"), buffer, sizeof buffer);
    if (status) {
        if (const auto resident = ResidentBytes(*status)) {
            info.workingSetBytes = *resident;
            info.hasWorkingSet = true;
        }
    }

    if (!named || !status) {
        // Gone, or there but closed to us? (pidName is readdir's NUL-terminated name.)
        struct stat folder;
        if (::fstatat(rootFd, pidName.data(), &folder, 0) != 0)
            return std::nullopt;
        info.readable = false;
    }
    return info;
}

} // namespace

Result<std::vector<ProcessInfo>> ListProcesses()
{
    const std::string root = ProcRoot().string();
    Directory dir(::opendir(root.c_str()));
    if (!dir) {
        const int code = errno;
        return Error::Errno(code,
                            "cannot read " + root + ": " + std::generic_category().message(code));
    }
    const int rootFd = ::dirfd(dir.get());

    std::vector<ProcessInfo> processes;
    processes.reserve(512);
    while (const dirent* entry = ::readdir(dir.get())) {
        if (entry->d_type != DT_DIR && entry->d_type != DT_UNKNOWN)
            continue;
        const std::string_view name(entry->d_name);
        if (name.size() > 20) // longer than any pid; also keeps EntryPath in bounds
            continue;
        const auto pid = ParsePid(name);
        if (!pid)
            continue;
        if (auto process = ReadProcess(rootFd, name, *pid))
            processes.push_back(std::move(*process));
    }
    return processes;
}

} // namespace ospreon::os
