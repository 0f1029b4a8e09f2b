#include "web/fetch_page.h"

#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string_view>

#include <curl/curl.h>

#include "alertlib/curl_transfer.h"
#include "platform/base/ascii.h"
#include "web/page_piece_sink.h"

namespace ospreon::web {

namespace {

using Clock = std::chrono::steady_clock;

constexpr char kParseError[] = " Parse URL Error";
constexpr std::size_t kCredentialChars = 49;
constexpr long kHttpsPort = 443;
// Fewer, larger hand-overs for a large page; the pieces do not depend on them.
constexpr long kReceiveBufferBytes = 64 * 1024;

std::string WithCode(const char* text, long code)
{
    char line[160];
    std::snprintf(line, sizeof line, "%s,code=0x%lx", text, code);
    return line;
}

// The port every https URL goes to: 443, or the test seam's port.
long HttpsPort()
{
    const char* text = std::getenv(kHttpsPortVariable);
    if (!text || !*text)
        return kHttpsPort;
    long port = 0;
    const char* end = text + std::strlen(text);
    const auto [stop, ec] = std::from_chars(text, end, port);
    if (ec != std::errc() || stop != end || port < 1 || port > 65535)
        return kHttpsPort;
    return port;
}

struct UrlFree
{
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
using UrlHandle = std::unique_ptr<CURLU, UrlFree>;

std::optional<std::string> UrlPart(CURLU* url, CURLUPart part, unsigned flags = 0)
{
    char* text = nullptr;
    if (curl_url_get(url, part, &text, flags) != CURLUE_OK)
        return std::nullopt;
    std::string copy(text);
    curl_free(text);
    return copy;
}

// The URL as split into scheme, server, port and object, rebuilt for libcurl
// without its user:password part (which serves as site credentials when the
// caller gives none) and without a fragment.
struct Target
{
    std::string url;
    std::string user;
    std::string password;
};

std::optional<Target> SplitUrl(const std::string& text)
{
    UrlHandle url(curl_url());
    if (!url || curl_url_set(url.get(), CURLUPART_URL, text.c_str(), 0) != CURLUE_OK)
        return std::nullopt;
    const std::optional<std::string> scheme = UrlPart(url.get(), CURLUPART_SCHEME);
    const std::optional<std::string> host = UrlPart(url.get(), CURLUPART_HOST);
    if (!scheme || (*scheme != "http" && *scheme != "https") || !host || host->empty())
        return std::nullopt;
    Target target;
    target.user = UrlPart(url.get(), CURLUPART_USER, CURLU_URLDECODE).value_or("");
    target.password = UrlPart(url.get(), CURLUPART_PASSWORD, CURLU_URLDECODE).value_or("");
    if (*scheme == "https" && curl_url_set(url.get(), CURLUPART_PORT,
                                           std::to_string(HttpsPort()).c_str(), 0) != CURLUE_OK)
        return std::nullopt;
    curl_url_set(url.get(), CURLUPART_USER, nullptr, 0);
    curl_url_set(url.get(), CURLUPART_PASSWORD, nullptr, 0);
    curl_url_set(url.get(), CURLUPART_FRAGMENT, nullptr, 0);
    std::optional<std::string> rebuilt = UrlPart(url.get(), CURLUPART_URL);
    if (!rebuilt)
        return std::nullopt;
    target.url = std::move(*rebuilt);
    return target;
}

bool IsChallenge(long status)
{
    return status == 401 || status == 407;
}

// What one request/response exchange has seen, told by libcurl's callbacks.
struct Exchange
{
    alert::CurlTransfer* transfer = nullptr;
    PagePieceSink page;
    bool anyResponse = false;   // a byte of a response arrived
    bool inBody = false;        // the final response's headers are complete
    bool discard = false;       // the response is a 401/407, read and passed over
    bool digestOffered = false; // its challenge names Digest
    bool basicOffered = false;  // its challenge names Basic
    // Receive time-out: no byte for `idleLimit` once connected.
    std::chrono::milliseconds idleLimit{0};
    bool connected = false;
    bool idleExpired = false;
    curl_off_t received = 0;
    Clock::time_point lastActivity;

