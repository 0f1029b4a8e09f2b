#pragma once
// How records are written on standard output: tab-separated lines and `key = value`
// lines for people and scripts that read lines, JSON for scripts that parse.
//
// In the line forms a value's backslash, tab, line feed and carriage return are
// written as \\, \t, \n and \r, every other control character as \xHH (U+0080 to
// U+009F as \u00HH), so one record is always one line, one value never spills into
// the next field and no value can drive the terminal. `get` and JSON give values
// exactly.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace ospreon::ctl {

// One line of `list`.
struct RecordSummary
{
    std::string name;
    std::string type;
    std::string status;        // "Status"
    std::string result;        // "Monitor_Result"
    std::string parameter;     // "Monitor_Parameter"
    std::string interval;      // "Monitor_InterVal (s)"
    std::string lastCheck;     // the daemon's last check of it, local time; empty: never
    std::int64_t failures = 0; // consecutive failed checks
};

using Parameter = std::pair<std::string, std::string>;

std::string EscapeField(const std::string& text);

// "YYYY-MM-DD HH:MM:SS" in local time for milliseconds since the epoch; empty for 0.
std::string CheckTime(std::int64_t epochMs);

// "name\ttype\tstatus\tresult\tparameter\tinterval\tlast check\tfailures\n"
std::string SummaryLine(const RecordSummary& record);
// [{"name":..,"type":..,"status":..,"result":..,"parameter":..,"interval":..,
//   "lastCheck":..,"failures":n}, ...]
std::string SummaryJson(const std::vector<RecordSummary>& records);

// What the daemon keeps of a monitor beside its parameters.
struct CheckSummary
{
    std::string lastCheck; // as CheckTime gives it
    std::int64_t failures = 0;
};

// "key = value\n" per parameter, in order, then "last check: TIME\n" ("never" when
// it was not checked) and "failures: N\n".
std::string ParameterLines(const std::vector<Parameter>& parameters, const CheckSummary& checks);
// {"name":..,"type":..,"parameters":[[key,value],...],"lastCheck":..,"failures":n}
std::string RecordJson(const std::string& name, const std::string& type,
                       const std::vector<Parameter>& parameters, const CheckSummary& checks);

} // namespace ospreon::ctl
