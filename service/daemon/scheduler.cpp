#include "service/daemon/scheduler.h"

#include <poll.h>
#include <sys/signalfd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <fstream>
#include <functional>
#include <string_view>

#include "platform/os/launcher.h"
#include "platform/sqlite/connection.h"

namespace ospreon::daemon {

namespace {

using std::chrono::milliseconds;

constexpr milliseconds kLate{100};
constexpr milliseconds kWatchEvery{1000};
constexpr milliseconds kHeartbeatEvery{2000};
constexpr milliseconds kIdleCheckpoint{5000};
// How long a stop lets running checks end before it abandons them.
constexpr milliseconds kStopBound{3000};
// Crashes of a worker during a monitor's check after which it gets a worker of its own.
constexpr int kCrashesBeforeOwnWorker = 2;

const char* ResultText(bool ok, bool timedOut)
{
    return ok ? "Ok" : timedOut ? "Timeout" : "Error";
}

std::int64_t WallMs()
{
    return std::chrono::duration_cast<milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

} // namespace

Scheduler::Scheduler(SchedulerOptions options, ServiceLog& log, std::shared_ptr<store::Database> db)
    : m_options(std::move(options)), m_log(log), m_db(std::move(db)), m_states(*m_db)
{
    m_slots.resize(static_cast<std::size_t>(std::max(1, m_options.workers)));
}

Scheduler::~Scheduler() = default;

Scheduler::Clock::time_point Scheduler::FirstTime(const std::string& name,
                                                  std::chrono::seconds interval) const
{
    // A stable offset within the interval, from the name, so that monitors of one
    // interval spread over it and keep their places across scans.
    const auto period = std::chrono::duration_cast<milliseconds>(interval).count();
    const auto offset = static_cast<std::int64_t>(std::hash<std::string>{}(name) %
                                                  static_cast<std::size_t>(period));
    const Clock::time_point now = Clock::now();
    const auto sinceEpoch =
        std::chrono::duration_cast<milliseconds>(now.time_since_epoch()).count();
    const std::int64_t phase = ((sinceEpoch - offset) % period + period) % period;
    return now + milliseconds(phase == 0 ? 0 : period - phase);
}

void Scheduler::Queue(const std::string& name, Monitor& monitor, Clock::time_point at)
{
    Unqueue(name, monitor);
    monitor.next = at;
    monitor.queued = true;
    m_queue.emplace(at, name);
}

void Scheduler::Unqueue(const std::string& name, Monitor& monitor)
{
    if (monitor.queued)
        m_queue.erase({monitor.next, name});
    monitor.queued = false;
}

std::size_t Scheduler::SlotFor(const std::string& name)
{
    if (auto own = m_ownSlots.find(name); own != m_ownSlots.end())
        return own->second;
    return std::hash<std::string>{}(name) %
           static_cast<std::size_t>(std::max(1, m_options.workers));
}

void Scheduler::DispatchDue()
{
    const Clock::time_point now = Clock::now();
    while (!m_queue.empty() && m_queue.begin()->first <= now) {
        const std::string name = m_queue.begin()->second;
        Monitor& monitor = m_monitors.at(name);
        const Clock::time_point planned = monitor.next;
        // No drift: the next time is the planned time plus the interval. A monitor
        // more than an interval behind (a stopped clock, a long stall) takes its
        // next place from now.
        Clock::time_point next = planned + monitor.settings.interval;
        if (next + monitor.settings.interval <= now)
            next = FirstTime(name, monitor.settings.interval);
        Queue(name, monitor, next);
        if (monitor.ticket != 0)
            continue; // its call has not returned: this check is skipped
        monitor.planned = planned;
        (void)Dispatch(name, monitor, FrameKind::Check);
    }
}

bool Scheduler::Dispatch(const std::string& name, Monitor& monitor, FrameKind kind)
{
    const std::size_t index = SlotFor(name);
    for (int attempt = 0; attempt < 2; ++attempt) {
        Slot& slot = m_slots[index];
        if (!slot.process) {
            Result<std::unique_ptr<WorkerProcess>> started = WorkerProcess::Start(
                m_options.program, slot.ownMonitor.empty() ? m_options.threads : 1);
            if (!started) {
                m_log.Write("cannot start a worker: " + started.error().message);
                return false;
            }
            slot.process = std::move(*started);
        }
        Frame frame;
        frame.kind = kind;
        frame.ticket = ++m_lastTicket == 0 ? ++m_lastTicket : m_lastTicket;
        frame.name = name;
        if (!SendFrame(slot.process->fd(), frame)) {
            WorkerLost(index, "stopped taking calls");
            continue;
        }
        monitor.ticket = frame.ticket;
        monitor.call = kind;
        monitor.dispatched = Clock::now();
        monitor.timedOut = false;
        monitor.slot = index;
        slot.tickets.insert(frame.ticket);
        m_tickets.emplace(frame.ticket, name);
        if (kind == FrameKind::Check)
            m_deadlines.emplace(monitor.dispatched + monitor.settings.timeout, frame.ticket);
        return true;
    }
    return false;
}

void Scheduler::CheckTimeouts()
{
    const Clock::time_point now = Clock::now();
    std::set<std::size_t> slotsToCheck;
    while (!m_deadlines.empty() && m_deadlines.begin()->first <= now) {
        const std::uint32_t ticket = m_deadlines.begin()->second;
        m_deadlines.erase(m_deadlines.begin());
        auto found = m_tickets.find(ticket);
        if (found == m_tickets.end())
            continue;
        const std::string name = found->second;
        Monitor& monitor = m_monitors.at(name);
        monitor.timedOut = true;
        ++m_counters.timeouts;
        Conclude(name, monitor, Outcome::Timeout);
        slotsToCheck.insert(monitor.slot);
    }
    // A worker whose threads are all held by calls past their time-out serves no
    // one any more: it is replaced.
    for (std::size_t index : slotsToCheck) {
        Slot& slot = m_slots[index];
        if (!slot.process)
            continue;
        std::size_t stuck = 0;
        for (std::uint32_t ticket : slot.tickets)
            stuck += m_monitors.at(m_tickets.at(ticket)).timedOut;
        if (stuck >= static_cast<std::size_t>(slot.process->threads())) {
            slot.process->Kill();
            WorkerLost(index, "had all its threads stuck past their time-outs");
        }
    }
}

void Scheduler::Receive(std::size_t index)
{
    for (;;) {
        Slot& slot = m_slots[index];
        if (!slot.process)
            return;
        Result<std::optional<Frame>> frame = ReceiveFrame(slot.process->fd(), false);
        if (!frame) {
            WorkerLost(index, "ended");
            return;
        }
        if (!*frame)
            return;
        auto found = m_tickets.find((*frame)->ticket);
        if (found == m_tickets.end() || (*frame)->kind != FrameKind::Done)
            continue;
        const std::string name = found->second;
        m_tickets.erase(found);
        slot.tickets.erase((*frame)->ticket);
        Monitor& monitor = m_monitors.at(name);
        monitor.ticket = 0;
        if (monitor.call == FrameKind::Check && !monitor.timedOut) {
            const auto late =
                (monitor.dispatched - monitor.planned) + milliseconds((*frame)->waitedMs);
            m_counters.late += late > kLate;
            Conclude(name, monitor, SUCCEEDED((*frame)->value) ? Outcome::Ok : Outcome::Error);
        } else if (monitor.call == FrameKind::Recovery) {
            monitor.state = RecoveryDone(monitor.state);
            m_dirty.insert(name);
        }
        // A late call's outcome is discarded: its time-out was the result.
        Returned(name, monitor);
    }
}

void Scheduler::Returned(const std::string& name, Monitor& monitor)
{
    monitor.timedOut = false;
    if (monitor.removed) {
        if (monitor.ticket == 0) {
            Unqueue(name, monitor);
            m_monitors.erase(name);
        }
        return;
    }
    if (monitor.pending != AlarmAction::None)
        StartAction(name, monitor, std::exchange(monitor.pending, AlarmAction::None));
}

void Scheduler::Conclude(const std::string& name, Monitor& monitor, Outcome outcome)
{
    ++m_counters.checks;
    const bool ok = outcome == Outcome::Ok;
    if (monitor.record) {
        const std::string text = ResultText(ok, outcome == Outcome::Timeout);
        if (ReadText(monitor.record.get(), "Monitor_Result") != text)
            (void)WriteText(monitor.record.get(), "Monitor_Result", text);
    }
    AlarmStep step = NextAlarmStep(monitor.state, ok, monitor.settings);
    step.state.lastCheckMs = WallMs();
    monitor.state = step.state;
    m_dirty.insert(name);
    if (step.action == AlarmAction::None)
        return;
    // The new state is committed before the call, so that no restart repeats it.
    FlushStates();
    switch (step.action) {
    case AlarmAction::CommandAndNotify:
        m_log.Write("alarm: " + name + " failed " + std::to_string(step.state.failures) +
                    " times; running its command and notifying");
        break;
    case AlarmAction::Command:
        m_log.Write("alarm: " + name + " failed " + std::to_string(step.state.failures) +
                    " times; running its command again");
        break;
    case AlarmAction::Recovery:
        m_log.Write("recovery: " + name + " works again");
        break;
    case AlarmAction::None:
        break;
    }
    if (monitor.ticket != 0)
        monitor.pending = step.action; // its check is still running
    else
        StartAction(name, monitor, step.action);
}

void Scheduler::StartAction(const std::string& name, Monitor& monitor, AlarmAction action)
{
    const FrameKind kind = action == AlarmAction::Command            ? FrameKind::Command
                           : action == AlarmAction::CommandAndNotify ? FrameKind::CommandAndNotify
                                                                     : FrameKind::Recovery;
    if (!Dispatch(name, monitor, kind))
        m_log.Write("alarm call for " + name + " could not be made");
}

void Scheduler::WorkerLost(std::size_t index, const std::string& why)
{
    Slot& slot = m_slots[index];
    if (!slot.process)
        return;
    slot.process->Kill(); // when it "ended" only in closing its socket
    std::optional<int> status = slot.process->Collect(1000);
    const std::string how = status ? os::DescribeWaitStatus(*status) : "did not end";
    m_log.Write("worker " + std::to_string(slot.process->pid()) + " " + why + " (" + how +
                "); replaced");
    ++m_counters.workersReplaced;
    slot.process.reset();
    for (const std::string& name : ReleaseCalls(slot)) {
        Monitor& monitor = m_monitors.at(name);
        if (monitor.call == FrameKind::Check && !monitor.timedOut) {
            m_log.Write("fault contained: the check of " + name + " was lost with its worker (" +
                        how + ")");
            Conclude(name, monitor, Outcome::Error);
            if (++monitor.crashes >= kCrashesBeforeOwnWorker && !m_ownSlots.count(name)) {
                m_ownSlots[name] = m_slots.size();
                m_slots.push_back(Slot{nullptr, name, {}});
                m_log.Write(name + " runs in a worker of its own from now on");
            }
        }
        Returned(name, monitor);
    }
}

namespace {

// Whether the process has one of `modules` mapped, by /proc/PID/maps. A file
// replaced since it was loaded shows under its path with " (deleted)".
bool HasLoaded(pid_t pid, const std::set<std::string>& modules)
{
    std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
    constexpr std::string_view kDeleted = " (deleted)";
    for (std::string line; std::getline(maps, line);) {
        const std::size_t path = line.find('/');
        if (path == std::string::npos)
            continue;
        std::string_view file = std::string_view(line).substr(path);
        if (file.ends_with(kDeleted))
            file.remove_suffix(kDeleted.size());
        if (modules.count(std::string(file)))
            return true;
    }
    return false;
}

} // namespace

std::size_t Scheduler::RestartWorkersUsing(const std::set<std::string>& modules)
{
    // The processes go first, so that a call made as another returns starts a new one.
    std::vector<std::size_t> restarted;
    for (std::size_t index = 0; index < m_slots.size(); ++index) {
        Slot& slot = m_slots[index];
        if (slot.process && HasLoaded(slot.process->pid(), modules)) {
            slot.process.reset();
            restarted.push_back(index);
        }
    }
    for (std::size_t index : restarted) {
        for (const std::string& name : ReleaseCalls(m_slots[index]))
            Returned(name, m_monitors.at(name));
    }
    return restarted.size();
}

std::vector<std::string> Scheduler::ReleaseCalls(Slot& slot)
{
    std::vector<std::string> names;
    for (std::uint32_t ticket : std::exchange(slot.tickets, {})) {
        auto found = m_tickets.find(ticket);
        if (found == m_tickets.end())
            continue;
        names.push_back(found->second);
        m_tickets.erase(found);
        m_monitors.at(names.back()).ticket = 0;
    }
    return names;
}

void Scheduler::FlushStates()
{
    if (m_dirty.empty())
        return;
    std::vector<std::pair<std::string, store::MonitorState>> states;
    for (const std::string& name : m_dirty) {
        if (auto found = m_monitors.find(name); found != m_monitors.end())
            states.emplace_back(name, found->second.state);
    }
    if (Result<void> written = m_states.Write(states); !written) {
        m_log.Write("cannot store the monitors' state: " + written.error().message);
        return;
    }
    m_dirty.clear();
}

Scheduler::Clock::duration Scheduler::Wait(Clock::time_point now) const
{
    Clock::time_point until = std::min(m_nextWatch, m_nextHeartbeat);
    if (!m_stopping && !m_queue.empty())
        until = std::min(until, m_queue.begin()->first);
    if (!m_deadlines.empty())
        until = std::min(until, m_deadlines.begin()->first);
    return until > now ? until - now : Clock::duration::zero();
}

int Scheduler::Run(int signalFd)
{
    Result<ComPtr<IUserStore>> store = OpenUserStore();
    if (!store) {
        m_log.Write("cannot start: " + store.error().message);
        return 1;
    }
    m_store = std::move(*store);
    m_log.Write("start (pid " + std::to_string(::getpid()) + ", " + std::to_string(m_slots.size()) +
                " workers of " + std::to_string(m_options.threads) + " threads)");
    m_plugins = PluginStamps();
    Watch();
    Clock::time_point stopBy{};
    std::vector<pollfd> fds;
    std::vector<std::size_t> slotOf;
    for (;;) {
        if (!m_stopping)
            DispatchDue();
        CheckTimeouts();
        Clock::time_point now = Clock::now();
        if (m_stopping && (m_tickets.empty() || now >= stopBy))
            break;
        if (now >= m_nextWatch) {
            Watch();
            FlushStates();
            sqlite::CheckpointIdle(kIdleCheckpoint);
            m_nextWatch = now + kWatchEvery;
        }
        if (now >= m_nextHeartbeat) {
            WriteHeartbeat(m_options.runFolder, m_counters);
            m_nextHeartbeat = now + kHeartbeatEvery;
        }
        fds.assign(1, pollfd{signalFd, POLLIN, 0});
        slotOf.clear();
        for (std::size_t index = 0; index < m_slots.size(); ++index) {
            if (!m_slots[index].process)
                continue;
            fds.push_back(pollfd{m_slots[index].process->fd(), POLLIN, 0});
            slotOf.push_back(index);
        }
        auto wait = std::chrono::duration_cast<milliseconds>(Wait(now) + milliseconds(1));
        if (m_stopping)
            wait = std::min(wait, std::chrono::duration_cast<milliseconds>(stopBy - now));
        const int ready = ::poll(fds.data(), fds.size(), static_cast<int>(wait.count()));
        if (ready <= 0)
            continue;
        if (fds[0].revents & POLLIN) {
            signalfd_siginfo info{};
            while (::read(signalFd, &info, sizeof info) == sizeof info) {
                if (info.ssi_signo == SIGHUP) {
                    Reload("SIGHUP");
                } else if (!m_stopping) {
                    m_stopping = true;
                    stopBy = Clock::now() + kStopBound;
                    m_log.Write(info.ssi_signo == SIGINT ? "stopping on SIGINT"
                                                         : "stopping on SIGTERM");
                }
            }
        }
        for (std::size_t at = 1; at < fds.size(); ++at) {
            if (fds[at].revents != 0)
                Receive(slotOf[at - 1]);
        }
    }
    FlushStates();
    if (!m_tickets.empty())
        m_log.Write("stop: abandoning " + std::to_string(m_tickets.size()) + " running calls");
    for (Slot& slot : m_slots)
        slot.process.reset();
    WriteHeartbeat(m_options.runFolder, m_counters);
    m_log.Write("stop");
    m_monitors.clear();
    m_store.reset();
    return 0;
}

} // namespace ospreon::daemon
