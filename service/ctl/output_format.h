#pragma once
// How records are written on standard output: tab-separated lines and `key = value`
// lines for people and scripts that read lines, JSON for scripts that parse.
//
// In the line forms a value's backslash, tab, line feed and carriage return are
// written as \\, \t, \n and \r, every other control character as \xHH (U+0080 to
// U+009F as \u00HH), so one record is always one line, one value never spills into
// the next field and no value can drive the terminal. `get` and JSON give values
// exactly.

#include <string>
#include <utility>
#include <vector>

namespace ospreon::ctl {

// One line of `list`.
struct RecordSummary
{
    std::string name;
    std::string type;
    std::string status;    // "Status"
    std::string result;    // "Monitor_Result"
    std::string parameter; // "Monitor_Parameter"
    std::string interval;  // "Monitor_InterVal (s)"
};

using Parameter = std::pair<std::string, std::string>;

std::string EscapeField(const std::string& text);

// "name\ttype\tstatus\tresult\tparameter\tinterval\n"
std::string SummaryLine(const RecordSummary& record);
// [{"name":..,"type":..,"status":..,"result":..,"parameter":..,"interval":..}, ...]
std::string SummaryJson(const std::vector<RecordSummary>& records);

// "key = value\n" per parameter, in order.
std::string ParameterLines(const std::vector<Parameter>& parameters);
// {"name":..,"type":..,"parameters":[[key,value],...]}
std::string RecordJson(const std::string& name, const std::string& type,
                       const std::vector<Parameter>& parameters);

} // namespace ospreon::ctl
