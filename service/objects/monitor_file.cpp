#include "service/objects/monitor_file.h"

#include <optional>
#include <set>
#include <string_view>

#include <nlohmann/json.hpp>

#include "interfaces/service_errors.h"
#include "platform/base/ascii.h"
#include "service/objects/monitor_types.h"
#include "service/objects/record_text.h"

namespace ospreon::service {

namespace {

using Json = nlohmann::json;

Error Bad(const std::string& why)
{
    return Error::HResult(WARDEN_E_BADFILE, "not a usable monitor file: " + why);
}

std::string Ordinal(std::size_t index)
{
    return "monitor " + std::to_string(index + 1);
}

// A string member of `object`, or null.
const std::string* StringMember(const Json& object, const char* name)
{
    auto found = object.find(name);
    if (found == object.end() || !found->is_string())
        return nullptr;
    return found->get_ptr<const std::string*>();
}

Result<store::RecordData> ParseMonitor(const Json& monitor, std::size_t index)
{
    if (!monitor.is_object())
        return Bad(Ordinal(index) + " is not an object");
    const std::string* name = StringMember(monitor, "name");
    if (!name || name->empty())
        return Bad(Ordinal(index) + " has no name");
    if (Result<void> checked = CheckRecordName(*name); !checked)
        return Bad(Ordinal(index) + ": " + checked.error().message);
    const std::string* type = StringMember(monitor, "type");
    if (!type)
        return Bad(Ordinal(index) + " (" + *name + ") has no type");
    // The store derives a record's type from its name (IUserStore.Add): a file must
    // not give a record a type its name does not state.
    const std::optional<std::string_view> named = TypeInName(*name);
    if (!named)
        return Bad(Ordinal(index) + " (" + *name + ") has no \" of \" in its name");
    if (!EqualsNoCase(*named, *type))
        return Bad(Ordinal(index) + " (" + *name + ") is not of its type " + *type);
    auto parameters = monitor.find("parameters");
    if (parameters == monitor.end() || !parameters->is_array())
        return Bad(Ordinal(index) + " (" + *name + ") has no parameter list");
    store::RecordData record{*name, *type, {}};
    std::set<std::string_view> keys;
    for (const Json& entry : *parameters) {
        if (!entry.is_array() || entry.size() != 2 || !entry[0].is_string() ||
            !entry[1].is_string())
            return Bad(Ordinal(index) + " (" + *name + ") has a parameter that is not a pair " +
                       "of strings");
        const std::string& key = entry[0].get_ref<const std::string&>();
        if (Result<void> checked = CheckParameterKey(key); !checked)
            return Bad(Ordinal(index) + " (" + *name + "): " + checked.error().message);
        if (!keys.insert(key).second)
            return Bad(Ordinal(index) + " (" + *name + ") lists the key " + key + " twice");
        record.parameters.push_back({key, entry[1].get<std::string>()});
    }
    return record;
}

// Builds the document as nlohmann's own DOM parser does, but stops at the first
// container that opens deeper than kMaxDepth, so a file of nested brackets is
// refused before it costs memory.
class DepthLimitedBuilder
{
public:
    explicit DepthLimitedBuilder(Json& document) : m_dom(document, false) {}

    bool tooDeep() const { return m_tooDeep; }

    bool null() { return m_dom.null(); }
    bool boolean(bool value) { return m_dom.boolean(value); }
    bool number_integer(Json::number_integer_t value) { return m_dom.number_integer(value); }
    bool number_unsigned(Json::number_unsigned_t value) { return m_dom.number_unsigned(value); }
    bool number_float(Json::number_float_t value, const Json::string_t& text)
    {
        return m_dom.number_float(value, text);
    }
    bool string(Json::string_t& value) { return m_dom.string(value); }
    bool binary(Json::binary_t& value) { return m_dom.binary(value); }
    bool key(Json::string_t& value) { return m_dom.key(value); }
    bool start_object(std::size_t size) { return Enter() && m_dom.start_object(size); }
    bool end_object()
    {
        --m_depth;
        return m_dom.end_object();
    }
    bool start_array(std::size_t size) { return Enter() && m_dom.start_array(size); }
    bool end_array()
    {
        --m_depth;
        return m_dom.end_array();
    }
    bool parse_error(std::size_t position, const std::string& token,
                     const nlohmann::detail::exception& error)
    {
        return m_dom.parse_error(position, token, error);
    }

private:
    bool Enter()
    {
        if (++m_depth <= kMaxDepth)
            return true;
        m_tooDeep = true;
        return false;
    }

