#pragma once
// The module's class factory and the bodies of its four exports.

#include <string>

#include "plugins/common/plugin_type.h"

namespace ospreon::plugin {

HRESULT ModuleGetClassObject(const PluginType& type, REFCLSID clsid, REFIID riid, void** object);
HRESULT ModuleCanUnloadNow();

// The full path of the module that holds `address` (dladdr).
std::string ModulePathOf(const void* address);

} // namespace ospreon::plugin