    void Reset()
    {
        page.Clear();
        anyResponse = inBody = discard = connected = idleExpired = false;
        digestOffered = basicOffered = false;
        received = 0;
        lastActivity = Clock::now();
    }
};

std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user)
{
    auto& exchange = *static_cast<Exchange*>(user);
    const std::size_t bytes = size * count;
    exchange.anyResponse = true;
    exchange.lastActivity = Clock::now();
    if (bytes >= 5 && std::memcmp(data, "HTTP/", 5) == 0) {
        // A new response begins (after an interim one or an authentication round).
        exchange.inBody = exchange.discard = false;
        exchange.page.Clear();
        return bytes;
    }
    const bool blank =
        (bytes == 2 && data[0] == '\r' && data[1] == '\n') || (bytes == 1 && data[0] == '\n');
    if (!blank) {
        const std::string_view line(data, bytes);
        if (StartsWithNoCase(line, "WWW-Authenticate:") ||
            StartsWithNoCase(line, "Proxy-Authenticate:")) {
            const std::string_view scheme = line.substr(line.find(':') + 1);
            exchange.digestOffered |= FindNoCase(scheme, "digest") != std::string_view::npos;
            exchange.basicOffered |= FindNoCase(scheme, "basic") != std::string_view::npos;
        }
        return bytes;
    }
    long status = 0;
    exchange.transfer->Info(CURLINFO_RESPONSE_CODE, &status);
    if (status >= 200) {
        exchange.inBody = true;
        exchange.discard = IsChallenge(status);
    }
    return bytes;
}

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user)
{
    auto& exchange = *static_cast<Exchange*>(user);
    const std::size_t bytes = size * count;
    exchange.lastActivity = Clock::now();
    if (!exchange.discard)
        exchange.page.Append(data, bytes);
    return bytes;
}

int OnProgress(void* user, curl_off_t, curl_off_t downloaded, curl_off_t, curl_off_t)
{
    auto& exchange = *static_cast<Exchange*>(user);
    if (exchange.idleLimit.count() == 0)
        return 0;
    const auto now = Clock::now();
    if (!exchange.connected) {
        // The connect has its own time-out; the receive time-out starts after it.
        curl_off_t connectTime = 0;
        exchange.transfer->Info(CURLINFO_CONNECT_TIME_T, &connectTime);
        curl_off_t requestTime = 0;
        exchange.transfer->Info(CURLINFO_PRETRANSFER_TIME_T, &requestTime);
        if (connectTime > 0 || requestTime > 0 || exchange.anyResponse) {
            exchange.connected = true;
            exchange.lastActivity = now;
        }
        return 0;
    }
    if (downloaded != exchange.received) {
        exchange.received = downloaded;
        exchange.lastActivity = now;
    }
    if (now - exchange.lastActivity < exchange.idleLimit)
        return 0;
    exchange.idleExpired = true;
    return 1;
}

std::string Cut(const std::string& text)
{
    return text.substr(0, kCredentialChars);
}

} // namespace

