#pragma once
// Splitting of registry key paths ("CLSID\{...}\InprocServer32") into names.

#include <string_view>
#include <vector>

#include "platform/base/result.h"

namespace ospreon::registry {

using KeyPath = std::vector<std::string_view>;

// The names of `path`, outermost first; an empty path gives none. One trailing
// backslash is tolerated. A leading backslash or an empty name inside the path
// ("a\\b") fails with ERROR_INVALID_PARAMETER: it can only come from a path built
// wrongly, and guessing which key was meant could touch the wrong one.
Result<KeyPath> SplitKeyPath(std::string_view path);

} // namespace ospreon::registry
