// The scheduler's view of the store: which monitors are started with which
// settings, noticed changes, and reloads.

#include <sys/stat.h>

#include "platform/com/bstr.h"
#include "platform/os/paths.h"
#include "service/daemon/scheduler.h"
#include "service/store/meta_table.h"

namespace ospreon::daemon {

void Scheduler::Scan()
{
    Result<std::vector<ComPtr<IUser>>> records = AllRecords(m_store.get());
    if (!records) {
        m_log.Write("cannot read the monitors: " + records.error().message);
        return;
    }
    Result<std::vector<std::pair<std::string, store::MonitorState>>> kept = m_states.ReadAll();
    std::map<std::string, store::MonitorState> states;
    if (kept) {
        for (auto& [name, state] : *kept)
            states.emplace(std::move(name), state);
    }
    std::set<std::string> started;
    for (ComPtr<IUser>& record : *records) {
        com::Bstr userName;
        if (FAILED(record->get_UserName(userName.put())))
            continue; // removed since it was listed
        const std::string name = userName.utf8();
        IUser* user = record.get();
        const MonitorSettings settings = ReadSettings({
            ReadText(user, "Status"),
            ReadText(user, "Monitor_InterVal (s)"),
            ReadText(user, "Monitor_Timeout (s)"),
            ReadText(user, "Monitor_FailTimes"),
            ReadText(user, "Monitor_MaxFailTimes"),
        });
        const auto state = states.find(name);
        if (!settings.enabled) {
            // A monitor stopped during an outage begins a new count when it is
            // started again.
            if (state != states.end() &&
                (state->second.failures != 0 || state->second.alarm || state->second.recoveryDue))
                ResetState(name, state->second);
            continue;
        }
        started.insert(name);
        auto [at, added] = m_monitors.try_emplace(name);
        Monitor& monitor = at->second;
        const bool rescheduled =
            added || monitor.removed || monitor.settings.interval != settings.interval;
        if (added && state != states.end())
            monitor.state = state->second;
        if (monitor.removed)
            monitor.state = state != states.end() ? state->second : store::MonitorState{};
        monitor.removed = false;
        monitor.settings = settings;
        monitor.record = std::move(record);
        if (rescheduled)
            Queue(name, monitor, FirstTime(name, settings.interval));
    }
    for (auto it = m_monitors.begin(); it != m_monitors.end();) {
        auto& [name, monitor] = *it;
        if (started.count(name)) {
            ++it;
            continue;
        }
        Unqueue(name, monitor);
        m_dirty.erase(name);
        if (auto state = states.find(name); state != states.end())
            ResetState(name, state->second);
        if (monitor.ticket != 0) {
            monitor.removed = true; // dropped when its call returns
            monitor.pending = AlarmAction::None;
            ++it;
        } else {
            it = m_monitors.erase(it);
        }
    }
}

void Scheduler::ResetState(const std::string& name, store::MonitorState state)
{
    state.failures = 0;
    state.alarm = false;
    state.recoveryDue = false;
    if (Result<void> written = m_states.Write({{name, state}}); !written)
        m_log.Write("cannot reset the state of " + name + ": " + written.error().message);
}

void Scheduler::Watch()
{
    Result<std::int64_t> dataVersion = m_states.DataVersion();
    if (dataVersion && *dataVersion == m_dataVersion)
        return; // no other connection committed anything
    if (dataVersion)
        m_dataVersion = *dataVersion;
    Result<std::int64_t> generation = store::MetaTable(*m_db).Generation();
    if (generation && *generation != m_generation) {
        const bool first = m_generation < 0;
        m_generation = *generation;
        Result<std::int64_t> settingsVersion = m_states.SettingsVersion();
        m_settingsVersion = settingsVersion ? *settingsVersion : -1;
        if (first)
            Scan();
        else
            Reload("a reload request");
        return;
    }
    Result<std::int64_t> settingsVersion = m_states.SettingsVersion();
    if (settingsVersion && *settingsVersion != m_settingsVersion) {
        m_settingsVersion = *settingsVersion;
        Scan();
    }
}

void Scheduler::Reload(const std::string& why)
{
    m_log.Configure();
    m_log.Write("reload (" + why + ")");
    Scan();
    std::map<std::string, std::string> plugins = PluginStamps();
    if (plugins == m_plugins)
        return;
    // Added, removed or rewritten files; only the workers that loaded one restart.
    std::set<std::string> changed;
    for (const auto& [path, stamp] : plugins) {
        auto old = m_plugins.find(path);
        if (old == m_plugins.end() || old->second != stamp)
            changed.insert(path);
    }
    for (const auto& [path, stamp] : m_plugins) {
        if (!plugins.count(path))
            changed.insert(path);
    }
    m_plugins = std::move(plugins);
    const std::size_t restarted = RestartWorkersUsing(changed);
    std::size_t running = 0;
    for (const Slot& slot : m_slots)
        running += slot.process != nullptr;
    m_log.Write("plug-in modules changed: " + std::to_string(restarted) + " of " +
                std::to_string(restarted + running) + " workers restarted");
}

std::map<std::string, std::string> Scheduler::PluginStamps() const
{
    // Size and modification time of every module file: a module copied again by
    // registration changes them.
    std::map<std::string, std::string> files;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(os::Home() / "plugins", error)) {
        struct stat info
        {};
        if (::stat(entry.path().c_str(), &info) != 0)
            continue;
        std::error_code ec;
        const std::filesystem::path real = std::filesystem::canonical(entry.path(), ec);
        files[ec ? entry.path().string() : real.string()] =
            std::to_string(info.st_size) + ":" + std::to_string(info.st_mtim.tv_sec) + "." +
            std::to_string(info.st_mtim.tv_nsec);
    }
    return files;
}

} // namespace ospreon::daemon
