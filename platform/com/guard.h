#pragma once
// The body of every COM method of ours runs in Guarded: the thread's error
// information is cleared on entry, so a failure never shows an older failure's
// text, and no exception reaches the caller: memory that cannot be had ends the
// method with E_OUTOFMEMORY, any other exception with E_FAIL.

#include <new>

#include "platform/com/error_info.h"

namespace ospreon::com {

template <class Body> HRESULT Guarded(Body&& body) noexcept
{
    ClearErrorInfo();
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

} // namespace ospreon::com
