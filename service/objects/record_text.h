#pragma once
// Record names and parameter keys are how records and entries are found, so they
// hold no control character (U+0000 to U+001F, U+007F): SQLite's case-blind
// comparison stops at a NUL, and such a name could match another record's.
// Values may hold any text.

#include <string_view>

#include "platform/base/result.h"

namespace ospreon::service {

// E_INVALIDARG "the name has a control character (U+0000) at position 15" for a
// record name with one (positions count characters from 0).
[[nodiscard]] Result<void> CheckRecordName(std::string_view name);
// The same for a parameter key ("the key has ...").
[[nodiscard]] Result<void> CheckParameterKey(std::string_view key);

} // namespace ospreon::service
