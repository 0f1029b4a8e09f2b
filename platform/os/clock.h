#pragma once
// The local time as Ospreon reads it for log names, log line prefixes and date
// patterns. $OSPREON_TEST_NOW ("2023-12-09T10:11:12") fixes it for tests.

#include <ctime>
#include <string>

namespace ospreon::os {

std::tm LocalNow();

// `pattern` with its time-format patterns ("%d%m%y", "%w", any strftime pattern)
// expanded for `when`: the log files' date patterns. Empty when the expansion would
// exceed 64 KiB.
std::string ExpandTimePatterns(const std::string& pattern, const std::tm& when);

} // namespace ospreon::os
