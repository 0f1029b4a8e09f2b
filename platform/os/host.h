#pragma once

#include <string>

namespace ospreon::os {

// The local computer's name (gethostname), as COM compares server names with it.
std::string LocalHostName();

} // namespace ospreon::os
