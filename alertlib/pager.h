#pragma once
// Pages through the gateway program configured as "PagerCommand" under
// HKLM\SOFTWARE\Brackwater\RELAYMOOR\Alertlib, for the notification mode "TEL://".

#include <string>
#include <string_view>
#include <vector>

#include "platform/base/result.h"

namespace ospreon::alert {

struct Page
{
    std::string number;
    std::string message;
};

// The entries of a "TEL://" recipients text: "number|message" or a bare "number"
// (which takes `defaultMessage`), separated by ";". Blanks around entries and
// numbers are dropped, and so are empty entries.
std::vector<Page> ParsePages(std::string_view recipients, const std::string& defaultMessage);

// Sends every page: the gateway is started once per page with the number and the
// message appended to its arguments, and must end with status 0 within 10 s. All
// pages are tried; the first failure is the one reported.
[[nodiscard]] Result<void> SendPages(std::string_view recipients, std::string_view message);

} // namespace ospreon::alert
