#pragma once
// The scheduler: one thread over the started monitors ordered by their next check
// time. Each monitor has a stable offset within its interval, so monitors of one
// interval spread over it, and its next time is its planned time plus the interval
// (no drift). A due monitor's check goes to its worker (always the same one); a
// monitor whose call has not returned is not checked again until it has.
//
// Results: "Ok", "Error" or "Timeout" into "Monitor_Result" when it differs from
// the stored value; the failure count, alarm state and last check time into the
// store's monitor state, committed before any alarm call is made.
//
// Changes in the store are noticed within a second by SQLite's data_version and the
// store's settings counter; a moved reload generation, or SIGHUP, reloads.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "service/daemon/alarm_policy.h"
#include "service/daemon/frame.h"
#include "service/daemon/instance.h"
#include "service/daemon/service_log.h"
#include "service/daemon/service_records.h"
#include "service/daemon/worker_process.h"
#include "service/store/database.h"
#include "service/store/monitor_state.h"

namespace ospreon::daemon {

struct SchedulerOptions
{
    std::string program; // this program's file, started again in worker mode
    std::filesystem::path runFolder;
    int workers = 2;
    int threads = 8;
};

class Scheduler
{
public:
    Scheduler(SchedulerOptions options, ServiceLog& log, std::shared_ptr<store::Database> db);
    ~Scheduler();

    // Runs until SIGTERM or SIGINT arrives on `signalFd` (a signalfd); SIGHUP
    // reloads. The exit status.
    int Run(int signalFd);

private:
    using Clock = std::chrono::steady_clock;

    enum class Outcome
    {
        Ok,
        Error,
        Timeout,
    };

    struct Monitor
    {
        MonitorSettings settings;
        ComPtr<IUser> record;
        Clock::time_point next{}; // while queued
        bool queued = false;
        std::uint32_t ticket = 0; // the call in flight; 0 for none
        FrameKind call = FrameKind::Check;
        Clock::time_point planned{};
        Clock::time_point dispatched{};
        bool timedOut = false;
        std::size_t slot = 0;
        store::MonitorState state;
        AlarmAction pending = AlarmAction::None; // owed once the call in flight returns
        int crashes = 0;
        bool removed = false; // no longer started: dropped when its call returns
    };

    struct Slot
    {
        std::unique_ptr<WorkerProcess> process;
        std::string ownMonitor; // set for a worker of one monitor's own
        std::set<std::uint32_t> tickets;
    };

    // scheduler_scan.cpp
    void Scan();
    void Reload(const std::string& why);
    void Watch();
    // Each module file of $OSPREON_HOME/plugins with its size and modification time.
    std::map<std::string, std::string> PluginStamps() const;
    void ResetState(const std::string& name, store::MonitorState state);

    // scheduler.cpp
    void Queue(const std::string& name, Monitor& monitor, Clock::time_point at);
    void Unqueue(const std::string& name, Monitor& monitor);
    Clock::time_point FirstTime(const std::string& name, std::chrono::seconds interval) const;
    void DispatchDue();
    bool Dispatch(const std::string& name, Monitor& monitor, FrameKind kind);
    std::size_t SlotFor(const std::string& name);
    void CheckTimeouts();
    void Receive(std::size_t slot);
    void Returned(const std::string& name, Monitor& monitor);
    void Conclude(const std::string& name, Monitor& monitor, Outcome outcome);
    void StartAction(const std::string& name, Monitor& monitor, AlarmAction action);
    void WorkerLost(std::size_t slot, const std::string& why);
    // Restarts the workers that have one of `modules` (paths) loaded; how many.
    std::size_t RestartWorkersUsing(const std::set<std::string>& modules);
    // Forgets the calls running in the slot's worker; the names of their monitors.
    std::vector<std::string> ReleaseCalls(Slot& slot);
    void FlushStates();
    Clock::duration Wait(Clock::time_point now) const;

    const SchedulerOptions m_options;
    ServiceLog& m_log;
    std::shared_ptr<store::Database> m_db;
    store::MonitorStateTable m_states;
    ComPtr<IUserStore> m_store;

    std::map<std::string, Monitor> m_monitors;
    std::set<std::pair<Clock::time_point, std::string>> m_queue;
    std::map<std::uint32_t, std::string> m_tickets;
    std::set<std::pair<Clock::time_point, std::uint32_t>> m_deadlines;
    std::vector<Slot> m_slots; // the shared workers first, then workers of their own
    std::map<std::string, std::size_t> m_ownSlots;
    std::set<std::string> m_dirty;
    std::uint32_t m_lastTicket = 0;

    Counters m_counters;
    std::int64_t m_dataVersion = -1;
    std::int64_t m_settingsVersion = -1;
    std::int64_t m_generation = -1;
    std::map<std::string, std::string> m_plugins;
    Clock::time_point m_nextWatch{};
    Clock::time_point m_nextHeartbeat{};
    bool m_stopping = false;
};

} // namespace ospreon::daemon
