#include "service/ctl/output_format.h"

#include <cstdio>
#include <ctime>

#include <nlohmann/json.hpp>

namespace ospreon::ctl {

namespace {

// Keys keep the order in which they are written.
using json = nlohmann::ordered_json;

// Pretty-printed, and never throwing on text that is not UTF-8 (BSTR conversion
// already replaces broken sequences; this is the second line of defence).
std::string Dump(const json& value)
{
    return value.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

} // namespace

std::string EscapeField(const std::string& text)
{
    std::string escaped;
    escaped.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const auto byte = static_cast<unsigned char>(c);
        // U+0080..U+009F (C2 80..C2 9F): terminals take U+009B as a control sequence too.
        if (byte == 0xC2 && i + 1 < text.size() &&
            (static_cast<unsigned char>(text[i + 1]) & 0xE0) == 0x80) {
            char code[8];
            std::snprintf(code, sizeof code, "\\u%04x", static_cast<unsigned char>(text[++i]));
            escaped += code;
            continue;
        }
        switch (c) {
        case '\\':
            escaped += "\\\\";
            break;
        case '\t':
            escaped += "\\t";
            break;
        case '\n':
            escaped += "\\n";
            break;
        case '\r':
            escaped += "\\r";
            break;
        default:
            if (byte < 0x20 || byte == 0x7f) {
                char code[8];
                std::snprintf(code, sizeof code, "\\x%02x", byte);
                escaped += code;
            } else {
                escaped += c;
            }
        }
    }
    return escaped;
}

std::string CheckTime(std::int64_t epochMs)
{
    if (epochMs <= 0)
        return "";
    const std::time_t seconds = static_cast<std::time_t>(epochMs / 1000);
    std::tm local{};
    if (!::localtime_r(&seconds, &local))
        return "";
    char text[32];
    return std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local) ? text : "";
}

std::string SummaryLine(const RecordSummary& record)
{
    return EscapeField(record.name) + '\t' + EscapeField(record.type) + '\t' +
           EscapeField(record.status) + '\t' + EscapeField(record.result) + '\t' +
           EscapeField(record.parameter) + '\t' + EscapeField(record.interval) + '\t' +
           record.lastCheck + '\t' + std::to_string(record.failures) + '\n';
}

std::string SummaryJson(const std::vector<RecordSummary>& records)
{
    json list = json::array();
    for (const RecordSummary& record : records) {
        list.push_back({{"name", record.name},
                        {"type", record.type},
                        {"status", record.status},
                        {"result", record.result},
                        {"parameter", record.parameter},
                        {"interval", record.interval},
                        {"lastCheck", record.lastCheck},
                        {"failures", record.failures}});
    }
    return Dump(list);
}

std::string ParameterLines(const std::vector<Parameter>& parameters, const CheckSummary& checks)
{
    std::string lines;
    for (const auto& [key, value] : parameters)
        lines += EscapeField(key) + " = " + EscapeField(value) + '\n';
    lines += "last check: " + (checks.lastCheck.empty() ? "never" : checks.lastCheck) + '\n';
    lines += "failures: " + std::to_string(checks.failures) + '\n';
    return lines;
}

std::string RecordJson(const std::string& name, const std::string& type,
                       const std::vector<Parameter>& parameters, const CheckSummary& checks)
{
    json pairs = json::array();
    for (const auto& [key, value] : parameters)
        pairs.push_back(json::array({key, value}));
    return Dump({{"name", name},
                 {"type", type},
                 {"parameters", pairs},
                 {"lastCheck", checks.lastCheck},
                 {"failures", checks.failures}});
}

} // namespace ospreon::ctl
