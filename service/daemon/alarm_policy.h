#pragma once
// Failure counting and alarms. After "Monitor_FailTimes" consecutive failures the
// monitor's failure command runs and its notification goes out; each further
// failure up to "Monitor_MaxFailTimes" runs the command again; then nothing until
// the monitor works again, when NotifySucc is owed once.
//
// The caller commits the new state before it makes the call the step asks for, so
// a restart never repeats an alarm; a recovery stays owed (recoveryDue) until its
// call has returned (RecoveryDone), so a restart never forgets one.

#include "service/daemon/monitor_settings.h"
#include "service/store/monitor_state.h"

namespace ospreon::daemon {

enum class AlarmAction
{
    None,
    Command,          // ExcuteCommand
    CommandAndNotify, // ExcuteCommand, then Notify
    Recovery,         // NotifySucc
};

struct AlarmStep
{
    store::MonitorState state;
    AlarmAction action = AlarmAction::None;
};

AlarmStep NextAlarmStep(store::MonitorState state, bool ok, const MonitorSettings& settings);

// The state once NotifySucc has returned.
store::MonitorState RecoveryDone(store::MonitorState state);

} // namespace ospreon::daemon
