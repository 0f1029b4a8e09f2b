#pragma once
// ASCII letter case, the way names are compared throughout Ospreon: registry key
// and value names, record names and types, service names, host names and URL
// schemes. Only A-Z and a-z fold; every other byte (and UTF-8 sequence) compares
// exactly, whatever the user's locale.

#include <cstddef>
#include <string>
#include <string_view>

namespace ospreon {

constexpr char AsciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// UTF-16 code units fold alike: only the 26 ASCII letters.
constexpr char16_t AsciiLower(char16_t c)
{
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

inline std::string ToLowerAscii(std::string_view text)
{
    std::string lower(text);
    for (char& c : lower)
        c = AsciiLower(c);
    return lower;
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

constexpr bool StartsWithNoCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
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

} // namespace ospreon
