#pragma once
// What every COM method of this library shares: the guard, the out-parameter
// conversions, and failures that carry their description as error information.

#include <string_view>

#include "platform/base/result.h"
#include "platform/com/guard.h"
#include "platform/com/out_param.h"
#include "platform/com/variant.h"

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

// Fails with an Error of the store, a parser or the platform: its HRESULT
// (com::HResultOf), described by its message.
[[nodiscard]] inline HRESULT Fail(const Error& error) noexcept
{
    return Fail(com::HResultOf(error), error.message);
}

} // namespace ospreon::service
