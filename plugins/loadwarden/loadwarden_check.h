#pragma once
// Loadwarden's check: the total processor load against a threshold in percent. The
// processor-time counter is set up and sampled once when the check is created; each
// Monitor measures the window since the previous sample, so every plug-in object
// measures on its own.

#include "platform/os/cpu_counter.h"
#include "plugins/common/plugin_type.h"

namespace ospreon::loadwarden {

class LoadwardenCheck final : public plugin::Check
{
public:
    // Takes the first sample; a counter that cannot be read logs why and leaves the
    // check not ready for the rest of its life.
    LoadwardenCheck();

    HRESULT Monitor(IUser* user) override;

    bool ready() const { return m_ready; }

private:
    os::CpuCounter m_counter;
    bool m_ready = false;
};

} // namespace ospreon::loadwarden
