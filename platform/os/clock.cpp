#include "platform/os/clock.h"

#include <charconv>
#include <cstdlib>
#include <optional>
#include <string_view>

namespace ospreon::os {

namespace {

// One fixed-width field of digits (checked by the caller).
int Field(std::string_view text, std::size_t pos, std::size_t width)
{
    int value = 0;
    std::from_chars(text.data() + pos, text.data() + pos + width, value);
    return value;
}

// "YYYY-MM-DDTHH:MM:SS" as a local time, with weekday and day of year filled in;
// nothing for any other text or a date that does not exist.
std::optional<std::tm> ParseFixedNow(std::string_view text)
{
    constexpr std::string_view shape = "0000-00-00T00:00:00";
    if (text.size() != shape.size())
        return std::nullopt;
    for (std::size_t i = 0; i < shape.size(); ++i) {
        const bool fits = shape[i] == '0' ? text[i] >= '0' && text[i] <= '9' : text[i] == shape[i];
        if (!fits)
            return std::nullopt;
    }

    std::tm given{};
    const int year = Field(text, 0, 4);
    const int month = Field(text, 5, 2);
    given.tm_mday = Field(text, 8, 2);
    given.tm_hour = Field(text, 11, 2);
    given.tm_min = Field(text, 14, 2);
    given.tm_sec = Field(text, 17, 2);
    if (year < 1900 || month < 1 || month > 12 || given.tm_mday < 1 || given.tm_hour > 23 ||
        given.tm_min > 59 || given.tm_sec > 60)
        return std::nullopt;
    given.tm_year = year - 1900;
    given.tm_mon = month - 1;
    given.tm_isdst = -1;

    // mktime fills in the weekday, the day of the year and the zone; it normalises an
    // impossible date (31 April) into another one, which we refuse.
    std::tm normal = given;
    normal.tm_wday = -1; // left alone by a failing mktime
    std::mktime(&normal);
    if (normal.tm_wday < 0)
        return std::nullopt;
    if (normal.tm_year != given.tm_year || normal.tm_mon != given.tm_mon ||
        normal.tm_mday != given.tm_mday)
        return std::nullopt;
    // Keep the clock reading as given, even inside a daylight-saving gap.
    normal.tm_hour = given.tm_hour;
    normal.tm_min = given.tm_min;
    normal.tm_sec = given.tm_sec;
    return normal;
}

} // namespace

std::tm LocalNow()
{
    if (const char* fixed = std::getenv("OSPREON_TEST_NOW")) {
        if (auto parsed = ParseFixedNow(fixed))
            return *parsed;
    }
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

} // namespace ospreon::os

namespace ospreon::os {

std::string ExpandTimePatterns(const std::string& pattern, const std::tm& when)
{
    if (pattern.find('%') == std::string::npos)
        return pattern;
    // strftime gives 0 both for an empty result and for a buffer too small: grow it
    // while a pattern-heavy path may need more ("%c" alone is 24 characters).
    for (std::size_t size = pattern.size() * 4 + 64; size <= 64 * 1024; size *= 4) {
        std::string expanded(size, '\0');
        if (std::size_t length = std::strftime(expanded.data(), size, pattern.c_str(), &when)) {
            expanded.resize(length);
            return expanded;
        }
    }
    return {};
}

} // namespace ospreon::os
