#pragma once
// Daemonwarden's check: does one service of the system's service manager exist, and
// does it run? The service is named as "<name> --- <description>", letter case
// ignored; it is looked for among the loaded units, then, when none has its name,
// loaded by that name.

#include "plugins/common/plugin_type.h"

namespace ospreon::daemonwarden {

class DaemonwardenCheck final : public plugin::Check
{
public:
    HRESULT Monitor(IUser* user) override;
};

} // namespace ospreon::daemonwarden
