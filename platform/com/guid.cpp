#include "platform/com/guid.h"

#include <cstdio>

namespace ospreon::com {

std::string GuidToString(const GUID& guid)
{
    char text[39];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0],
                  guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5],
                  guid.Data4[6], guid.Data4[7]);
    return text;
}

std::optional<GUID> GuidFromString(std::string_view text)
{
    return detail::ParseGuid(text);
}

} // namespace ospreon::com
