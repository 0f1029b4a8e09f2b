#pragma once
// What every COM method of this library shares: the guard, the out-parameter
// conversions, and failures that carry their description as error information.

#include <string_view>

#include "platform/com/guard.h"
#include "platform/com/out_param.h"
#include "platform/com/variant.h"
#include "platform/os/result.h"

namespace ospreon::service {

using com::CopyOut;
using com::Guarded;
using com::MoveOut;

// The source of this library's error information.
inline constexpr char kErrorSource[] = "Wardenhost";

// Fails with `hr`, described by `description` (GetErrorInfo).
[[nodiscard]] inline HRESULT Fail(HRESULT hr, std::string_view description) noexcept
{
    return com::FailWith(hr, kErrorSource, description);
}

// Fails with an Error of the store or a parser: its code (E_FAIL when it carries
// none), described by its message.
[[nodiscard]] inline HRESULT Fail(const Error& error) noexcept
{
    return Fail(FAILED(error.code) ? static_cast<HRESULT>(error.code) : E_FAIL, error.message);
}

} // namespace ospreon::service
