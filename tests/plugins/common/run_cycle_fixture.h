#pragma once
// A plug-in object of a test type, called directly, with Alertlib replaced by a
// recorder and the log in a temporary folder at a fixed local time.

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/com/com_ptr.h"
#include "plugins/common/alertlib_table.h"
#include "plugins/common/plugin_log.h"
#include "plugins/common/service_monitor.h"
#include "tests/support/fake_user.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_home.h"

namespace ospreon::test {

// What the plug-in asked of Alertlib, in order.
struct AlertlibRecorder
{
    std::vector<std::string> calls;
    int sendResult = 1;
    int execResult = 4242;
    std::string lastError = "gateway said no";
};

AlertlibRecorder& Recorder();
const plugin::PluginType& ProbeType();

class RunCycle : public testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    // The log lines written so far (each without its "\r\n"), prefix included.
    std::vector<std::string> LogLines() const;
    // The messages only: the "T<tid> HH:MM:SS   " prefix removed.
    std::vector<std::string> LogMessages() const;
    std::string LogPath() const { return (home.path() / "probe.log").string(); }

    TempHome home;
    ScopedEnv now{"OSPREON_TEST_NOW", "2023-12-09T10:11:12"};
    com::ComPtr<plugin::ServiceMonitor> monitor;
    com::ComPtr<FakeUser> user;
};

} // namespace ospreon::test
