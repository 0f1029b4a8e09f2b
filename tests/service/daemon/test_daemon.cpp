// The built daemon end to end: a page monitor whose served page loses its text and
// gets it back, with its alarm commands and mail, a restart after SIGKILL in the
// middle of the outage, contained hangs and crashes among 50 monitors that keep their
// schedule, and a stop within its bound.

#include <signal.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "platform/os/file_io.h"
#include "platform/os/launcher.h"
#include "service/store/database.h"
#include "service/store/monitor_state.h"
#include "service/store/record_table.h"
#include "tests/service/ctl/ctl_fixture.h"
#include "tests/support/http_stub.h"
#include "tests/support/smtp_sink.h"

namespace ospreon::test {
namespace {

using namespace std::chrono_literals;

std::size_t CountLines(const std::filesystem::path& file, const std::string& text)
{
    std::ifstream in(file);
    std::size_t count = 0;
    for (std::string line; std::getline(in, line);)
        count += line.find(text) != std::string::npos;
    return count;
}

template <class Condition> bool WaitUntil(Condition condition, std::chrono::milliseconds limit)
{
    const auto until = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < until) {
        if (condition())
            return true;
        std::this_thread::sleep_for(50ms);
    }
    return condition();
}

class DaemonTest : public ServiceHomeTest
{
protected:
    void TearDown() override
    {
        if (m_daemon)
            Stop();
    }

    // A started Testwarden monitor "Testwarden of NAME" that traces its calls.
    void Add(const std::string& name, std::vector<store::Parameter> parameters)
    {
        parameters.push_back({"Test_Trace", (home() / "trace").string()});
        AddRecord("Testwarden of " + name, "Testwarden", std::move(parameters));
    }

    void AddRecord(const std::string& name, const std::string& type,
                   std::vector<store::Parameter> parameters)
    {
        Result<std::shared_ptr<store::Database>> db = store::OpenDefault();
        ASSERT_TRUE(db.ok()) << db.error().message;
        parameters.push_back({"Status", "Enable"});
        Result<store::RecordId> added = store::RecordTable(**db).Add({name, type, parameters});
        ASSERT_TRUE(added.ok()) << added.error().message;
    }

    // Every service log file's text (its name carries the date).
    std::string ServiceLogText() const
    {
        std::string text;
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(home() / "log", error)) {
            if (entry.path().filename().string().starts_with("Wardenhost"))
                text += ReadFile(entry.path());
        }
        return text;
    }

    void Start()
    {
        Result<os::ChildProcess> child =
            os::Spawn({(BuildDir() / "bin" / "wardenhost").string(), "--foreground"});
        ASSERT_TRUE(child.ok()) << child.error().message;
        m_daemon.emplace(std::move(*child));
        ASSERT_TRUE(WaitUntil([&] { return std::filesystem::exists(Heartbeat()); }, 10s));
    }

    // SIGTERM; the seconds it took the daemon to end.
    double Stop(int signal = SIGTERM)
    {
        const auto began = std::chrono::steady_clock::now();
        ::kill(m_daemon->pid(), signal);
        std::optional<int> status = m_daemon->WaitFor(20s);
        EXPECT_TRUE(status.has_value()) << "the daemon did not end";
        m_daemon.reset();
        std::filesystem::remove(Heartbeat());
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    }

    std::filesystem::path Heartbeat() const { return home() / "run" / "wardenhost.heartbeat"; }

    std::string Value(const std::string& name, const std::string& key)
    {
        Result<std::shared_ptr<store::Database>> db = store::OpenDefault();
        store::RecordTable records(**db);
        Result<store::RecordId> id = records.Find(name);
        if (!id)
            return "";
        Result<std::optional<std::string>> value = records.Value(*id, key);
        return value && *value ? **value : "";
    }

    std::uint64_t Counter(const std::string& name)
    {
        Result<std::string> text = os::ReadWholeFile(Heartbeat(), 4096);
        std::istringstream in(text ? *text : "");
        std::string key;
        std::uint64_t value = 0;
        while (in >> key >> value) {
            if (key == name)
                return value;
        }
        return 0;
    }

private:
    std::optional<os::ChildProcess> m_daemon;
};

TEST(WardenhostOptions, HelpAndVersion)
{
    const std::string program = (BuildDir() / "bin" / "wardenhost").string();
    for (const char* option : {"--help", "--version", "--bogus"}) {
        Result<os::ChildProcess> child = os::Spawn({program, option});
        ASSERT_TRUE(child.ok());
        const int status = child->Wait();
        EXPECT_EQ(WEXITSTATUS(status), std::string(option) == "--bogus" ? 2 : 0) << option;
    }
}

