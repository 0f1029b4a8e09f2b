#include "platform/os/paths.h"

#include <cstdlib>
#include <system_error>

#include <sys/stat.h>

namespace ospreon::os {

namespace {

const char* NonEmptyEnv(const char* name)
{
    const char* value = std::getenv(name);
    return value && *value ? value : nullptr;
}

} // namespace

std::filesystem::path Home()
{
    if (const char* home = NonEmptyEnv("OSPREON_HOME"))
        return home;
    if (const char* data = NonEmptyEnv("XDG_DATA_HOME"))
        return std::filesystem::path(data) / "ospreon";
    if (const char* user = NonEmptyEnv("HOME"))
        return std::filesystem::path(user) / ".local/share/ospreon";
    return std::filesystem::current_path() / ".ospreon";
}

std::filesystem::path HomeFolder(std::string_view name)
{
    std::filesystem::path folder = Home() / name;
    std::error_code ec;
    if (std::filesystem::is_directory(folder, ec))
        return folder;
    // Our data holds passwords: folders we create are for the owner only.
    std::filesystem::path partial;
    for (const auto& part : folder) {
        partial /= part;
        ::mkdir(partial.c_str(), 0700);
    }
    return folder;
}

std::filesystem::path ProcRoot()
{
    if (const char* root = NonEmptyEnv("OSPREON_TEST_PROC_ROOT"))
        return root;
    return "/proc";
}

} // namespace ospreon::os
