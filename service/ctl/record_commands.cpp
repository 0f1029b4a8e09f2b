#include "service/ctl/record_commands.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <system_error>

#include "interfaces/guids.h"
#include "interfaces/service_errors.h"
#include "interfaces/user_file.h"
#include "platform/base/ascii.h"
#include "platform/com/activation.h"
#include "platform/com/bstr.h"
#include "platform/com/error_info.h"
#include "service/ctl/output_format.h"
#include "service/ctl/service_access.h"
#include "service/store/database.h"
#include "service/store/meta_table.h"
#include "service/store/monitor_state.h"

namespace ospreon::ctl {

namespace {

Result<ComPtr<IUserStore>> Store()
{
    return Create<IUserStore>(CLSID_UserStore, "the user store");
}

// The file's path made absolute against our working folder: the service objects
// run in this process, but a path handed across COM should not depend on that.
std::string AbsolutePath(const std::string& path)
{
    std::error_code ec;
    std::filesystem::path absolute = std::filesystem::absolute(path, ec);
    return ec ? path : absolute.lexically_normal().string();
}

Result<ComPtr<IUserFile>> MonitorFiles()
{
    return Create<IUserFile>(CLSID_UserFile, "the monitor file object");
}

// A failed IUserFile Import or Export (`action` names it and the file), told by the
// description the call left, else by its code. The file's
// own faults, as IUserFile reports them (service/objects/file_errors.h,
// monitor_file.h), are bad input; any other failure (the store, the registry)
// leaves the store unavailable.
Error FileFailure(const std::string& action, HRESULT hr)
{
    struct Cause
    {
        HRESULT hr;
        const char* text;
        bool fileFault;
    };
    static constexpr Cause kCauses[] = {
        {WARDEN_E_BADFILE, "not a usable monitor file", true},
        {HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), "no such file", true},
        {HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), "no such folder", true},
        {HRESULT_FROM_WIN32(ERROR_CANTREAD), "the file cannot be read", true},
        {HRESULT_FROM_WIN32(ERROR_CANTWRITE), "the file cannot be written", true},
        {HRESULT_FROM_WIN32(ERROR_DISK_FULL), "the disk is full", true},
        {E_ACCESSDENIED, "access denied", true},
        {E_INVALIDARG, "not a usable file name", true},
        {WARDEN_E_STORE, "the monitor store cannot be used", false},
        {WARDEN_E_BUSY, "the monitor store stayed locked by another process", false},
    };
    const std::string code = com::DescribeHResult(hr);
    const com::ErrorText info = com::TakeErrorText();
    for (const Cause& cause : kCauses) {
        if (cause.hr != hr)
            continue;
        std::string message =
            action + ": " +
            (info.description.empty() ? cause.text + (" (" + code + ")") : info.description);
        return cause.fileFault ? BadInput(std::move(message)) : Unavailable(std::move(message));
    }
    return Unavailable(action + ": " + (info.description.empty() ? code : info.description));
}