std::string FetchPage(const std::string& url, const std::string& proxy,
                      const std::string& proxyUser, const std::string& proxyPassword,
                      std::string& body, unsigned timeoutMs, const std::string& siteUser,
                      const std::string& sitePassword, unsigned& size, FetchDetail* detail)
{
    const std::optional<Target> target = SplitUrl(url);
    if (!target)
        return kParseError;

    alert::CurlTransfer transfer;
    alert::CurlList headers;
    Exchange exchange;
    exchange.transfer = &transfer;
    exchange.idleLimit = std::chrono::milliseconds(timeoutMs);
    const bool headersMade =
        headers.Append("Pragma: no-cache") && headers.Append("Cache-Control: no-cache");

    transfer.Set(CURLOPT_URL, target->url.c_str());
    transfer.Set(CURLOPT_PROTOCOLS_STR, "http,https");
    // Empty: a direct connection, whatever proxy the environment names.
    transfer.Set(CURLOPT_PROXY, proxy.c_str());
    transfer.Set(CURLOPT_USERAGENT, "VeriRovi");
    transfer.Set(CURLOPT_HTTPGET, 1L);
    transfer.Set(CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
    transfer.Set(CURLOPT_FOLLOWLOCATION, 0L);
    transfer.Set(CURLOPT_HTTPHEADER, headers.get());
    // A certificate of another name, past its dates or of an unknown issuer is
    // accepted, as the page check has always done.
    transfer.Set(CURLOPT_SSL_VERIFYPEER, 0L);
    transfer.Set(CURLOPT_SSL_VERIFYHOST, 0L);
    transfer.Set(CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeoutMs));
    transfer.Set(CURLOPT_TIMEOUT, 0L);
    transfer.Set(CURLOPT_BUFFERSIZE, kReceiveBufferBytes);
    transfer.Set(CURLOPT_HEADERFUNCTION, &OnHeader);
    transfer.Set(CURLOPT_HEADERDATA, &exchange);
    transfer.Set(CURLOPT_WRITEFUNCTION, &OnBody);
    transfer.Set(CURLOPT_WRITEDATA, &exchange);
    transfer.Set(CURLOPT_XFERINFOFUNCTION, &OnProgress);
    transfer.Set(CURLOPT_XFERINFODATA, &exchange);
    transfer.Set(CURLOPT_NOPROGRESS, 0L);
    if (CURLcode code = headersMade ? transfer.Prepared() : CURLE_OUT_OF_MEMORY; code != CURLE_OK) {
        if (proxy.empty())
            return "InternetOpen (none proxy) open function error";
        return WithCode("InternetOpen (proxy) function error", code);
    }

    const unsigned totalMs = detail ? detail->totalMs : 0;
    const std::optional<Clock::time_point> deadline =
        totalMs ? std::optional(Clock::now() + std::chrono::milliseconds(totalMs)) : std::nullopt;
    for (bool answered = false;; answered = true) {
        long budget = 0;
        if (deadline) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(*deadline - Clock::now());
            budget = std::max<long>(1, static_cast<long>(left.count()));
        }
        transfer.Set(CURLOPT_TIMEOUT_MS, budget);
        exchange.Reset();
        const Result<void> performed = transfer.Perform("GET");
        CURLcode code = performed ? CURLE_OK : static_cast<CURLcode>(performed.error().code);
        if (exchange.idleExpired)
            code = CURLE_OPERATION_TIMEDOUT;

        long status = 0;
        transfer.Info(CURLINFO_RESPONSE_CODE, &status);
        long tunnelStatus = 0;
        transfer.Info(CURLINFO_HTTP_CONNECTCODE, &tunnelStatus);
        // A proxy refusing the tunnel of an https URL ends the transfer with an error.
        if (code != CURLE_OK && !exchange.inBody && tunnelStatus == 407)
            status = 407;
        const bool challenged = IsChallenge(status) && (exchange.inBody || tunnelStatus == 407);
        if (challenged) {
            if (answered)
                return WithCode("Authorize proxy error", CURLE_LOGIN_DENIED);
            // The challenge is known: Basic goes with the next request, Digest
            // needs the server's fresh nonce first.
            const long method = exchange.digestOffered && !exchange.basicOffered
                                    ? static_cast<long>(CURLAUTH_DIGEST)
                                    : static_cast<long>(CURLAUTH_BASIC);
            if (status == 407) {
                transfer.Set(CURLOPT_PROXYUSERNAME, Cut(proxyUser).c_str());
                transfer.Set(CURLOPT_PROXYPASSWORD, Cut(proxyPassword).c_str());
                transfer.Set(CURLOPT_PROXYAUTH, method);
            } else {
                const bool fromUrl = siteUser.empty() && sitePassword.empty();
                transfer.Set(CURLOPT_USERNAME, Cut(fromUrl ? target->user : siteUser).c_str());
                transfer.Set(CURLOPT_PASSWORD,
                             Cut(fromUrl ? target->password : sitePassword).c_str());
                transfer.Set(CURLOPT_HTTPAUTH, method);
            }
            if (CURLcode set = transfer.Prepared(); set != CURLE_OK)
                return WithCode("InternetSetOption(proxy user) function error", set);
            continue;
        }
        if (exchange.inBody) {
            if (detail)
                detail->status = status;
            exchange.page.Finish();
            body += exchange.page.text();
            size = exchange.page.size();
            if (code == CURLE_OK)
                return {};
            return WithCode("InternetReadFile body error", code);
        }
        if (code == CURLE_OK) // a response without a status of its own
            return WithCode("HttpQueryInfo function error", CURLE_WEIRD_SERVER_REPLY);
        // An answer without a status line (HTTP/0.9 is refused), or none at all.
        if (exchange.anyResponse || code == CURLE_GOT_NOTHING || code == CURLE_WEIRD_SERVER_REPLY ||
            code == CURLE_UNSUPPORTED_PROTOCOL)
            return WithCode("HttpQueryInfo function error", code);
        return WithCode("HttpSendRequest function error", code);
    }
}

std::string UrlWithoutCredentials(const std::string& url)
{
    const std::size_t scheme = url.find("://");
    const std::size_t start = scheme == std::string::npos ? 0 : scheme + 3;
    const std::size_t end = url.find_first_of("/?#", start);
    const std::size_t at = url.rfind('@', end == std::string::npos ? url.size() : end);
    if (at == std::string::npos || at < start)
        return url;
    return url.substr(0, start) + url.substr(at + 1);
}

} // namespace ospreon::web
