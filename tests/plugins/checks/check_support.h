#pragma once
// What the tests of the three monitor checks share: whole log lines as the calling
// thread writes them at a fixed time, a check's own log in a temporary home, and the
// life of a plug-in module from registration to its first two Init calls.

#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "interfaces/service_monitor.h"
#include "platform/com/com_ptr.h"
#include "tests/support/fake_user.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_home.h"

namespace ospreon::test {

// The local time every check test runs at.
inline constexpr char kTestNow[] = "2023-12-09T10:11:12";

// The lines of a plug-in log file, each without its "\r\n" (a message ending in
// "\n" keeps it); none when the file does not exist.
std::vector<std::string> ReadLogLines(const std::filesystem::path& file);

// The lines the calling thread writes at kTestNow: "T<tid> 10:11:12   " + message.
std::vector<std::string> LinesOf(const std::vector<std::string>& messages);

// A check linked into the test and called directly: its log is check.log in a
// fresh OSPREON_HOME, the time is kTestNow, the record a FakeUser.
class CheckTest : public testing::Test
{
protected:
    void SetUp() override;

    std::vector<std::string> LogLines() const { return ReadLogLines(logFile); }
    // The record's "get_InfoVal(...)" calls so far.
    bool Read(const std::string& key) const;

    TempHome home;
    ScopedEnv now{"OSPREON_TEST_NOW", kTestNow};
    std::filesystem::path logFile = home.path() / "check.log";
    com::ComPtr<FakeUser> user = FakeUser::Create();
};

// A module's type and what its first Init must leave in a record.
struct ModuleCase
{
    std::string typeName; // "Ramwarden": lib/Ramwarden.so, ProgID Ramwarden.ServiceMonitor.1
    CLSID clsid;
    std::vector<std::string>
        declarations;              // the record calls of the first Init after its log file read
    std::vector<std::string> keys; // the record's keys afterwards, "Monitor_LogFile" first
    // Called with the object after the second Init, whose record logs to `logFile`.
    std::function<void(IServiceMonitor* monitor, const std::filesystem::path& logFile)> probe;
    // Values the first record holds before its Init, after "Monitor_LogFile".
    std::vector<std::pair<std::string, std::string>> preset = {};
};

// Registers the module in a temporary registry (DllRegisterServer), creates its
// object by the CLSID its ProgID names (CoCreateInstance), and checks that the
// first Init declares exactly `declarations` and a second Init with another record
// declares nothing; then runs the probe.
void ExpectRegisteredModuleDeclaresOnce(const ModuleCase& module);

} // namespace ospreon::test
