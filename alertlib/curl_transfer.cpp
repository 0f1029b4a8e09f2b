#include "alertlib/curl_transfer.h"

#include <mutex>

namespace ospreon::alert {

namespace {

constexpr long kConnectTimeoutSeconds = 5;
constexpr long kTimeoutSeconds = 10;

// curl_global_init is not thread-safe: once per process, never cleaned up, since
// other libraries of the process may still use curl at exit.
CURLcode GlobalInit()
{
    static std::once_flag once;
    static CURLcode result = CURLE_OK;
    std::call_once(once, [] { result = curl_global_init(CURL_GLOBAL_DEFAULT); });
    return result;
}

} // namespace

bool CurlList::Append(const std::string& item)
{
    curl_slist* grown = curl_slist_append(m_list, item.c_str());
    if (!grown)
        return false;
    m_list = grown;
    return true;
}

CurlTransfer::CurlTransfer()
{
    if (CURLcode init = GlobalInit(); init != CURLE_OK) {
        m_setupCode = init;
        return;
    }
    m_handle = curl_easy_init();
    if (!m_handle)
        return;
    Set(CURLOPT_ERRORBUFFER, m_errorText);
    Set(CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
    Set(CURLOPT_TIMEOUT, kTimeoutSeconds);
    Set(CURLOPT_NOSIGNAL, 1L);
}

CurlTransfer::~CurlTransfer()
{
    if (m_handle)
        curl_easy_cleanup(m_handle);
}

Result<void> CurlTransfer::Perform(std::string_view what)
{
    if (!m_handle) {
        std::string reason = std::string(what) + ": cannot start libcurl";
        if (m_setupCode != CURLE_OK)
            reason += std::string(": ") + curl_easy_strerror(m_setupCode);
        return Error::Curl(static_cast<int>(m_setupCode), std::move(reason));
    }
    if (m_setupCode != CURLE_OK) {
        return Error::Curl(static_cast<int>(m_setupCode),
                           std::string(what) + ": cannot set libcurl option " +
                               std::to_string(static_cast<int>(m_setupOption)) + ": " +
                               curl_easy_strerror(m_setupCode));
    }
    m_errorText[0] = '\0';
    const CURLcode code = curl_easy_perform(m_handle);
    if (code == CURLE_OK)
        return {};
    std::string reason = std::string(what) + ": " + curl_easy_strerror(code);
    if (m_errorText[0] != '\0')
        reason += std::string(" (") + m_errorText + ")";
    return Error::Curl(static_cast<int>(code), std::move(reason));
}

long CurlTransfer::ResponseCode() const
{
    long code = 0;
    if (m_handle)
        curl_easy_getinfo(m_handle, CURLINFO_RESPONSE_CODE, &code);
    return code;
}

} // namespace ospreon::alert
