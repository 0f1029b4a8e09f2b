#pragma once
// The kind of storage a path lives on, with the Win32 DRIVE_* values.

#include <string_view>

namespace ospreon::os {

enum class DriveType : unsigned
{
    Unknown = 0,   // empty or relative path
    NoRootDir = 1, // does not exist or is not a directory
    Removable = 2,
    Fixed = 3,
    Remote = 4, // NFS, CIFS/SMB, SSHFS and other network file systems
    CdRom = 5,
    RamDisk = 6, // tmpfs, ramfs
};

DriveType GetDriveType(std::string_view path);

} // namespace ospreon::os
