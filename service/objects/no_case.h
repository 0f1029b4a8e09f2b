#pragma once
// Names compared without regard to ASCII letter case, as the store compares record
// names and configuration names.

#include <string_view>

namespace ospreon::service {

constexpr char AsciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr bool EqualsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i]))
            return false;
    }
    return true;
}

// The position of the first `needle` in `text`, or npos.
constexpr std::size_t FindNoCase(std::string_view text, std::string_view needle)
{
    if (needle.size() > text.size())
        return std::string_view::npos;
    for (std::size_t i = 0; i + needle.size() <= text.size(); ++i) {
        if (EqualsNoCase(text.substr(i, needle.size()), needle))
            return i;
    }
    return std::string_view::npos;
}

} // namespace ospreon::service
