#pragma once
// Notification through a web gateway: the mode is a URL whose first two "%s" take
// the recipients and the message, and an HTTP GET of it sends them.

#include <string>
#include <string_view>

#include "platform/base/result.h"

namespace ospreon::alert {

// `urlTemplate` with its first "%s" replaced by the URL-encoded `recipients` and
// its second by the URL-encoded `message`, in one pass from left to right: a "%s"
// that comes in with the replacements is never expanded again, nor is any "%s"
// after the second.
std::string ExpandGatewayUrl(std::string_view urlTemplate, std::string_view recipients,
                             std::string_view message);

// GETs the expanded URL (http and https only, at most 5 redirects followed);
// success on a 2xx answer.
[[nodiscard]] Result<void> CallGateway(std::string_view urlTemplate, std::string_view recipients,
                                       std::string_view message);

} // namespace ospreon::alert
