#pragma once
// One libcurl transfer with what every network step of Alertlib shares: bounded
// connect and total times, no signals (callers are worker threads), and curl's own
// error text for the failure reason. The handle and header lists are freed on
// every path.

#include <string>
#include <string_view>

#include <curl/curl.h>

#include "platform/base/result.h"

namespace ospreon::alert {

// A curl_slist owned and freed as a whole.
class CurlList
{
public:
    CurlList() = default;
    ~CurlList() { curl_slist_free_all(m_list); }
    CurlList(const CurlList&) = delete;
    CurlList& operator=(const CurlList&) = delete;

    [[nodiscard]] bool Append(const std::string& item);
    curl_slist* get() const { return m_list; }

private:
    curl_slist* m_list = nullptr;
};

class CurlTransfer
{
public:
    CurlTransfer();
    ~CurlTransfer();
    // The handle points at m_errorText: the object stays where it was made.
    CurlTransfer(const CurlTransfer&) = delete;
    CurlTransfer& operator=(const CurlTransfer&) = delete;

    // Sets an option; the first one that fails makes Perform() fail, naming it.
    template <class T> void Set(CURLoption option, T value)
    {
        if (m_handle && m_setupCode == CURLE_OK) {
            m_setupCode = curl_easy_setopt(m_handle, option, value);
            m_setupOption = option;
        }
    }

    // CURLE_OK when the handle exists and every option so far was taken; else what
    // went wrong (CURLE_FAILED_INIT: no handle).
    CURLcode Prepared() const { return m_handle ? m_setupCode : CURLE_FAILED_INIT; }

    // Runs the transfer; the error says `what` failed with curl's reason.
    [[nodiscard]] Result<void> Perform(std::string_view what);

    // The last response code: the HTTP status, or the SMTP server's last reply code.
    long ResponseCode() const;

    // curl_easy_getinfo on the handle.
    template <class T> CURLcode Info(CURLINFO info, T* value) const
    {
        return m_handle ? curl_easy_getinfo(m_handle, info, value) : CURLE_FAILED_INIT;
    }

private:
    CURL* m_handle = nullptr;
    CURLcode m_setupCode = CURLE_OK;
    CURLoption m_setupOption{};
    char m_errorText[CURL_ERROR_SIZE] = {};
};

} // namespace ospreon::alert
