#include "alertlib/curl_transfer.h"

#include <algorithm>
#include <mutex>
#include <string_view>

#include <openssl/x509.h>

#include "platform/base/ascii.h"

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

// The commands of SMTP and POP3 whose verb may be kept. Anything else sent on the
// command channel (a SASL continuation carries encoded credentials) leaves the
// last verb as it was.
constexpr std::string_view kVerbs[] = {"EHLO", "HELO", "STARTTLS", "AUTH", "MAIL", "RCPT", "DATA",
                                       "RSET", "NOOP", "CAPA",     "STLS", "USER", "PASS", "APOP",
                                       "STAT", "LIST", "TOP",      "RETR", "UIDL"};

// A reply line is cut here: enough for any server's reason, short enough for a log.
constexpr std::size_t kMaxReply = 300;

std::string_view TrimLineEnd(std::string_view line)
{
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
        line.remove_suffix(1);
    return line;
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
    m_lastCommand.clear();
    m_lastReply.clear();
    m_quitting = false;
    const CURLcode code = curl_easy_perform(m_handle);
    if (code == CURLE_OK)
        return {};
    std::string reason = std::string(what) + ": " + curl_easy_strerror(code);
    if (m_errorText[0] != '\0')
        reason += std::string(" (") + m_errorText + ")";
    return Error::Curl(static_cast<int>(code), std::move(reason));
}

void CurlTransfer::SetTimeBudget(std::chrono::milliseconds budget)
{
    const long ms = static_cast<long>(std::max<std::chrono::milliseconds::rep>(budget.count(), 1));
    Set(CURLOPT_CONNECTTIMEOUT_MS, std::min(ms, kConnectTimeoutSeconds * 1000));
    Set(CURLOPT_TIMEOUT_MS, ms);
}

void CurlTransfer::TolerateCertificates()
{
    Set(CURLOPT_SSL_VERIFYPEER, 0L);
    Set(CURLOPT_SSL_VERIFYHOST, 0L);
}

std::optional<std::string> CurlTransfer::CertificateProblem() const
{
    long result = 0;
    if (!m_handle || curl_easy_getinfo(m_handle, CURLINFO_SSL_VERIFYRESULT, &result) != CURLE_OK ||
        result == 0)
        return std::nullopt;
    return std::string(X509_verify_cert_error_string(result));
}

void CurlTransfer::TraceConversation()
{
    Set(CURLOPT_DEBUGFUNCTION, &CurlTransfer::OnDebug);
    Set(CURLOPT_DEBUGDATA, this);
    Set(CURLOPT_VERBOSE, 1L);
}

int CurlTransfer::OnDebug(CURL*, curl_infotype type, char* data, size_t size, void* self)
{
    auto* transfer = static_cast<CurlTransfer*>(self);
    if (transfer->m_quitting)
        return 0;
    const std::string_view line = TrimLineEnd(std::string_view(data, size));
    try {
        if (type == CURLINFO_HEADER_IN && !line.empty()) {
            transfer->m_lastReply.assign(line.substr(0, kMaxReply));
        } else if (type == CURLINFO_HEADER_OUT) {
            const std::string_view verb = line.substr(0, line.find(' '));
            const auto known =
                std::find_if(std::begin(kVerbs), std::end(kVerbs),
                             [&](std::string_view v) { return EqualsNoCase(v, verb); });
            if (EqualsNoCase(verb, "QUIT")) {
                transfer->m_quitting = true;
            } else if (known != std::end(kVerbs)) {
                transfer->m_lastCommand = *known;
                transfer->m_lastReply.clear();
            }
        }
    } catch (...) {
        // Out of memory while tracing: the failure text will lack the reply, no more.
    }
    return 0;
}

std::string CurlTransfer::DescribeExchange(std::string_view expected) const
{
    long localPort = 0;
    if (!m_handle || curl_easy_getinfo(m_handle, CURLINFO_LOCAL_PORT, &localPort) != CURLE_OK ||
        localPort == 0)
        return {};
    std::string text = "expected " + std::string(expected) +
                       (m_lastCommand.empty() ? " as greeting" : " to " + m_lastCommand);
    if (m_lastReply.empty())
        return text + ", the server said nothing";
    return text + ", the server said: " + m_lastReply;
}

long CurlTransfer::ResponseCode() const
{
    long code = 0;
    if (m_handle)
        curl_easy_getinfo(m_handle, CURLINFO_RESPONSE_CODE, &code);
    return code;
}

} // namespace ospreon::alert
