#include "plugins/common/record_reader.h"

#include <limits>

#include "platform/com/bstr.h"
#include "plugins/common/plugin_log.h"

namespace ospreon::plugin {

std::optional<com::Variant> ReadParam(IUser* user, const char* key, const std::string& defaultValue)
{
    try {
        com::Variant value;
        com::Bstr name(key);
        HRESULT hr = user ? user->get_InfoVal(name.get(), value.put()) : E_POINTER;
        if (FAILED(hr))
            value = com::Variant(defaultValue);
        return value;
    } catch (...) {
        // A fault inside the record object must not reach our caller.
        WriteLog("Get Service User Parameter Exception\n");
        return std::nullopt;
    }
}

ParamText ReadText(IUser* user, const char* key, const std::string& defaultValue)
{
    ParamText result;
    std::optional<com::Variant> value = ReadParam(user, key, defaultValue);
    if (!value)
        return result;
    result.read = true;
    result.hr = value->ToString(result.text);
    return result;
}

ParamTexts ReadTexts(IUser* user, std::initializer_list<const char*> keys)
{
    ParamTexts result;
    for (const char* key : keys) {
        ParamText value = ReadText(user, key, "");
        if (!value.read || FAILED(value.hr))
            return ParamTexts{value.read, value.hr, {}};
        result.texts.push_back(std::move(value.text));
    }
    return result;
}

void DeclareParam(IUser* user, const char* key, const char* defaultValue, bool putOnly)
{
    if (!user)
        return;
    try {
        com::Bstr name(key);
        if (!putOnly)
            (void)user->put_InfoName(8, name.get());
        com::Variant value{std::string_view(defaultValue)};
        (void)user->put_InfoVal(name.get(), value.get());
    } catch (...) {
        WriteLog("Get Service User Parameter Exception\n");
    }
}

bool HasParam(IUser* user, const char* key)
{
    if (!user)
        return false;
    try {
        com::Variant value;
        com::Bstr name(key);
        return SUCCEEDED(user->get_InfoVal(name.get(), value.put()));
    } catch (...) {
        WriteLog("Get Service User Parameter Exception\n");
        return false;
    }
}

long long LeadingNumber(const std::string& text)
{
    std::size_t i = text.find_first_not_of(" \t\r\n\v\f");
    if (i == std::string::npos)
        return 0;
    bool negative = false;
    if (text[i] == '+' || text[i] == '-')
        negative = text[i++] == '-';
    constexpr long long kMax = std::numeric_limits<long long>::max();
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        int digit = text[i] - '0';
        if (value > (kMax - digit) / 10)
            return negative ? -kMax : kMax; // saturate, as the C library does
        value = value * 10 + digit;
    }
    return negative ? -value : value;
}

} // namespace ospreon::plugin
