#pragma once
// Calling a module's self-registration: load the file (dlopen), call its
// DllRegisterServer or DllUnregisterServer, and unload it again.

#include <string>

#include "platform/wintypes/winerror.h"
#include "service/ctl/console_io.h"

namespace ospreon::ctl {

// Loads the module at `path` (absolute, so the module registers an absolute path)
// and calls its export `name`, an HRESULT function without arguments. A module
// that does not load or lacks the export is an Error with the code
// `loadFailure`; otherwise the export's HRESULT.
Result<HRESULT> CallModuleExport(const std::string& path, const char* name, ExitStatus loadFailure);

} // namespace ospreon::ctl
