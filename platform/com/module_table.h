#pragma once
// The in-process server modules loaded by this process, each once.

#include <functional>
#include <string>

#include "platform/com/unknown.h"

namespace ospreon::com {

// Loads the module at `path` (once per process) and runs `use` with its
// DllGetClassObject. The module cannot be unloaded while `use` runs, so a caller can
// get the factory and create its object without racing FreeUnusedModules. On a load
// failure `error` says why (the loader's own text for CO_E_DLLNOTFOUND).
HRESULT UseModule(const std::string& path, const std::function<HRESULT(DllGetClassObjectFn)>& use,
                  std::string& error);

// Unloads every module not in use whose DllCanUnloadNow answers S_OK.
void FreeUnusedModules();

} // namespace ospreon::com
