#include "platform/os/drive_type.h"

#include <array>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <optional>
#include <string>

#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>

namespace ospreon::os {

namespace {

// mountinfo writes space, tab, newline and backslash in paths as \ooo.
std::string UnescapeMountField(std::string_view field)
{
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        const bool octal = field[i] == '\\' && i + 3 < field.size() && field[i + 1] >= '0' &&
                           field[i + 1] <= '3' && field[i + 2] >= '0' && field[i + 2] <= '7' &&
                           field[i + 3] >= '0' && field[i + 3] <= '7';
        if (!octal) {
            out += field[i];
            continue;
        }
        out += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                 (field[i + 3] - '0'));
        i += 3;
    }
    return out;
}

bool IsBelow(std::string_view path, std::string_view mountPoint)
{
    if (mountPoint == "/")
        return true;
    return path.starts_with(mountPoint) &&
           (path.size() == mountPoint.size() || path[mountPoint.size()] == '/');
}

// The file system type ("fuse.sshfs") of the mount holding `path`, from this
// process's own mount table: the longest mount point that is a prefix of the path,
// the later one when mounts are stacked on the same point.
std::optional<std::string> MountType(const std::string& path)
{
    std::unique_ptr<char, decltype(&std::free)> canonical(::realpath(path.c_str(), nullptr),
                                                          &std::free);
    if (!canonical)
        return std::nullopt;
    const std::string_view target(canonical.get());

    std::ifstream mountinfo("/proc/self/mountinfo");
    std::string line;
    std::optional<std::string> type;
    std::size_t bestLength = 0;
    while (std::getline(mountinfo, line)) {
        // id parent major:minor root mount-point options [optional...] - type source super
        const std::string_view text(line);
        const auto separator = text.find(" - ");
        if (separator == std::string_view::npos)
            continue;
        std::size_t start = 0;
        for (int field = 0; field < 4 && start != std::string_view::npos; ++field) {
            start = text.find(' ', start);
            if (start != std::string_view::npos)
                ++start;
        }
        if (start == std::string_view::npos || start >= separator)
            continue;
        const std::string mountPoint =
            UnescapeMountField(text.substr(start, text.find(' ', start) - start));
        if (!IsBelow(target, mountPoint) || mountPoint.size() < bestLength)
            continue;
        const std::string_view rest = text.substr(separator + 3);
        type = std::string(rest.substr(0, rest.find(' ')));
        bestLength = mountPoint.size();
    }
    return type;
}

// FUSE carries local file systems (ntfs-3g, exfat) and network ones alike; the
// latter name their protocol or tool in the subtype.
bool IsNetworkFuse(std::string_view type)
{
    constexpr std::array<std::string_view, 10> markers = {
        "ssh", "smb", "cifs", "nfs", "dav", "rclone", "s3", "gvfs", "ceph", "gluster"};
    for (const auto marker : markers) {
        if (type.find(marker) != std::string_view::npos)
            return true;
    }
    return false;
}

bool ReadsOne(const std::string& path)
{
    std::ifstream file(path);
    char first = 0;
    return file.get(first) && first == '1';
}

// A block device the kernel marks removable; a partition inherits its disk's mark.
bool IsRemovableDevice(dev_t device)
{
    char number[32];
    std::string folder = "/sys/dev/block/";
    auto end = std::to_chars(number, number + sizeof number, ::major(device)).ptr;
    folder.append(number, end);
    folder += ':';
    end = std::to_chars(number, number + sizeof number, ::minor(device)).ptr;
    folder.append(number, end);
    return ReadsOne(folder + "/removable") || ReadsOne(folder + "/../removable");
}

} // namespace

DriveType GetDriveType(std::string_view path)
{
    if (path.empty() || path.front() != '/')
        return DriveType::Unknown;
    if (path.find('\0') != std::string_view::npos)
        return DriveType::NoRootDir;
    const std::string target(path);

    struct stat info;
    if (::stat(target.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        return DriveType::NoRootDir;
    struct statfs fs;
    if (::statfs(target.c_str(), &fs) != 0)
        return DriveType::Unknown;

    // f_type is signed and 32 bits wide on some targets: compare the low 32 bits.
    switch (static_cast<std::uint32_t>(fs.f_type)) {
    case NFS_SUPER_MAGIC:
    case SMB_SUPER_MAGIC:
    case CIFS_SUPER_MAGIC:
    case SMB2_SUPER_MAGIC:
    case CODA_SUPER_MAGIC:
    case AFS_SUPER_MAGIC:
    case AFS_FS_MAGIC:
    case CEPH_SUPER_MAGIC:
    case V9FS_MAGIC: // 9p mostly carries a virtual machine's shared folders
        return DriveType::Remote;
    case FUSE_SUPER_MAGIC: {
        const auto type = MountType(target);
        return type && IsNetworkFuse(*type) ? DriveType::Remote : DriveType::Fixed;
    }
    case TMPFS_MAGIC:
    case RAMFS_MAGIC:
        return DriveType::RamDisk;
    case ISOFS_SUPER_MAGIC:
    case UDF_SUPER_MAGIC:
        return DriveType::CdRom;
    default:
        return IsRemovableDevice(info.st_dev) ? DriveType::Removable : DriveType::Fixed;
    }
}

} // namespace ospreon::os
