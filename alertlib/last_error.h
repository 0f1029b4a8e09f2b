#pragma once
// The per-thread reason of the last failure that LastAlertError() hands out.

#include <string>
#include <string_view>
#include <utility>

#include "platform/base/guard.h"

namespace ospreon::alert {

// Starts a call: forgets the previous failure of this thread.
void ClearLastAlertError() noexcept;

// Keeps `reason` as this thread's last failure, on one line (line breaks and other
// control characters become blanks). Never throws: a reason that cannot be stored
// is dropped.
void SetLastAlertError(std::string_view reason) noexcept;

// Runs the body of an exported call so that no exception leaves it: one that is
// thrown fails the call (0), with `action` and the exception's text as the reason.
template <class Body> int ExportedCall(const char* action, Body&& body) noexcept
{
    return CatchAll(std::forward<Body>(body), [action](const char* what) noexcept {
        try {
            SetLastAlertError(std::string(action) + ": " + (what ? what : "out of memory"));
        } catch (...) {
            SetLastAlertError(action);
        }
        return 0;
    });
}

} // namespace ospreon::alert
