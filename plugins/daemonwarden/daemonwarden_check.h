#pragma once
// Daemonwarden's check: is one service of the system's service manager listed and
// running? The service is named as "<name> --- <description>", letter case ignored.

#include "plugins/common/plugin_type.h"

namespace ospreon::daemonwarden {

class DaemonwardenCheck final : public plugin::Check
{
public:
    HRESULT Monitor(IUser* user) override;
};

} // namespace ospreon::daemonwarden
