#pragma once
// One libcurl transfer with what every network step shares: bounded connect and
// total times, no signals (callers are worker threads), and curl's own error text
// for the failure reason. The handle and header lists are freed on every path. For
// the line-based mail protocols it also keeps the last command and the server's
// last reply, so a failure can say what the server answered to what.

#include <chrono>
#include <optional>
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
    // Bounds the whole transfer by `budget` (at least 1 ms), and connecting by the
    // same or the usual connect time, whichever is shorter.
    void SetTimeBudget(std::chrono::milliseconds budget);

    // Accepts a server certificate that does not verify (wrong name, out of date,
    // unknown issuer); CertificateProblem() then says what was wrong with it.
    void TolerateCertificates();
    // Why the server's certificate did not verify; nullopt when it did or when the
    // connection was not secured.
    std::optional<std::string> CertificateProblem() const;

    // Records the conversation of a line-based protocol (SMTP, POP3) during each
    // Perform: the verb of the last command sent (only the verb: a PASS line's
    // argument is never kept) and the server's reply to it. The record ends at QUIT,
    // so the QUIT curl sends after a refusal does not hide the refusal.
    void TraceConversation();
    // "MAIL", "PASS"...; empty before the first command (the server's greeting).
    const std::string& LastCommand() const { return m_lastCommand; }
    // Empty when the server said nothing to it.
    const std::string& LastReply() const { return m_lastReply; }
    // "expected <expected> to <command>, the server said: <reply>" (or "as greeting",
    // or "said nothing"); empty when no connection was made, as there was no one to
    // answer.
    std::string DescribeExchange(std::string_view expected) const;

private:
    static int OnDebug(CURL* handle, curl_infotype type, char* data, size_t size, void* self);

    CURL* m_handle = nullptr;
    CURLcode m_setupCode = CURLE_OK;
    CURLoption m_setupOption{};
    char m_errorText[CURL_ERROR_SIZE] = {};
    std::string m_lastCommand;
    std::string m_lastReply;
    bool m_quitting = false;
};

} // namespace ospreon::alert
