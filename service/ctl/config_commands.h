#pragma once
// The service's configuration section "Wardenhost" ("LogFile", "BackupFile",
// "ControlPass", ...) and the reload request that follows a change of it.

#include <string>

#include "service/ctl/console_io.h"

namespace ospreon::ctl {

Outcome GetConfig(Console& console, const std::string& name);
// Puts the value and saves the section.
Outcome SetConfig(Console& console, const std::string& name, const std::string& value);
// IServiceControl.Reload with the configured "ControlPass".
Outcome Reload(Console& console);

} // namespace ospreon::ctl
