#pragma once
// `registry set` and `registry query`: the registry stand-in, reached through the
// registry API. Key paths start with a root: HKEY_CLASSES_ROOT (HKCR) or
// HKEY_LOCAL_MACHINE (HKLM), in any letter case; "" names a key's default value.

#include <optional>
#include <string>

#include "platform/registry/registry.h"
#include "service/ctl/console_io.h"

namespace ospreon::ctl {

struct KeyName
{
    HKEY root = nullptr;
    std::string subKey; // below the root; empty for the root itself
};

// Splits "HKLM\SOFTWARE\x" into its root and subkey; bad input for another root.
Result<KeyName> ParseKeyName(const std::string& path);

// Data as `registry query` prints it: text as it is, REG_DWORD in decimal, other
// types as "hex:" and their bytes.
std::string FormatRegistryData(DWORD type, const std::string& bytes);

// Writes `data` as REG_SZ under `value` of `key`, creating the key.
Outcome SetRegistryValue(Console& console, const std::string& key, const std::string& value,
                         const std::string& data);

// With a value name: its data alone. Without: "NAME = DATA" per value (the default
// value as "(default)"), then "[SUBKEY]" per subkey.
Outcome QueryRegistry(Console& console, const std::string& key,
                      const std::optional<std::string>& value);

// With a value name: deletes that value. Without: deletes the key with its subkeys
// and values.
Outcome DeleteRegistry(Console& console, const std::string& key,
                       const std::optional<std::string>& value);

} // namespace ospreon::ctl
