#include "alertlib/last_error.h"

#include <string>

#include "alertlib/alertlib.h"

namespace ospreon::alert {

namespace {

thread_local std::string t_lastError;

} // namespace

void ClearLastAlertError() noexcept
{
    t_lastError.clear();
}

void SetLastAlertError(std::string_view reason) noexcept
{
    try {
        t_lastError.assign(reason);
        // Callers log the reason as one line; a server's answer or a mode given by
        // an administrator may carry line breaks.
        for (char& c : t_lastError) {
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
                c = ' ';
        }
    } catch (...) {
        t_lastError.clear();
    }
}

} // namespace ospreon::alert

extern "C" const char* LastAlertError()
{
    return ospreon::alert::t_lastError.c_str();
}
