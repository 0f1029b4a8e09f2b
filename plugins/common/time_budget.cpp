#include "plugins/common/time_budget.h"

#include <algorithm>

#include "plugins/common/record_reader.h"

namespace ospreon::plugin {

namespace {

constexpr long long kDefaultSeconds = 20;
// A day: anything longer is a typing slip, not a time-out.
constexpr long long kMaxSeconds = 24 * 60 * 60;

} // namespace

std::chrono::milliseconds CheckTimeBudget(IUser* user)
{
    long long seconds = kDefaultSeconds;
    const ParamText timeout =
        ReadText(user, "Monitor_Timeout (s)", std::to_string(kDefaultSeconds));
    if (timeout.read && SUCCEEDED(timeout.hr)) {
        const long long value = LeadingNumber(timeout.text);
        if (value > 0)
            seconds = std::min(value, kMaxSeconds);
    }
    const long long ms = seconds * 1000;
    return std::chrono::milliseconds(ms - std::min<long long>(1000, ms / 10));
}

} // namespace ospreon::plugin
