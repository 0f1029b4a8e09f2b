#pragma once
// The machine's memory load, from <proc root>/meminfo:
// (MemTotal - MemAvailable) * 100 / MemTotal, rounded down, in percent.

#include "platform/base/result.h"

namespace ospreon::os {

Result<unsigned> MemoryLoad();

} // namespace ospreon::os
