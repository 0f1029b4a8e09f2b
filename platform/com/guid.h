#pragma once
// GUIDs (class, interface and library identifiers) and their registry text form
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "platform/wintypes/wintypes.h"

struct GUID
{
    DWORD Data1;
    WORD Data2;
    WORD Data3;
    BYTE Data4[8];

    friend constexpr bool operator==(const GUID& a, const GUID& b)
    {
        if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3)
            return false;
        for (int i = 0; i < 8; ++i) {
            if (a.Data4[i] != b.Data4[i])
                return false;
        }
        return true;
    }
};

using IID = GUID;
using CLSID = GUID;
using REFGUID = const GUID&;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

inline constexpr GUID GUID_NULL{};

constexpr bool IsEqualGUID(REFGUID a, REFGUID b)
{
    return a == b;
}

namespace ospreon::com::detail {

constexpr int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Parses "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX", with or without braces, any case.
constexpr std::optional<GUID> ParseGuid(std::string_view text)
{
    if (text.size() == 38) {
        if (text.front() != '{' || text.back() != '}')
            return std::nullopt;
        text = text.substr(1, 36);
    }
    if (text.size() != 36)
        return std::nullopt;
    std::array<BYTE, 16> bytes{};
    std::size_t n = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (text[i] != '-')
                return std::nullopt;
            continue;
        }
        int hi = HexDigit(text[i]);
        int lo = i + 1 < text.size() ? HexDigit(text[i + 1]) : -1;
        if (hi < 0 || lo < 0)
            return std::nullopt;
        bytes[n++] = static_cast<BYTE>(hi * 16 + lo);
        ++i;
    }
    GUID guid{};
    guid.Data1 =
        (DWORD{bytes[0]} << 24) | (DWORD{bytes[1]} << 16) | (DWORD{bytes[2]} << 8) | bytes[3];
    guid.Data2 = static_cast<WORD>((bytes[4] << 8) | bytes[5]);
    guid.Data3 = static_cast<WORD>((bytes[6] << 8) | bytes[7]);
    for (int i = 0; i < 8; ++i)
        guid.Data4[i] = bytes[8 + i];
    return guid;
}

} // namespace ospreon::com::detail

// A GUID from a literal, checked at compile time: MakeGuid("F63F544A-5F2F-...").
consteval GUID MakeGuid(const char* text)
{
    std::string_view view(text);
    std::optional<GUID> guid = ospreon::com::detail::ParseGuid(view);
    if (!guid)
        throw "malformed GUID literal"; // not a constant expression: compile error
    return *guid;
}

namespace ospreon::com {

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper case.
std::string GuidToString(const GUID& guid);

// Accepts the braced form (and the bare 36-character form) in any case.
std::optional<GUID> GuidFromString(std::string_view text);

} // namespace ospreon::com
