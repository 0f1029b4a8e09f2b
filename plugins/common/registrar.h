#pragma once
// What a plug-in writes into the registry: its COM class (ProgIDs, CLSID,
// InprocServer32, TypeLib), its type under the Plugin key, and its entry under a
// service's plug-in key.

#include <string>

#include "plugins/common/plugin_type.h"

namespace ospreon::plugin {

// The registrar's keys for `modulePath`; the keys marked "replaced whole" (the
// CLSID key, its Programmable subkey, the type's subkey of the Plugin key) are
// rebuilt from nothing.
[[nodiscard]] HRESULT RegisterClass(const PluginType& type, const std::string& modulePath);

// Removes the two ProgID keys, the CLSID key and the type's subkey of the Plugin key;
// never their parents.
[[nodiscard]] HRESULT UnregisterClass(const PluginType& type);

// The service plug-in entry: <service key>\{IServiceMonitor}\{CLSID} with
// "PluginName", and its <type name> subkey with the default value "User".
// 0x80300007 no service key, 0x80300008 no interface key, 0x80300009 create failed.
[[nodiscard]] HRESULT RegisterServicePlugin(const PluginType& type, const std::string& serviceName);
[[nodiscard]] HRESULT UnregisterServicePlugin(const PluginType& type,
                                              const std::string& serviceName);

// DllRegisterServer and DllUnregisterServer of a plug-in module; `moduleAddress` is
// any address inside the module, which names its file. Nothing is thrown: out of
// memory gives E_OUTOFMEMORY.
[[nodiscard]] HRESULT RegisterModule(const PluginType& type, const void* moduleAddress) noexcept;
[[nodiscard]] HRESULT UnregisterModule(const PluginType& type) noexcept;

} // namespace ospreon::plugin
