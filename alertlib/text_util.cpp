#include "alertlib/text_util.h"

namespace ospreon::alert {

std::string_view ArgText(const char* text)
{
    return text ? std::string_view(text) : std::string_view();
}

std::string_view Trim(std::string_view text)
{
    constexpr std::string_view blanks = " \t";
    const std::size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos)
        return {};
    const std::size_t last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

std::vector<std::string> SplitList(std::string_view text, std::string_view separators)
{
    std::vector<std::string> entries;
    for (;;) {
        const std::size_t end = text.find_first_of(separators);
        std::string_view entry = Trim(text.substr(0, end));
        if (!entry.empty())
            entries.emplace_back(entry);
        if (end == std::string_view::npos)
            return entries;
        text.remove_prefix(end + 1);
    }
}

bool HasLineBreak(std::string_view text)
{
    return text.find_first_of("\r\n") != std::string_view::npos;
}

std::string UrlEncode(std::string_view text)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    encoded.reserve(text.size());
    for (char c : text) {
        const bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                                (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' ||
                                c == '~';
        if (unreserved) {
            encoded += c;
            continue;
        }
        const auto byte = static_cast<unsigned char>(c);
        encoded += '%';
        encoded += kHex[byte >> 4];
        encoded += kHex[byte & 0x0F];
    }
    return encoded;
}

} // namespace ospreon::alert
