#pragma once
// Adding and removing monitor types: a type module registers itself (its COM class,
// its type under the plug-in key, its entry under the service's plug-in key).

#include <string>

#include "service/ctl/console_io.h"

namespace ospreon::ctl {

// Loads the module file and calls its DllRegisterServer.
Outcome RegisterModule(Console& console, const std::string& modulePath);

// Finds the type under the plug-in key, its class's module (InprocServer32), and
// calls the module's DllUnregisterServer.
Outcome UnregisterType(Console& console, const std::string& typeName);

} // namespace ospreon::ctl
