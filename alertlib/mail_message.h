#pragma once
// An alert e-mail as it goes over SMTP: RFC 5322 headers, a UTF-8 text body, and
// CRLF line ends throughout.

#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace ospreon::alert {

struct MailMessage
{
    std::string from;
    std::vector<std::string> to;
    std::string subject; // UTF-8, without line breaks
    std::tm date{};      // local time, with tm_gmtoff set
    std::string body;    // UTF-8, lines separated by CRLF
};

// Headers, an empty line and the body.
std::string ComposeMail(const MailMessage& message);

// "Sat, 09 Dec 2023 10:11:12 +0100", in English whatever the locale.
std::string FormatMailDate(const std::tm& date);

// `text` as it may stand in a header: unchanged when it is short printable ASCII,
// else as RFC 2047 encoded words (=?UTF-8?B?...?=) folded onto continuation lines,
// never splitting a UTF-8 character between two words.
std::string EncodeHeaderText(std::string_view text);

} // namespace ospreon::alert
