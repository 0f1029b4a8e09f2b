#pragma once
// Volumewarden's check: the free space available to unprivileged users on the file
// system holding "Monitor_Parameter", in megabytes of 1,048,576 bytes, must not be
// less than "Ext_Free space threshold (Mb)". A path that cannot be reached fails.

#include "plugins/common/plugin_type.h"

namespace ospreon::volumewarden {

class VolumewardenCheck final : public plugin::Check
{
public:
    HRESULT Monitor(IUser* user) override;
};

} // namespace ospreon::volumewarden
