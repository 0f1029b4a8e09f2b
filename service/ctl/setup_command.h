#pragma once
// `setup`: makes $OSPREON_HOME ready for the console, the daemon and wardenctl.
//
// It creates the folder (mode 0700) with log/ and plugins/; registers the service
// classes of libwardenhost.so; creates the service plug-in key
// HKLM\SOFTWARE\Brackwater\RELAYMOOR\Services\Wardenhost\{IServiceMonitor} and the
// ".htm" association; copies the bundled plug-in modules that are built into
// plugins/ and registers the copies (except a type that setup registered on an
// earlier run and the user has removed since: it stays removed); and fills the
// configuration values "LogFile", "BackupFile" and "ControlPass" that are missing.
// Values that exist are kept, so a second run changes nothing (a changed module is
// copied again).

#include <filesystem>

#include "service/ctl/console_io.h"

namespace ospreon::ctl {

// Where libwardenhost.so and the bundled modules are: $OSPREON_LIB_DIR, else the
// build's lib folder beside the folder of this executable (<build>/bin/../lib).
std::filesystem::path LibraryFolder();

// A new "ControlPass": 24 hex digits from the kernel's random source.
Result<std::string> NewControlPassword();

Outcome RunSetup(Console& console);

} // namespace ospreon::ctl
