// wardenctl start, stop, test, notify and status: the console's control commands on
// records of the test plug-in, whose check does what "Monitor_Parameter" says.

#include <chrono>
#include <fstream>
#include <regex>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "service/store/database.h"
#include "tests/service/ctl/ctl_fixture.h"
#include "tests/support/smtp_sink.h"

namespace ospreon::test {
namespace {

using CtlControl = ServiceHomeTest;

constexpr char kA[] = "Testwarden of a";
constexpr char kB[] = "Testwarden of b";

TEST_F(CtlControl, StartAndStopLikeTheConsole)
{
    MustRun({"add", "Testwarden", "a"});
    MustRun({"add", "Testwarden", "b"});
    RunSteps({
        {{"set", kA, "Monitor_Result", "Error"}, 0, "", ""},
        {{"start", kA, kB}, 0, "started: Testwarden of a\nstarted: Testwarden of b\n", ""},
        {{"get", kA, "Status"}, 0, "Enable\n", ""},
        // Start resets the result, as a restarted monitor shows no error.
        {{"get", kA, "Monitor_Result"}, 0, "Ok\n", ""},
        {{"set", kA, "Monitor_Result", "Error"}, 0, "", ""},
        // A monitor already started is skipped and keeps its result.
        {{"start", kA, kB},
         0,
         "already started: Testwarden of a\nalready started: Testwarden of b\n",
         ""},
        {{"get", kA, "Monitor_Result"}, 0, "Error\n", ""},
        {{"status"},
         0,
         "store: {home}/wardenhost.db\ndaemon: not running\nmonitors: 2\nstarted: 2\n",
         ""},
        {{"stop", kA}, 0, "stopped: Testwarden of a\n", ""},
        {{"get", kA, "Status"}, 0, "Disable\n", ""},
        {{"get", kA, "Monitor_Result"}, 0, "Ok\n", ""},
        {{"stop", kA}, 0, "already stopped: Testwarden of a\n", ""},
        {{"list"},
         0,
         "Testwarden of a\tTestwarden\tDisable\tOk\tok\t\t\t0\n"
         "Testwarden of b\tTestwarden\tEnable\tOk\tok\t\t\t0\n",
         ""},
        {{"status"},
         0,
         "store: {home}/wardenhost.db\ndaemon: not running\nmonitors: 2\nstarted: 1\n",
         ""},
    });
}

TEST_F(CtlControl, StartAndStopChangeNothingWhenOneNameIsMissing)
{
    MustRun({"add", "Testwarden", "a"});
    MustRun({"add", "Testwarden", "b"});
    MustRun({"start", kB});
    MustRun({"set", kA, "Monitor_Result", "Error"});
    MustRun({"set", kB, "Monitor_Result", "Error"});
    RunSteps({
        {{"start", kA, "Testwarden of gone", "Testwarden of lost"},
         3,
         "",
         "wardenctl: no monitor named \"Testwarden of gone\"\n"
         "wardenctl: no monitor named \"Testwarden of lost\"\n"},
        {{"stop", kB, "Testwarden of gone"},
         3,
         "",
         "wardenctl: no monitor named \"Testwarden of gone\"\n"},
        {{"list"},
         0,
         "Testwarden of a\tTestwarden\tDisable\tError\tok\t\t\t0\n"
         "Testwarden of b\tTestwarden\tEnable\tError\tok\t\t\t0\n",
         ""},
    });
}

// A record removed while the command works on it: the line names the record and
// gives the service's reason, not a bare code.
TEST_F(CtlControl, ARecordRemovedMeanwhileIsNamedWithTheReason)
{
    MustRun({"add", "Testwarden", "a"});
    {
        // Another process removes the record as soon as its "Status" changes.
        Result<std::shared_ptr<store::Database>> db = store::Open(home() / "wardenhost.db");
        ASSERT_TRUE(db.ok()) << db.error().message;
        Result<void> created = (*db)->Execute(
            "CREATE TRIGGER vanish AFTER UPDATE OF value ON params WHEN NEW.key = 'Status' "
            "BEGIN DELETE FROM params WHERE record = NEW.record; "
            "DELETE FROM records WHERE id = NEW.record; END");
        ASSERT_TRUE(created.ok()) << created.error().message;
    }
    RunSteps({
        {{"start", kA},
         3,
         "",
         "wardenctl: cannot write \"Monitor_Result\" of \"Testwarden of a\": record 1 was "
         "removed\n"},
    });
}

struct TestCase
{
    const char* script; // "Monitor_Parameter" of the test plug-in
    int status;
    const char* result;
};

TEST_F(CtlControl, TestRecordsTheCheckResult)
{
    MustRun({"add", "Testwarden", "a"});
    const TestCase cases[] = {
        {"ok", 0, "Ok"},       {"fail", 1, "Error"},
        {"throw", 1, "Error"}, // a fault inside the check is trouble, not a crash
        {"hang:50", 0, "Ok"},  {"fail", 1, "Error"},
    };
    for (const TestCase& c : cases) {
        SCOPED_TRACE(c.script);
        RunSteps({
            {{"set", kA, "Monitor_Parameter", c.script}, 0, "", ""},
            {{"test", kA}, c.status, std::string(c.result) + "\n", ""},
            {{"get", kA, "Monitor_Result"}, 0, std::string(c.result) + "\n", ""},
            // The record keeps what was set: handing out the plug-in object must not
            // put the plug-in's declared defaults back.
            {{"get", kA, "Monitor_Parameter"}, 0, std::string(c.script) + "\n", ""},
        });
    }
    RunSteps({
        {{"test", "Testwarden of gone"},
         3,
         "",
         "wardenctl: no monitor named \"Testwarden of gone\"\n"},
        // A type listed without a class has no plug-in object to run its check.
        {{"registry", "set",
          "HKLM\\SOFTWARE\\Brackwater\\RELAYMOOR\\Plugin\\{584A0822-C255-11D3-9CCC-00A0246E266E}"
          "\\Classless",
          "Note", "no class"},
         0,
         "",
         ""},
        {{"add", "Classless", "site"}, 0, "Classless of site\n", ""},
        {{"test", "Classless of site"},
         3,
         "",
         "wardenctl: the monitor \"Classless of site\" has no plug-in object: *"},
    });
}

TEST_F(CtlControl, TestAndNotifyReachThePluginWithTheRecord)
{
    MustRun({"add", "Testwarden", "a"});
    const std::filesystem::path trace = home() / "trace.txt";
    MustRun({"set", kA, "Test_Trace", trace.string()});
    MustRun({"set", kA, "Monitor_Notify Mode", "nowhere://"});
    RunSteps({
        {{"test", kA}, 0, "Ok\n", ""},
        {{"notify", kA}, 1, "Error\n", ""},
    });
    const std::string calls = ReadFile(trace);
    EXPECT_NE(calls.find("Monitor Testwarden of a\n"), std::string::npos) << calls;
    EXPECT_NE(calls.find("Notify Testwarden of a\n"), std::string::npos) << calls;
}

TEST_F(CtlControl, NotifySendsTheMail)
{
    SmtpSink sink;
    MustRun({"add", "Testwarden", "a"});
    MustRun({"set", kA, "Monitor_Notify Mode",
             "SMTP://127.0.0.1:" + std::to_string(sink.port()) + ";warden@example.test"});
    MustRun({"set", kA, "Monitor_Notify Pager", "admin@example.test"});
    MustRun({"set", kA, "Monitor_Notify Msg", "disk full"});
    RunSteps({{{"notify", kA}, 0, "Ok\n", ""}});
    ASSERT_TRUE(sink.WaitForMails(1, std::chrono::seconds(5)));
    const std::vector<SmtpMail> mails = sink.mails();
    EXPECT_EQ(mails[0].from, "warden@example.test");
    EXPECT_EQ(mails[0].recipients, std::vector<std::string>{"admin@example.test"});
    // Notify changes nothing in the record.
    RunSteps({{{"get", kA, "Monitor_Result"},
               3,
               "",
               "wardenctl: the monitor \"Testwarden of a\" has no value \"Monitor_Result\"\n"}});
}

TEST_F(CtlControl, StatusSeesTheDaemonLockAndHeartbeat)
{
    const std::filesystem::path run = home() / "run";
    std::filesystem::create_directories(run);
    const std::filesystem::path lock = run / "wardenhost.lock";
    const std::filesystem::path heartbeat = run / "wardenhost.heartbeat";

    // A lock file nobody holds is a daemon that ended.
    {
        std::ofstream(lock).put('\n');
    }
    RunSteps({{{"status"},
               0,
               "store: {home}/wardenhost.db\ndaemon: not running\nmonitors: 0\nstarted: 0\n",
               ""}});

    const int fd = ::open(lock.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    const CtlRun noBeat = RunCtl({"status"});
    EXPECT_NE(noBeat.out.find("daemon: running, no heartbeat yet\n"), std::string::npos)
        << noBeat.out;

    {
        std::ofstream(heartbeat).put('\n');
    }
    timespec times[2];
    ::clock_gettime(CLOCK_REALTIME, &times[0]);
    times[0].tv_sec -= 30;
    times[1] = times[0];
    ASSERT_EQ(::utimensat(AT_FDCWD, heartbeat.c_str(), times, 0), 0);
    const CtlRun beating = RunCtl({"status"});
    ::close(fd);
    EXPECT_EQ(beating.status, 0);
    EXPECT_TRUE(
        std::regex_search(beating.out, std::regex("\ndaemon: running, heartbeat 3[0-2] s ago\n")))
        << beating.out;
}

} // namespace
} // namespace ospreon::test
