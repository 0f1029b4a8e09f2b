#pragma once
// Where Ospreon keeps its data: $OSPREON_HOME, default $XDG_DATA_HOME/ospreon
// (~/.local/share/ospreon). Read from the environment at each call, so a test may
// point a process at a fresh folder.

#include <filesystem>
#include <string_view>

namespace ospreon::os {

// The data folder; not created by this call.
std::filesystem::path Home();

// A folder under Home() ("log", "plugins", "run"), created with its parents
// (mode 0700) when missing. Creation failures surface when the folder is used.
std::filesystem::path HomeFolder(std::string_view name);

// The root of the process file system: $OSPREON_TEST_PROC_ROOT, else "/proc".
std::filesystem::path ProcRoot();

} // namespace ospreon::os
