#pragma once
// The body of every COM method of ours runs in Guarded: the thread's error
// information is cleared on entry, so a failure never shows an older failure's
// text, and no exception reaches the caller: memory that cannot be had ends the
// method with E_OUTOFMEMORY, any other exception with E_FAIL.

#include <utility>

#include "platform/base/guard.h"
#include "platform/com/error_info.h"

namespace ospreon::com {

template <class Body> HRESULT Guarded(Body&& body) noexcept
{
    ClearErrorInfo();
    return CatchAll(std::forward<Body>(body),
                    [](const char* what) noexcept { return what ? E_FAIL : E_OUTOFMEMORY; });
}

} // namespace ospreon::com
