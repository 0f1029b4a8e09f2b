#pragma once
// Small text helpers shared by the notification paths.

#include <string>
#include <string_view>
#include <vector>

#include "platform/base/ascii.h"

namespace ospreon::alert {

// The text of a C string argument, where null means "not given" (empty).
std::string_view ArgText(const char* text);

// `text` without leading and trailing blanks (space, tab).
std::string_view Trim(std::string_view text);

// Splits at any of `separators`, trims each entry and drops the empty ones.
std::vector<std::string> SplitList(std::string_view text, std::string_view separators);

bool HasLineBreak(std::string_view text);

// Percent-encodes every byte outside RFC 3986's unreserved set (A-Z a-z 0-9 - . _ ~).
std::string UrlEncode(std::string_view text);

} // namespace ospreon::alert
