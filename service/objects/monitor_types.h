#pragma once
// The catalogue of monitor types: every subkey of the plug-in key
// HKLM\SOFTWARE\Brackwater\RELAYMOOR\Plugin\{584A0822-C255-11D3-9CCC-00A0246E266E}
// (the type's name; its default value the CLSID of its plug-in class), in the
// registry's order. Each type appears once, names compared without regard to case.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/result.h"
#include "platform/com/guid.h"

namespace ospreon::service {

struct MonitorType
{
    std::string name;
    std::optional<CLSID> clsid; // none: no plug-in object serves the type yet
};

// Fails with REGDB_E_READREGDB when the registry cannot be read.
[[nodiscard]] Result<std::vector<MonitorType>> ReadMonitorTypes();

// The type named `name` without regard to case, or null.
const MonitorType* FindMonitorType(const std::vector<MonitorType>& types, std::string_view name);

// The type a record's name states: the text before its first " of " (found without
// regard to case); nullopt for a name without " of ".
std::optional<std::string_view> TypeInName(std::string_view name);

} // namespace ospreon::service
