#include "service/ctl/record_commands.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "interfaces/guids.h"
#include "interfaces/user_file.h"
#include "platform/com/activation.h"
#include "platform/com/bstr.h"
#include "service/ctl/output_format.h"
#include "service/ctl/service_access.h"

namespace ospreon::ctl {

namespace {

Result<ComPtr<IUserStore>> Store()
{
    return Create<IUserStore>(CLSID_UserStore, "the user store");
}

bool EqualNoCase(const std::string& a, const std::string& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

// A missing value reads as empty in a listing.
std::string ValueOrEmpty(IUser* record, const char* key)
{
    Result<std::optional<std::string>> value = ReadValue(record, key);
    return value && *value ? **value : std::string();
}

// The file's path made absolute against our working folder: the service objects
// run in this process, but a path handed across COM should not depend on that.
std::string AbsolutePath(const std::string& path)
{
    std::error_code ec;
    std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    return ec ? path : absolute.lexically_normal().string();
}

// The user store, checked to answer: import and export failures after that are
// failures of the file.
Result<ComPtr<IUserStore>> ReadableStore()
{
    Result<ComPtr<IUserStore>> store = Store();
    if (!store)
        return store;
    LONG count = 0;
    if (HRESULT hr = (*store)->get_Count(&count); FAILED(hr))
        return Unavailable("cannot read the monitor store: " + com::DescribeHResult(hr));
    return store;
}

Result<ComPtr<IUserFile>> MonitorFiles()
{
    if (Result<ComPtr<IUserStore>> store = ReadableStore(); !store)
        return store.error();
    return Create<IUserFile>(CLSID_UserFile, "the monitor file object");
}

} // namespace

Outcome ListRecords(Console& console, bool json)
{
    Result<ComPtr<IUserStore>> store = Store();
    if (!store)
        return store.error();
    Result<std::vector<ComPtr<IUser>>> records = AllRecords(store->get());
    if (!records)
        return records.error();
    std::vector<RecordSummary> summaries;
    summaries.reserve(records->size());
    for (const ComPtr<IUser>& record : *records) {
        summaries.push_back({RecordName(record.get()), RecordType(record.get()),
                             ValueOrEmpty(record.get(), "Status"),
                             ValueOrEmpty(record.get(), "Monitor_Result"),
                             ValueOrEmpty(record.get(), "Monitor_Parameter"),
                             ValueOrEmpty(record.get(), "Monitor_InterVal (s)")});
    }
    if (json) {
        console.out << SummaryJson(summaries);
        return kExitDone;
    }
    for (const RecordSummary& summary : summaries)
        console.out << SummaryLine(summary);
    return kExitDone;
}

Outcome ShowRecord(Console& console, const std::string& name, bool json)
{
    Result<ComPtr<IUserStore>> store = Store();
    if (!store)
        return store.error();
    Result<ComPtr<IUser>> record = OpenRecord(store->get(), name);
    if (!record)
        return record.error();
    Result<std::vector<Parameter>> parameters = Parameters(record->get());
    if (!parameters)
        return parameters.error();
    if (json)
        console.out << RecordJson(RecordName(record->get()), RecordType(record->get()),
                                  *parameters);
    else
        console.out << ParameterLines(*parameters);
    return kExitDone;
}

Outcome GetValue(Console& console, const std::string& name, const std::string& key)
{
    Result<ComPtr<IUserStore>> store = Store();
    if (!store)
        return store.error();
    Result<ComPtr<IUser>> record = OpenRecord(store->get(), name);
    if (!record)
        return record.error();
    Result<std::optional<std::string>> value = ReadValue(record->get(), key);
    if (!value)
        return value.error();
    if (!*value)
        return Unavailable("the monitor " + Quoted(name) + " has no value " + Quoted(key));
    console.out << **value << '\n';
    return kExitDone;
}

Outcome SetValue(Console&, const std::string& name, const std::string& key,
                 const std::string& value)
{
    if (key.empty())
        return BadInput("the key is empty");
    Result<ComPtr<IUserStore>> store = Store();
    if (!store)
        return store.error();
    Result<ComPtr<IUser>> record = OpenRecord(store->get(), name);
    if (!record)
        return record.error();
    if (Result<void> written = WriteValue(record->get(), key, value); !written)
        return written.error();
    return kExitDone;
}

Outcome AddRecord(Console& console, const std::string& type, const std::string& name)
{
    if (name.empty())
        return BadInput("the monitor name is empty");
    Result<std::vector<std::string>> types = MonitorTypes();
    if (!types)
        return types.error();
    auto known = std::find_if(types->begin(), types->end(), [&](const std::string& candidate) {
        return EqualNoCase(candidate, type);
    });
    if (known == types->end())
        return BadInput("no monitor type named " + Quoted(type) + " (see `wardenctl types`)");
    const std::string recordName = *known + " of " + name;

    Result<ComPtr<IUserStore>> store = Store();
    if (!store)
        return store.error();
    Result<bool> exists = RecordExists(store->get(), recordName);
    if (!exists)
        return exists.error();
    if (*exists)
        return BadInput("a monitor named " + Quoted(recordName) + " exists already");
    Result<ComPtr<IUserRef>> ref = ReferenceTo(recordName);
    if (!ref)
        return ref.error();
    if (HRESULT hr = (*store)->Add(ref->get()); FAILED(hr))
        return Unavailable("cannot add " + Quoted(recordName) + ": " + com::DescribeHResult(hr));
    console.out << recordName << '\n';
    return kExitDone;
}

Outcome RemoveRecord(Console&, const std::string& name)
{
    Result<ComPtr<IUserStore>> store = Store();
    if (!store)
        return store.error();
    Result<ComPtr<IUserRef>> ref = ReferenceTo(name);
    if (!ref)
        return ref.error();
    if (HRESULT hr = (*store)->Remove(ref->get()); FAILED(hr)) {
        Result<bool> exists = RecordExists(store->get(), name);
        if (!exists)
            return exists.error();
        if (!*exists)
            return Unavailable("no monitor named " + Quoted(name));
        return Unavailable("cannot remove " + Quoted(name) + ": " + com::DescribeHResult(hr));
    }
    return kExitDone;
}

Outcome ListTypes(Console& console)
{
    Result<std::vector<std::string>> types = MonitorTypes();
    if (!types)
        return types.error();
    for (const std::string& type : *types)
        console.out << type << '\n';
    return kExitDone;
}

Outcome ImportFile(Console&, const std::string& path)
{
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec))
        return BadInput("cannot import " + Quoted(path) + ": no such file");
    Result<ComPtr<IUserFile>> files = MonitorFiles();
    if (!files)
        return files.error();
    com::Bstr file(AbsolutePath(path));
    if (HRESULT hr = (*files)->Import(file.get()); FAILED(hr))
        return BadInput("cannot import " + Quoted(path) + ": " + com::DescribeHResult(hr));
    return kExitDone;
}

Outcome ExportFile(Console&, const std::string& path)
{
    Result<ComPtr<IUserFile>> files = MonitorFiles();
    if (!files)
        return files.error();
    com::Bstr file(AbsolutePath(path));
    if (HRESULT hr = (*files)->Export(file.get()); FAILED(hr))
        return BadInput("cannot export to " + Quoted(path) + ": " + com::DescribeHResult(hr));
    return kExitDone;
}

} // namespace ospreon::ctl
