#pragma once
// Pagewarden's check: one fetch of the page in "Monitor_Parameter" (with the
// record's proxy and credentials, within a little less than its time-out), judged
// by the success flag "MonitorExt_SuccessFlag" on the same bytes the console's
// "Check" button uses: "SIZE:n" the size read, "SUM:n" the byte sum of the body
// text, "STR:text" a text the body contains. A status of 400 or above fails.

#include <cstdint>
#include <string>

#include "plugins/common/plugin_type.h"

namespace ospreon::pagewarden {

class PagewardenCheck final : public plugin::Check
{
public:
    HRESULT Monitor(IUser* user) override;
};

// The sum of the bytes of `text`, each from 0 to 255, wrapping at 2^32.
std::uint32_t ByteSum(const std::string& text);

// The fetch's total budget in milliseconds for a monitor time-out of `seconds`
// (20 when not above 0): a tenth less, at most two seconds less, so the check's
// own reason is logged before the service gives up on it.
unsigned FetchBudgetMs(long long seconds);

} // namespace ospreon::pagewarden