TEST_F(DaemonTest, PageOutageAlarmsOnceRepeatsTheCommandSurvivesSigkillAndRecoversOnce)
{
    HttpStub server;
    SmtpSink sink;
    server.SetResponse(HttpResponse{200, "<html>all is well</html>", {}});
    const std::string name = "Pagewarden of site";
    const std::filesystem::path commands = home() / "commands";
    AddRecord(name, "Pagewarden",
              {{"Monitor_Parameter", server.BaseUrl() + "/status"},
               {"MonitorExt_SuccessFlag", "STR:all is well"},
               {"Monitor_InterVal (s)", "1"},
               {"Monitor_Timeout (s)", "5"},
               {"Monitor_FailTimes", "3"},
               {"Monitor_MaxFailTimes", "5"},
               {"Monitor_Command", "sh -c \"echo fail >> " + commands.string() + "\""},
               {"Monitor_Command_Succ", "sh -c \"echo succ >> " + commands.string() + "\""},
               {"Monitor_Notify Mode",
                "SMTP://127.0.0.1:" + std::to_string(sink.port()) + ";warden@example.test"},
               {"Monitor_Notify Pager", "admin@example.test"},
               {"Monitor_Notify Msg", "the site is down"}});
    Start();
    ASSERT_TRUE(WaitUntil([&] { return Value(name, "Monitor_Result") == "Ok"; }, 20s));

    // The text goes missing: the alarm at the third failure, the command again at
    // the fourth and fifth, then nothing more.
    server.SetResponse(HttpResponse{200, "<html>maintenance</html>", {}});
    ASSERT_TRUE(WaitUntil([&] { return CountLines(commands, "fail") >= 1; }, 30s));
    ASSERT_TRUE(sink.WaitForMails(1, 20s));
    EXPECT_EQ(sink.mails()[0].recipients, std::vector<std::string>{"admin@example.test"});
    EXPECT_EQ(Value(name, "Monitor_Result"), "Error");
    ASSERT_TRUE(WaitUntil([&] { return CountLines(commands, "fail") >= 3; }, 20s));
    std::this_thread::sleep_for(4s);
    EXPECT_EQ(CountLines(commands, "fail"), 3u);
    EXPECT_EQ(sink.mails().size(), 1u);
    const std::string log = ServiceLogText();
    const std::string alarm = "alarm: " + name + " failed ";
    EXPECT_NE(log.find(alarm + "3 times; running its command and notifying"), std::string::npos)
        << log;
    EXPECT_NE(log.find(alarm + "4 times; running its command again"), std::string::npos) << log;
    EXPECT_NE(log.find(alarm + "5 times; running its command again"), std::string::npos) << log;
    EXPECT_EQ(log.find(alarm + "6 times"), std::string::npos) << log;
    EXPECT_NE(MustRun({"show", name}).find("\nfailures: "), std::string::npos);

    // Killed in the outage and started again: no second alarm for it.
    Stop(SIGKILL);
    Start();
    const std::size_t requests = server.requests().size();
    ASSERT_TRUE(server.WaitForRequests(requests + 3, 20s));
    std::this_thread::sleep_for(2s);
    EXPECT_EQ(CountLines(commands, "fail"), 3u);
    EXPECT_EQ(sink.mails().size(), 1u);

    // The page is restored: one success command, and "Ok".
    server.SetResponse(HttpResponse{200, "<html>all is well</html>", {}});
    ASSERT_TRUE(WaitUntil([&] { return CountLines(commands, "succ") >= 1; }, 20s));
    std::this_thread::sleep_for(3s);
    EXPECT_EQ(CountLines(commands, "succ"), 1u);
    EXPECT_EQ(CountLines(commands, "fail"), 3u);
    EXPECT_EQ(sink.mails().size(), 1u);
    EXPECT_EQ(Value(name, "Monitor_Result"), "Ok");
    Result<std::shared_ptr<store::Database>> db = store::OpenDefault();
    ASSERT_TRUE(db.ok()) << db.error().message;
    Result<std::optional<store::MonitorState>> state = store::MonitorStateTable(**db).Read(name);
    ASSERT_TRUE(state.ok() && *state);
    EXPECT_EQ((*state)->failures, 0);
    EXPECT_FALSE((*state)->alarm);
    EXPECT_FALSE((*state)->recoveryDue);
    EXPECT_GT((*state)->lastCheckMs, 0);
}

