#pragma once
// FetchPage: one HTTP GET of a page, directly or through a proxy, with optional
// credentials. It hands back the body text, the number of body bytes and an error
// text, empty when a response was received and its body read completely.

#include <string>

namespace ospreon::web {

// The environment variable that replaces 443 as the port of https URLs (tests).
inline constexpr char kHttpsPortVariable[] = "OSPREON_TEST_HTTPS_PORT";

// What a caller beyond the page dialogs may ask of a fetch.
struct FetchDetail
{
    unsigned totalMs = 0; // in: bound of the whole fetch; 0: none
    long status = 0;      // out: the status of the response read; 0: none
};

// Fetches `url` (http or https; an https URL always goes to port 443) with the user
// agent "VeriRovi", HTTP/1.0, no cache and no redirect followed. `proxy` is
// "http://host:port" or empty for a direct connection. `timeoutMs` bounds the
// connect and every wait for received bytes; `detail` may bound the whole fetch
// and receives the status. A 401 is answered once with the site credentials, a 407 once with the
// proxy credentials (each cut to 49 characters); proxy credentials never go to
// the site. Any other status counts as received.
//
// The body arrives in consecutive 50-byte pieces counted from its first byte; each
// piece is appended to `body` up to its first zero byte, while `size` counts every
// byte. Where the fetch fails before the body, `body` and `size` stay as they
// were; where the body fails, what was read stays in them.
std::string FetchPage(const std::string& url, const std::string& proxy,
                      const std::string& proxyUser, const std::string& proxyPassword,
                      std::string& body, unsigned timeoutMs, const std::string& siteUser,
                      const std::string& sitePassword, unsigned& size,
                      FetchDetail* detail = nullptr);

// `url` without the user:password part of its authority, fit for a log line.
std::string UrlWithoutCredentials(const std::string& url);

} // namespace ospreon::web
