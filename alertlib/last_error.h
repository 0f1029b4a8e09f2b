#pragma once
// The per-thread reason of the last failure that LastAlertError() hands out.

#include <string_view>

namespace ospreon::alert {

// Starts a call: forgets the previous failure of this thread.
void ClearLastAlertError() noexcept;

// Keeps `reason` as this thread's last failure, on one line (line breaks and other
// control characters become blanks). Never throws: a reason that cannot be stored
// is dropped.
void SetLastAlertError(std::string_view reason) noexcept;

} // namespace ospreon::alert