// What the daemon keeps of each monitor, by the record's name folded to lower case.
Result<std::map<std::string, CheckSummary>> CheckSummaries()
{
    Result<std::shared_ptr<store::Database>> db = store::OpenDefault();
    if (!db)
        return Unavailable("cannot read the monitors' last checks: " + db.error().message);
    Result<std::vector<std::pair<std::string, store::MonitorState>>> states =
        store::MonitorStateTable(**db).ReadAll();
    if (!states)
        return Unavailable("cannot read the monitors' last checks: " + states.error().message);
    std::map<std::string, CheckSummary> summaries;
    for (const auto& [name, state] : *states)
        summaries[ToLowerAscii(name)] = {CheckTime(state.lastCheckMs), state.failures};
    return summaries;
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
    const std::vector<std::string> keys = {"Status", "Monitor_Result", "Monitor_Parameter",
                                           "Monitor_InterVal (s)"};
    Result<std::map<std::string, CheckSummary>> checks = CheckSummaries();
    if (!checks)
        return checks.error();
    std::vector<RecordSummary> summaries;
    summaries.reserve(records->size());
    for (const ComPtr<IUser>& record : *records) {
        Result<std::optional<ListedRecord>> listed = ReadListed(record.get(), keys);
        if (!listed)
            return listed.error();
        if (!*listed)
            continue; // removed since it was counted
        ListedRecord& read = **listed;
        CheckSummary check;
        if (auto kept = checks->find(ToLowerAscii(read.name)); kept != checks->end())
            check = kept->second;
        summaries.push_back({std::move(read.name), std::move(read.type), std::move(read.values[0]),
                             std::move(read.values[1]), std::move(read.values[2]),
                             std::move(read.values[3]), std::move(check.lastCheck),
                             check.failures});
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
    Result<std::vector<Parameter>> parameters = Parameters(record->get(), name);
    if (!parameters)
        return parameters.error();
    Result<std::optional<ListedRecord>> head = ReadListed(record->get(), {});
    if (!head)
        return head.error();
    if (!*head)
        return Unavailable("no monitor named " + Quoted(name));
    Result<std::map<std::string, CheckSummary>> checks = CheckSummaries();
    if (!checks)
        return checks.error();
    CheckSummary check;
    if (auto kept = checks->find(ToLowerAscii((*head)->name)); kept != checks->end())
        check = kept->second;
    if (!json) {
        console.out << ParameterLines(*parameters, check);
        return kExitDone;
    }
    console.out << RecordJson((*head)->name, (*head)->type, *parameters, check);
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
    Result<std::optional<std::string>> value = ReadValue(record->get(), name, key);
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
    if (Result<void> written = WriteValue(record->get(), name, key, value); !written)
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
        return EqualsNoCase(candidate, type);
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
    if (HRESULT hr = (*store)->Add(ref->get()); FAILED(hr)) {
        // E_INVALIDARG: a name the store does not take (a control character in it).
        if (hr == E_INVALIDARG)
            return BadInput(FailureReason(hr));
        return Unavailable("cannot add " + Quoted(recordName) + ": " + FailureReason(hr));
    }
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
        const std::string why = FailureReason(hr);
        Result<bool> exists = RecordExists(store->get(), name);
        if (!exists)
            return exists.error();
        if (!*exists)
            return Unavailable("no monitor named " + Quoted(name));
        return Unavailable("cannot remove " + Quoted(name) + ": " + why);
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

Outcome ImportFile(Console& console, const std::string& path)
{
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec))
        return BadInput("cannot import " + Quoted(path) + ": no such file");
    Result<ComPtr<IUserFile>> files = MonitorFiles();
    if (!files)
        return files.error();
    com::Bstr file(AbsolutePath(path));
    const HRESULT hr = (*files)->Import(file.get());
    if (FAILED(hr))
        return FileFailure("cannot import " + Quoted(path), hr);
    if (hr != S_FALSE)
        return kExitDone;
    // Some records were skipped: the import stored its summary, which names them.
    Result<std::shared_ptr<store::Database>> db = store::OpenDefault();
    if (!db)
        return Unavailable("imported, but cannot tell what was skipped: " + db.error().message);
    Result<store::ImportSummary> summary = store::MetaTable(**db).LastImport();
    if (!summary)
        return Unavailable("imported, but cannot tell what was skipped: " +
                           summary.error().message);
    console.out << EscapeField(summary->text) << '\n';
    return kExitDone;
}

Outcome ExportFile(Console&, const std::string& path)
{
    if (path.empty())
        return BadInput("cannot export: the file name is empty");
    Result<ComPtr<IUserFile>> files = MonitorFiles();
    if (!files)
        return files.error();
    com::Bstr file(AbsolutePath(path));
    if (HRESULT hr = (*files)->Export(file.get()); FAILED(hr))
        return FileFailure("cannot export to " + Quoted(path), hr);
    return kExitDone;
}

} // namespace ospreon::ctl
