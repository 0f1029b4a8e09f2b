#pragma once
// Ramwarden's check: the machine's memory load against a percentage limit, then the
// working set of one named process against a limit in kilobytes.

#include <cstdint>
#include <string>

#include "plugins/common/plugin_type.h"

namespace ospreon::ramwarden {

class RamwardenCheck final : public plugin::Check
{
public:
    HRESULT Monitor(IUser* user) override;
};

// The working set in kilobytes (VmRSS, rounded down, at most 0xFFFFFFFF) of the first
// listed process whose executable base name starts with `name`, letter case
// ignored; processes that cannot be read or have no address space (kernel threads,
// zombies) are passed over. 0 when none matches or the list cannot be had.
std::uint32_t GetProcessMemSize(const std::string& name);

} // namespace ospreon::ramwarden
