#pragma once
// A monitor's schedule and alarm settings as the daemon reads them from its record.
// A missing value, or one that is not a positive number (by leading-number
// reading), takes the Advanced page's default: interval 120 s, time-out 20 s,
// "Monitor_FailTimes" 3, "Monitor_MaxFailTimes" the failures tolerated plus 1.

#include <chrono>
#include <optional>
#include <string>

namespace ospreon::daemon {

struct MonitorSettings
{
    bool enabled = false; // "Status" is exactly "Enable"
    std::chrono::seconds interval{120};
    std::chrono::seconds timeout{20};
    long long failTimes = 3;
    long long maxFailTimes = 4;
    bool operator==(const MonitorSettings&) const = default;
};

struct SettingValues
{
    std::optional<std::string> status;
    std::optional<std::string> interval;
    std::optional<std::string> timeout;
    std::optional<std::string> failTimes;
    std::optional<std::string> maxFailTimes;
};

MonitorSettings ReadSettings(const SettingValues& values);

// Leading-number reading of `text` when it gives a number of 1 or more.
std::optional<long long> PositiveNumber(const std::optional<std::string>& text);

} // namespace ospreon::daemon
