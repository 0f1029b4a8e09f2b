#include "alertlib/mail_message.h"

#include <cstdio>
#include <cstdlib>

namespace ospreon::alert {

namespace {

constexpr char kCrLf[] = "\r\n";
// Folded continuation lines begin with a blank.
constexpr char kFold[] = "\r\n ";
// Bytes of text per encoded word: 56 base64 characters plus "=?UTF-8?B?" and "?="
// keep "Subject: " and one word within 78 characters.
constexpr std::size_t kWordBytes = 42;
constexpr std::size_t kPlainHeaderLimit = 900;
constexpr std::size_t kLineGoal = 76;

std::string Base64(std::string_view bytes)
{
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const unsigned v = static_cast<unsigned char>(bytes[i]) << 16 |
                           static_cast<unsigned char>(bytes[i + 1]) << 8 |
                           static_cast<unsigned char>(bytes[i + 2]);
        out += kAlphabet[v >> 18 & 63];
        out += kAlphabet[v >> 12 & 63];
        out += kAlphabet[v >> 6 & 63];
        out += kAlphabet[v & 63];
    }
    if (i < bytes.size()) {
        unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
        if (i + 1 < bytes.size())
            v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        out += kAlphabet[v >> 18 & 63];
        out += kAlphabet[v >> 12 & 63];
        out += i + 1 < bytes.size() ? kAlphabet[v >> 6 & 63] : '=';
        out += '=';
    }
    return out;
}

bool IsPlainHeaderText(std::string_view text)
{
    if (text.size() > kPlainHeaderLimit)
        return false;
    // "=?" would read as the start of an encoded word.
    if (text.find("=?") != std::string_view::npos)
        return false;
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && c != '\t') || byte >= 0x7f)
            return false;
    }
    return true;
}

// Length of the UTF-8 sequence that starts at text[0] (1 for a stray byte).
std::size_t CharLength(std::string_view text)
{
    const auto lead = static_cast<unsigned char>(text[0]);
    std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    if (length > text.size())
        return text.size();
    for (std::size_t i = 1; i < length; ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80)
            return i;
    }
    return length;
}

} // namespace

std::string FormatMailDate(const std::tm& date)
{
    static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const long offsetMinutes = date.tm_gmtoff / 60;
    const long absolute = std::labs(offsetMinutes);
    char text[64];
    // Integers only, so the locale cannot change the output.
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d %c%02ld%02ld",
                  kDays[(date.tm_wday % 7 + 7) % 7], date.tm_mday,
                  kMonths[(date.tm_mon % 12 + 12) % 12], date.tm_year + 1900, date.tm_hour,
                  date.tm_min, date.tm_sec, offsetMinutes < 0 ? '-' : '+', absolute / 60,
                  absolute % 60);
    return text;
}

std::string EncodeHeaderText(std::string_view text)
{
    if (IsPlainHeaderText(text))
        return std::string(text);
    std::string encoded;
    while (!text.empty()) {
        std::size_t take = 0;
        while (take < text.size()) {
            const std::size_t length = CharLength(text.substr(take));
            if (take > 0 && take + length > kWordBytes)
                break;
            take += length;
        }
        if (!encoded.empty())
            encoded += kFold;
        encoded += "=?UTF-8?B?" + Base64(text.substr(0, take)) + "?=";
        text.remove_prefix(take);
    }
    return encoded;
}

std::string ComposeMail(const MailMessage& message)
{
    std::string mail = "From: " + message.from + kCrLf;

    std::string to = "To: ";
    std::size_t lineLength = to.size();
    for (std::size_t i = 0; i < message.to.size(); ++i) {
        const std::string& address = message.to[i];
        if (i > 0) {
            to += ',';
            ++lineLength;
            if (lineLength + 1 + address.size() > kLineGoal) {
                to += kFold;
                lineLength = 1;
            } else {
                to += ' ';
                ++lineLength;
            }
        }
        to += address;
        lineLength += address.size();
    }
    mail += to + kCrLf;

    mail += "Subject: " + EncodeHeaderText(message.subject) + kCrLf;
    mail += "Date: " + FormatMailDate(message.date) + kCrLf;
    mail += "MIME-Version: 1.0";
    mail += kCrLf;
    mail += "Content-Type: text/plain; charset=UTF-8";
    mail += kCrLf;
    mail += "Content-Transfer-Encoding: 8bit";
    mail += kCrLf;
    mail += kCrLf;
    mail += message.body;
    return mail;
}

} // namespace ospreon::alert
