// The schedule's settings and the alarm steps, as tables.

#include <gtest/gtest.h>

#include "service/daemon/alarm_policy.h"

namespace ospreon::daemon {
namespace {

TEST(MonitorSettings, MissingOrNonPositiveValuesTakeTheDefaults)
{
    struct Case
    {
        SettingValues values;
        MonitorSettings expected;
    };
    using std::chrono::seconds;
    const Case cases[] = {
        {{}, {false, seconds(120), seconds(20), 3, 4}},
        {{"Enable", "1", "2", "3", "5"}, {true, seconds(1), seconds(2), 3, 5}},
        {{"enable", " 30s", "0", "-2", "x"}, {false, seconds(30), seconds(20), 3, 4}},
        {{"Enable", "", "", "2", ""}, {true, seconds(120), seconds(20), 2, 3}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ReadSettings(c.values), c.expected) << c.values.interval.value_or("(none)");
}

TEST(AlarmPolicy, AlarmAtFailTimesRepeatsUpToMaxThenRecoversOnce)
{
    MonitorSettings settings;
    settings.failTimes = 3;
    settings.maxFailTimes = 5;
    struct Step
    {
        bool ok;
        AlarmAction action;
    };
    const Step steps[] = {
        {false, AlarmAction::None},
        {false, AlarmAction::None},
        {false, AlarmAction::CommandAndNotify},
        {false, AlarmAction::Command},
        {false, AlarmAction::Command},
        {false, AlarmAction::None},
        {false, AlarmAction::None},
        {true, AlarmAction::Recovery},
        {true, AlarmAction::None},
        {false, AlarmAction::None},
    };
    store::MonitorState state;
    int at = 0;
    for (const Step& step : steps) {
        AlarmStep next = NextAlarmStep(state, step.ok, settings);
        EXPECT_EQ(next.action, step.action) << "step " << at;
        state = next.action == AlarmAction::Recovery ? RecoveryDone(next.state) : next.state;
        ++at;
    }
}

TEST(AlarmPolicy, StoredStateNeitherRepeatsAnAlarmNorForgetsARecovery)
{
    MonitorSettings settings;
    settings.failTimes = 1;
    settings.maxFailTimes = 1;
    // Restarted in an outage whose alarm was raised: no second alarm.
    EXPECT_EQ(NextAlarmStep({4, true, false, 0}, false, settings).action, AlarmAction::None);
    // Restarted with a recovery owed (killed before NotifySucc returned): it runs.
    EXPECT_EQ(NextAlarmStep({0, false, true, 0}, true, settings).action, AlarmAction::Recovery);
    // "Monitor_FailTimes" below 1 counts as 1.
    settings.failTimes = 0;
    EXPECT_EQ(NextAlarmStep({}, false, settings).action, AlarmAction::CommandAndNotify);
}

} // namespace
} // namespace ospreon::daemon
