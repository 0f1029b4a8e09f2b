#include "service/ctl/control_commands.h"

#include "interfaces/service_monitor.h"
#include "platform/com/activation.h"
#include "service/ctl/service_access.h"

namespace ospreon::ctl {

namespace {

constexpr char kEnable[] = "Enable";
constexpr char kDisable[] = "Disable";

// Changes one record's "Status"; an already matching status is left alone, with
// "Monitor_Result" untouched, as the console skips such a row.
Result<bool> SetStatus(IUser* record, const std::string& name, const char* status)
{
    Result<std::optional<std::string>> current = ReadValue(record, name, "Status");
    if (!current)
        return current.error();
    if (*current && **current == status)
        return false;
    if (Result<void> written = WriteValue(record, name, "Status", status); !written)
        return written.error();
    if (Result<void> written = WriteValue(record, name, "Monitor_Result", "Ok"); !written)
        return written.error();
    return true;
}

// Every record is opened before any is changed, so a missing name changes nothing.
// A failure after that (a record removed meanwhile) is reported and the others are
// still handled.
Outcome SetStatusOfEach(Console& console, const std::vector<std::string>& names, bool start)
{
    Result<ComPtr<IUserStore>> store = Create<IUserStore>(CLSID_UserStore, "the user store");
    if (!store)
        return store.error();
    ExitStatus outcome = kExitDone;
    const auto failed = [&](const Error& error) {
        const int code = Report(console, error);
        if (outcome == kExitDone)
            outcome = static_cast<ExitStatus>(code);
    };
    std::vector<ComPtr<IUser>> records;
    for (const std::string& name : names) {
        Result<ComPtr<IUser>> record = OpenRecord(store->get(), name);
        if (!record) {
            failed(record.error());
            continue;
        }
        records.push_back(std::move(*record));
    }
    if (outcome != kExitDone)
        return outcome;

    const char* status = start ? kEnable : kDisable;
    const char* done = start ? "started" : "stopped";
    for (std::size_t i = 0; i < names.size(); ++i) {
        Result<bool> changed = SetStatus(records[i].get(), names[i], status);
        if (!changed) {
            failed(changed.error());
            continue;
        }
        console.out << (*changed ? "" : "already ") << done << ": " << names[i] << '\n';
    }
    return outcome;
}

// The plug-in object that serves the record, as IServiceMonitor.
Result<ComPtr<IServiceMonitor>> PluginOf(IUser* record, const std::string& name)
{
    ComPtr<IDispatch> object;
    HRESULT hr = record->get_UserFunc(object.put());
    if (FAILED(hr) || !object)
        return Unavailable("the monitor " + Quoted(name) +
                           " has no plug-in object: " + FailureReason(FAILED(hr) ? hr : E_POINTER));
    ComPtr<IServiceMonitor> monitor;
    if (HRESULT queried = object.As(monitor); FAILED(queried) || !monitor)
        return Unavailable("the plug-in object of " + Quoted(name) +
                           " is not a monitor (no IServiceMonitor): " +
                           com::DescribeHResult(FAILED(queried) ? queried : E_POINTER));
    return monitor;
}

// Opens the record and runs `call` with it and its plug-in object.
template <class Call> Outcome WithPlugin(const std::string& name, Call call)
{
    Result<ComPtr<IUserStore>> store = Create<IUserStore>(CLSID_UserStore, "the user store");
    if (!store)
        return store.error();
    Result<ComPtr<IUser>> record = OpenRecord(store->get(), name);
    if (!record)
        return record.error();
    Result<ComPtr<IServiceMonitor>> monitor = PluginOf(record->get(), name);
    if (!monitor)
        return monitor.error();
    return call(record->get(), monitor->get());
}

} // namespace

Outcome StartRecords(Console& console, const std::vector<std::string>& names)
{
    return SetStatusOfEach(console, names, true);
}

Outcome StopRecords(Console& console, const std::vector<std::string>& names)
{
    return SetStatusOfEach(console, names, false);
}

Outcome TestRecord(Console& console, const std::string& name)
{
    return WithPlugin(name, [&](IUser* record, IServiceMonitor* monitor) -> Outcome {
        const bool ok = SUCCEEDED(monitor->Monitor(record));
        const char* result = ok ? "Ok" : "Error";
        if (Result<void> written = WriteValue(record, name, "Monitor_Result", result); !written)
            return written.error();
        console.out << result << '\n';
        return ok ? kExitDone : kExitTrouble;
    });
}

Outcome NotifyRecord(Console& console, const std::string& name)
{
    return WithPlugin(name, [&](IUser* record, IServiceMonitor* monitor) -> Outcome {
        const bool sent = SUCCEEDED(monitor->Notify(record));
        console.out << (sent ? "Ok" : "Error") << '\n';
        return sent ? kExitDone : kExitTrouble;
    });
}

} // namespace ospreon::ctl
