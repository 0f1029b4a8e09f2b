#include "service/ctl/bundled_plugins.h"

#include <cerrno>
#include <optional>
#include <string>

#include "platform/com/guid.h"
#include "platform/os/file_io.h"
#include "platform/registry/registry.h"

namespace ospreon::ctl {

namespace {

namespace fs = std::filesystem;

// Values named by module file name; present: setup registered that module once.
constexpr char kMarkKey[] = "SOFTWARE\\Brackwater\\Ospreon\\Setup\\Registered";

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

Result<bool> HasSetupMark(const std::string& module)
{
    registry::Key key;
    LSTATUS status = RegOpenKeyEx(HKEY_LOCAL_MACHINE, kMarkKey, 0, KEY_READ, key.put());
    if (status == ERROR_FILE_NOT_FOUND)
        return false;
    std::string value;
    if (status == ERROR_SUCCESS)
        status = registry::GetString(key.get(), module.c_str(), value);
    if (status == ERROR_FILE_NOT_FOUND)
        return false;
    if (status != ERROR_SUCCESS)
        return Error::Win32(status, std::string("cannot read HKEY_LOCAL_MACHINE\\") + kMarkKey +
                                        ": " + RegLastErrorText());
    return true;
}

Result<void> SetSetupMark(const std::string& module)
{
    registry::Key key;
    LSTATUS status =
        RegCreateKeyEx(HKEY_LOCAL_MACHINE, kMarkKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                       KEY_ALL_ACCESS, nullptr, key.put(), nullptr);
    if (status == ERROR_SUCCESS)
        status = registry::SetString(key.get(), module.c_str(), "registered by setup");
    if (status != ERROR_SUCCESS)
        return Error::Win32(status, std::string("cannot write HKEY_LOCAL_MACHINE\\") + kMarkKey +
                                        ": " + RegLastErrorText());
    return {};
}

Result<void> ClearSetupMark(const std::string& module)
{
    registry::Key key;
    LSTATUS status = RegOpenKeyEx(HKEY_LOCAL_MACHINE, kMarkKey, 0, KEY_ALL_ACCESS, key.put());
    if (status == ERROR_SUCCESS)
        status = RegDeleteValue(key.get(), module.c_str());
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
        return Error::Win32(status, std::string("cannot write HKEY_LOCAL_MACHINE\\") + kMarkKey +
                                        ": " + RegLastErrorText());
    return {};
}

bool ClassRegistered(const CLSID& clsid)
{
    const std::string path = "CLSID\\" + com::GuidToString(clsid) + "\\InprocServer32";
    registry::Key key;
    return RegOpenKeyEx(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

} // namespace ospreon::ctl
