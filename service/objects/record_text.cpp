#include "service/objects/record_text.h"

#include <cstdio>
#include <string>

#include "interfaces/service_errors.h"

namespace ospreon::service {

namespace {

bool IsControl(unsigned char c)
{
    return c < 0x20 || c == 0x7f;
}

// `what` is "name" or "key".
Result<void> CheckText(std::string_view text, const char* what)
{
    // Control characters are ASCII, and the bytes of a longer UTF-8 sequence are
    // never ASCII: a byte scan finds them, and every byte that does not continue a
    // sequence starts a character.
    std::size_t position = 0;
    for (char byte : text) {
        const auto c = static_cast<unsigned char>(byte);
        if (IsControl(c)) {
            char code[8];
            std::snprintf(code, sizeof code, "U+%04X", c);
            return Error::HResult(E_INVALIDARG, std::string("the ") + what +
                                                    " has a control character (" + code +
                                                    ") at position " + std::to_string(position));
        }
        if ((c & 0xC0) != 0x80)
            ++position;
    }
    return {};
}

} // namespace

Result<void> CheckRecordName(std::string_view name)
{
    return CheckText(name, "name");
}

Result<void> CheckParameterKey(std::string_view key)
{
    return CheckText(key, "key");
}

} // namespace ospreon::service