    // The format nests five containers: the document, the monitor list, a monitor,
    // its parameter list and a [key, value] pair.
    static constexpr int kMaxDepth = 5;

    nlohmann::detail::json_sax_dom_parser<Json> m_dom;
    int m_depth = 0;
    bool m_tooDeep = false;
};

// A JSON string literal of `text`; throws for text that is not UTF-8.
std::string Quoted(const std::string& text)
{
    return Json(text).dump(-1, ' ', false, Json::error_handler_t::strict);
}

} // namespace

Result<std::vector<store::RecordData>> ParseMonitorFile(std::string_view text)
{
    Json document;
    DepthLimitedBuilder builder(document);
    if (!Json::sax_parse(text.begin(), text.end(), &builder)) {
        if (builder.tooDeep())
            return Bad("the file nests lists or objects deeper than the format does");
        return Bad(text.empty() ? "the file is empty" : "the file is not complete, valid JSON");
    }
    if (!document.is_object())
        return Bad("the file is not a JSON object");
    const std::string* format = StringMember(document, "format");
    if (!format || *format != kMonitorFileFormat)
        return Bad("the file's format is not \"" + std::string(kMonitorFileFormat) + "\"");
    auto version = document.find("version");
    if (version == document.end() || !version->is_number_integer())
        return Bad("the file has no version");
    if (version->get<std::int64_t>() != kMonitorFileVersion)
        return Bad("the file is of version " + version->dump() + "; this program reads version " +
                   std::to_string(kMonitorFileVersion));
    auto monitors = document.find("monitors");
    if (monitors == document.end() || !monitors->is_array())
        return Bad("the file has no monitor list");

    std::vector<store::RecordData> records;
    std::set<std::string> names; // in lower case
    for (std::size_t index = 0; index < monitors->size(); ++index) {
        Result<store::RecordData> record = ParseMonitor((*monitors)[index], index);
        if (!record)
            return record.error();
        std::string lowered = record->name;
        for (char& c : lowered)
            c = AsciiLower(c);
        if (!names.insert(std::move(lowered)).second)
            return Bad("the name " + record->name + " appears twice");
        records.push_back(std::move(*record));
    }
    return records;
}

Result<std::string> FormatMonitorFile(const std::vector<store::RecordData>& records)
{
    // Written by hand around the library's string literals, so the file reads one
    // parameter per line.
    try {
        std::string out = "{\n  \"format\": " + Quoted(kMonitorFileFormat) +
                          ",\n  \"version\": " + std::to_string(kMonitorFileVersion) +
                          ",\n  \"monitors\": [";
        const char* monitorSeparator = "\n";
        for (const store::RecordData& record : records) {
            out += monitorSeparator;
            monitorSeparator = ",\n";
            out += "    {\n      \"name\": " + Quoted(record.name) +
                   ",\n      \"type\": " + Quoted(record.type) + ",\n      \"parameters\": [";
            const char* separator = "\n";
            for (const store::Parameter& parameter : record.parameters) {
                out += separator;
                separator = ",\n";
                out += "        [" + Quoted(parameter.key) + ", " + Quoted(parameter.value) + "]";
            }
            out += record.parameters.empty() ? "]\n    }" : "\n      ]\n    }";
        }
        out += records.empty() ? "]\n}\n" : "\n  ]\n}\n";
        return out;
    } catch (const Json::exception& error) {
        return Error::HResult(E_FAIL, std::string("a stored text is not UTF-8: ") + error.what());
    }
}

} // namespace ospreon::service
