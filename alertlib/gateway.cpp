#include "alertlib/gateway.h"

#include "alertlib/curl_transfer.h"
#include "alertlib/text_util.h"

namespace ospreon::alert {

namespace {

constexpr long kMaxRedirects = 5;

// The gateway's answer body is not used; without a sink libcurl would print it.
size_t DiscardBody(char* /*data*/, size_t size, size_t count, void* /*user*/)
{
    return size * count;
}

// The URL up to its query, for failure reasons: the query holds the message.
std::string_view WithoutQuery(std::string_view url)
{
    return url.substr(0, url.find('?'));
}

} // namespace

std::string ExpandGatewayUrl(std::string_view urlTemplate, std::string_view recipients,
                             std::string_view message)
{
    const std::string replacements[] = {UrlEncode(recipients), UrlEncode(message)};
    std::string url;
    url.reserve(urlTemplate.size() + replacements[0].size() + replacements[1].size());
    std::size_t used = 0;
    while (used < std::size(replacements)) {
        const std::size_t placeholder = urlTemplate.find("%s");
        if (placeholder == std::string_view::npos)
            break;
        url += urlTemplate.substr(0, placeholder);
        url += replacements[used++];
        urlTemplate.remove_prefix(placeholder + 2);
    }
    url += urlTemplate;
    return url;
}

Result<void> CallGateway(std::string_view urlTemplate, std::string_view recipients,
                         std::string_view message)
{
    if (HasLineBreak(urlTemplate))
        return Error::Plain("refused: line break in gateway URL");
    const std::string url = ExpandGatewayUrl(urlTemplate, recipients, message);
    const std::string gateway(WithoutQuery(url));

    CurlTransfer transfer;
    transfer.Set(CURLOPT_URL, url.c_str());
    transfer.Set(CURLOPT_PROTOCOLS_STR, "http,https");
    transfer.Set(CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    transfer.Set(CURLOPT_FOLLOWLOCATION, 1L);
    transfer.Set(CURLOPT_MAXREDIRS, kMaxRedirects);
    transfer.Set(CURLOPT_HTTPGET, 1L);
    transfer.Set(CURLOPT_WRITEFUNCTION, &DiscardBody);
    Result<void> done = transfer.Perform("gateway " + gateway);
    if (!done)
        return done.error();
    const long status = transfer.ResponseCode();
    if (status < 200 || status > 299)
        return Error::Plain("gateway " + gateway + " answered HTTP " + std::to_string(status));
    return {};
}

} // namespace ospreon::alert
