#pragma once
// The module's lock count, its class factory and the bodies of its four exports.

#include "platform/com/module_lock.h"
#include "plugins/common/plugin_type.h"

namespace ospreon::plugin {

// This module's lock count: the frame is linked into every plug-in module with
// hidden symbols, so each module counts its own objects.
extern com::ModuleLock g_moduleLock;

HRESULT ModuleGetClassObject(const PluginType& type, REFCLSID clsid, REFIID riid, void** object);
HRESULT ModuleCanUnloadNow();

} // namespace ospreon::plugin
