#include "plugins/pagewarden/pagewarden_check.h"

#include <algorithm>

#include "plugins/common/plugin_log.h"
#include "plugins/common/record_reader.h"
#include "web/fetch_page.h"

namespace ospreon::pagewarden {

namespace {

using plugin::LeadingNumber;
using plugin::ParamText;
using plugin::ReadText;
using plugin::WriteLog;

constexpr long long kDefaultTimeoutSeconds = 20;
constexpr unsigned kMaxShortfallMs = 2000;
constexpr long kFirstFailingStatus = 400;

struct Settings
{
    std::string url, flag, proxy, proxyUser, proxyPassword, siteUser, sitePassword, timeout;
};

// Reads every setting; false when the record faulted or a value has no text.
bool ReadSettings(IUser* user, Settings& settings, HRESULT& hr)
{
    const struct
    {
        const char* key;
        const char* defaultValue;
        std::string* into;
    } reads[] = {
        {"Monitor_Parameter", "", &settings.url},
        {"MonitorExt_SuccessFlag", "STR:", &settings.flag},
        {"ProxyServer", "", &settings.proxy},
        {"ProxyUserName", "", &settings.proxyUser},
        {"ProxyPassword", "", &settings.proxyPassword},
        {"AuthUserName", "", &settings.siteUser},
        {"AuthPassword", "", &settings.sitePassword},
        {"Monitor_Timeout (s)", "20", &settings.timeout},
    };
    for (const auto& read : reads) {
        ParamText value = ReadText(user, read.key, read.defaultValue);
        if (!value.read) {
            hr = E_FAIL;
            return false;
        }
        if (FAILED(value.hr)) {
            hr = value.hr;
            return false;
        }
        *read.into = std::move(value.text);
    }
    return true;
}

// The verdict of the success flag on a page read whole.
HRESULT Judge(const std::string& shownUrl, const std::string& flag, const std::string& body,
              unsigned size)
{
    if (flag.starts_with("SIZE:")) {
        const long long wanted = LeadingNumber(flag.substr(5));
        if (static_cast<long long>(size) == wanted)
            return S_OK;
        WriteLog("Page %s size is %u bytes, expected %lld bytes\n", shownUrl.c_str(), size, wanted);
        return E_FAIL;
    }
    if (flag.starts_with("SUM:")) {
        const long long wanted = LeadingNumber(flag.substr(4));
        const std::uint32_t sum = ByteSum(body);
        if (static_cast<long long>(sum) == wanted)
            return S_OK;
        WriteLog("Page %s byte sum is %u, expected %lld\n", shownUrl.c_str(), sum, wanted);
        return E_FAIL;
    }
    if (flag.starts_with("STR:")) {
        const std::string wanted = flag.substr(4);
        if (body.find(wanted) != std::string::npos)
            return S_OK;
        WriteLog("Page %s does not contain \"%s\" (%u bytes read)\n", shownUrl.c_str(),
                 wanted.c_str(), size);
        return E_FAIL;
    }
    WriteLog("Page %s: success flag \"%s\" is not SIZE:n, SUM:n or STR:text\n", shownUrl.c_str(),
             flag.c_str());
    return E_FAIL;
}

} // namespace

std::uint32_t ByteSum(const std::string& text)
{
    std::uint32_t sum = 0;
    for (unsigned char byte : text)
        sum += byte;
    return sum;
}

unsigned FetchBudgetMs(long long seconds)
{
    if (seconds <= 0)
        seconds = kDefaultTimeoutSeconds;
    // Far beyond any sensible time-out; keeps the arithmetic in range.
    seconds = std::min<long long>(seconds, 24 * 60 * 60);
    const unsigned total = static_cast<unsigned>(seconds) * 1000;
    return total - std::min(kMaxShortfallMs, total / 10);
}

HRESULT PagewardenCheck::Monitor(IUser* user)
{
    Settings settings;
    HRESULT hr = S_OK;
    if (!ReadSettings(user, settings, hr))
        return hr;
    // A URL may carry user:password; neither reaches the log.
    const std::string shownUrl = web::UrlWithoutCredentials(settings.url);

    std::string body;
    unsigned size = 0;
    web::FetchDetail detail;
    detail.totalMs = FetchBudgetMs(LeadingNumber(settings.timeout));
    const std::string error = web::FetchPage(
        settings.url, settings.proxy, settings.proxyUser, settings.proxyPassword, body,
        detail.totalMs, settings.siteUser, settings.sitePassword, size, &detail);
    if (!error.empty()) {
        WriteLog("Page %s expected to be read, fetch failed: %s\n", shownUrl.c_str(),
                 error.c_str());
        return E_FAIL;
    }
    if (detail.status >= kFirstFailingStatus) {
        WriteLog("Page %s answered with HTTP status %ld, expected a status below 400\n",
                 shownUrl.c_str(), detail.status);
        return E_FAIL;
    }
    return Judge(shownUrl, settings.flag, body, size);
}

} // namespace ospreon::pagewarden
