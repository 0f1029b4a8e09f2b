#pragma once
// How long a network check may take: a little under the record's time-out, so the
// check ends with its own reason in the log before the service gives up on it.

#include <chrono>

#include "interfaces/user.h"

namespace ospreon::plugin {

// "Monitor_Timeout (s)" (default 20; a value that does not read as a positive
// number counts as the default) less a tenth, at most one second less.
std::chrono::milliseconds CheckTimeBudget(IUser* user);

} // namespace ospreon::plugin