TEST_F(DaemonTest, HangsAndCrashesAreContainedWhileFiftyMonitorsKeepTheirSchedule)
{
    for (int i = 0; i < 50; ++i)
        Add("ok" + std::to_string(i), {{"Monitor_Parameter", "ok"}, {"Monitor_InterVal (s)", "1"}});
    Add("hang", {{"Monitor_Parameter", "hang:5000"},
                 {"Monitor_InterVal (s)", "1"},
                 {"Monitor_Timeout (s)", "2"}});
    Add("crash", {{"Monitor_Parameter", "crash"}, {"Monitor_InterVal (s)", "1"}});
    Start();
    std::this_thread::sleep_for(10s);
    const std::filesystem::path trace = home() / "trace";
    for (int i = 0; i < 50; ++i) {
        const std::string name = "Monitor Testwarden of ok" + std::to_string(i);
        std::ifstream in(trace);
        std::size_t checks = 0;
        for (std::string line; std::getline(in, line);)
            checks += line == name;
        EXPECT_GE(checks, 5u) << name;
    }
    EXPECT_EQ(Value("Testwarden of hang", "Monitor_Result"), "Timeout");
    EXPECT_EQ(Value("Testwarden of crash", "Monitor_Result"), "Error");
    EXPECT_GE(Counter("workers_replaced"), 1u);
    EXPECT_GE(Counter("timeouts"), 1u);
    const std::string status = MustRun({"status"});
    EXPECT_NE(status.find("\nchecks run: "), std::string::npos) << status;
    EXPECT_NE(status.find("\nworkers replaced: "), std::string::npos) << status;
    EXPECT_LT(Stop(), 5.0);
}

TEST_F(DaemonTest, AReloadRestartsOnlyTheWorkersThatLoadedAChangedModule)
{
    // Testwarden is loaded from the build tree, Volumewarden from the home's plug-ins.
    Add("steady", {{"Monitor_Parameter", "ok"}, {"Monitor_InterVal (s)", "1"}});
    const std::filesystem::path volume = home() / "plugins" / "Volumewarden.so";
    std::filesystem::copy_file(BuildDir() / "lib" / "Volumewarden.so", volume,
                               std::filesystem::copy_options::overwrite_existing);
    MustRun({"register", volume.string()});
    Start();
    ASSERT_TRUE(
        WaitUntil([&] { return CountLines(home() / "trace", "Monitor Testwarden") >= 2; }, 15s));

    // A changed module that no worker loaded restarts none.
    const std::filesystem::path page = home() / "plugins" / "Pagewarden.so";
    std::filesystem::copy_file(BuildDir() / "lib" / "Pagewarden.so", page,
                               std::filesystem::copy_options::overwrite_existing);
    MustRun({"reload"});
    ASSERT_TRUE(WaitUntil(
        [&] { return ServiceLogText().find("plug-in modules changed: 0 of ") != std::string::npos; },
        15s))
        << ServiceLogText();

    // Once a worker runs a Volumewarden check, rewriting that module restarts it.
    AddRecord("Volumewarden of root", "Volumewarden",
              {{"Monitor_Parameter", "/"}, {"Ext_Free space threshold (Mb)", "0"},
               {"Monitor_InterVal (s)", "1"}});
    ASSERT_TRUE(WaitUntil([&] { return !Value("Volumewarden of root", "Monitor_Result").empty(); },
                          15s));
    std::filesystem::copy_file(BuildDir() / "lib" / "Volumewarden.so", volume.string() + ".new");
    std::filesystem::rename(volume.string() + ".new", volume);
    MustRun({"reload"});
    ASSERT_TRUE(WaitUntil(
        [&] { return ServiceLogText().find("plug-in modules changed: 1 of ") != std::string::npos; },
        15s))
        << ServiceLogText();
    const std::size_t before = CountLines(home() / "trace", "Monitor Testwarden");
    EXPECT_TRUE(WaitUntil(
        [&] { return CountLines(home() / "trace", "Monitor Testwarden") >= before + 2; }, 15s))
        << "the other monitor stopped";
}

TEST_F(DaemonTest, SigtermEndsTheDaemonLongBeforeAHangingCheckWould)
{
    Add("stuck", {{"Monitor_Parameter", "hang:60000"},
                  {"Monitor_InterVal (s)", "1"},
                  {"Monitor_Timeout (s)", "100"}});
    Start();
    ASSERT_TRUE(
        WaitUntil([&] { return CountLines(home() / "trace", "Monitor Testwarden") >= 1; }, 10s));
    EXPECT_LT(Stop(), 5.0);
    // A second instance is refused while one runs; after the stop one starts.
    Start();
}

} // namespace
} // namespace ospreon::test
