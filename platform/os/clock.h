#pragma once
// The local time as Ospreon reads it for log names, log line prefixes and date
// patterns. $OSPREON_TEST_NOW ("2023-12-09T10:11:12") fixes it for tests.

#include <ctime>

namespace ospreon::os {

std::tm LocalNow();

} // namespace ospreon::os
