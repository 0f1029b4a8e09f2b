#include "service/daemon/alarm_policy.h"

#include <algorithm>

namespace ospreon::daemon {

AlarmStep NextAlarmStep(store::MonitorState state, bool ok, const MonitorSettings& settings)
{
    if (ok) {
        const bool owed = state.alarm || state.recoveryDue;
        state.failures = 0;
        state.alarm = false;
        state.recoveryDue = owed;
        return {state, owed ? AlarmAction::Recovery : AlarmAction::None};
    }
    // Counting stops well past any limit, so the count never overflows.
    const long long failTimes = std::max(1LL, settings.failTimes);
    state.failures = std::min<long long>(state.failures + 1, settings.maxFailTimes + failTimes + 1);
    if (!state.alarm && state.failures >= failTimes) {
        state.alarm = true;
        return {state, AlarmAction::CommandAndNotify};
    }
    if (state.alarm && state.failures > failTimes && state.failures <= settings.maxFailTimes)
        return {state, AlarmAction::Command};
    return {state, AlarmAction::None};
}

store::MonitorState RecoveryDone(store::MonitorState state)
{
    state.recoveryDue = false;
    return state;
}

} // namespace ospreon::daemon
