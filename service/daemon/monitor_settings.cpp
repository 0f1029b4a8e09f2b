#include "service/daemon/monitor_settings.h"

namespace ospreon::daemon {

namespace {

// Larger values are taken as this: a check a day at most, so the schedule's
// arithmetic never overflows.
constexpr long long kLargest = 86'400LL * 366;

} // namespace

std::optional<long long> PositiveNumber(const std::optional<std::string>& text)
{
    if (!text)
        return std::nullopt;
    std::size_t at = 0;
    while (at < text->size() && ((*text)[at] == ' ' || (*text)[at] == '\t'))
        ++at;
    bool negative = false;
    if (at < text->size() && ((*text)[at] == '+' || (*text)[at] == '-'))
        negative = (*text)[at++] == '-';
    long long number = 0;
    for (; at < text->size() && (*text)[at] >= '0' && (*text)[at] <= '9'; ++at)
        number = std::min(kLargest, number * 10 + ((*text)[at] - '0'));
    if (negative || number < 1)
        return std::nullopt;
    return number;
}

MonitorSettings ReadSettings(const SettingValues& values)
{
    MonitorSettings settings;
    settings.enabled = values.status && *values.status == "Enable";
    if (std::optional<long long> interval = PositiveNumber(values.interval))
        settings.interval = std::chrono::seconds(*interval);
    if (std::optional<long long> timeout = PositiveNumber(values.timeout))
        settings.timeout = std::chrono::seconds(*timeout);
    settings.failTimes = PositiveNumber(values.failTimes).value_or(3);
    settings.maxFailTimes = PositiveNumber(values.maxFailTimes).value_or(settings.failTimes + 1);
    return settings;
}

} // namespace ospreon::daemon
