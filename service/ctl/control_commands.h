#pragma once
// The control commands, as the console's Control menu runs them: start and stop
// set "Status" and reset "Monitor_Result"; test and notify call the record's
// plug-in object once.

#include <string>
#include <vector>

#include "service/ctl/console_io.h"

namespace ospreon::ctl {

// Every name is opened first: when one names no record, each such name is reported
// and nothing changes. Then each record in turn; one that cannot be changed (removed
// meanwhile) is reported and the rest are still handled. The outcome is the first
// failure's, else done.
Outcome StartRecords(Console& console, const std::vector<std::string>& names);
Outcome StopRecords(Console& console, const std::vector<std::string>& names);

// Runs Monitor once, writes "Monitor_Result" "Ok" or "Error" and prints it; trouble
// found is kExitTrouble.
Outcome TestRecord(Console& console, const std::string& name);

// Runs Notify once and prints "Ok" or "Error"; a notification not sent is
// kExitTrouble. The record is not changed.
Outcome NotifyRecord(Console& console, const std::string& name);

} // namespace ospreon::ctl
