#include <barrier>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/com/bstr.h"
#include "plugins/common/record_reader.h"
#include "tests/plugins/common/run_cycle_fixture.h"

namespace ospreon::test {
namespace {

using testing::ElementsAre;
using testing::IsEmpty;
using testing::StartsWith;

TEST_F(RunCycle, CommandsRunOnlyWhenLongerThanFourCharacters)
{
    struct Case
    {
        const char* command; // nullptr: the record has no "Monitor_Command"
        int execResult;
        std::vector<std::string> calls;
        std::vector<std::string> log;
    };
    const Case cases[] = {
        {nullptr, 1, {}, {}},
        {"Def", 1, {}, {}},
        {"abcd", 1, {}, {}},
        // Characters count, not UTF-8 bytes: 3 and 4 characters are no command.
        {"ééé", 1, {}, {}},
        {"éééé", 1, {}, {}},
        {"éééée",
         1,
         {"ExecCmd(éééée)"},
         {"Probewarden Monitor Excute Command [éééée] Successful\n"}},
        {"abcde",
         77,
         {"ExecCmd(abcde)"},
         {"Probewarden Monitor Excute Command [abcde] Successful\n"}},
        {"no-such-program",
         0,
         {"ExecCmd(no-such-program)"},
         {"Probewarden Monitor Excute Command [no-such-program] Fail\n"}},
        {"restart it",
         -1,
         {"ExecCmd(restart it)"},
         {"Probewarden Monitor Excute Command [restart it] Fail\n"}},
    };
    for (const Case& c : cases) {
        auto record = FakeUser::Create();
        record->Set("Monitor_LogFile", LogPath());
        if (c.command)
            record->Set("Monitor_Command", c.command);
        Recorder() = AlertlibRecorder{};
        Recorder().execResult = c.execResult;
        std::filesystem::remove(LogPath());
        EXPECT_EQ(monitor->ExcuteCommand(record.get()), S_OK) << c.command;
        EXPECT_EQ(Recorder().calls, c.calls) << (c.command ? c.command : "(none)");
        EXPECT_EQ(LogMessages(), c.log) << (c.command ? c.command : "(none)");
    }
}

TEST_F(RunCycle, SuccessCommandFollowsTheFirstLine)
{
    EXPECT_EQ(monitor->NotifySucc(user.get()), S_OK);
    EXPECT_THAT(LogMessages(), ElementsAre("Work Begin Normal\n"));
    EXPECT_THAT(Recorder().calls, IsEmpty());

    user->Set("Monitor_Command_Succ", "systemctl start web");
    Recorder().execResult = 0;
    EXPECT_EQ(monitor->NotifySucc(user.get()), S_OK);
    EXPECT_THAT(
        LogMessages(),
        ElementsAre("Work Begin Normal\n", "Work Begin Normal\n",
                    "Probewarden Monitor Excute Succ Command [systemctl start web] Fail\n"));
}

TEST_F(RunCycle, FaultingRecordTakesEachMethodsFailureBranch)
{
    for (const char* key : {"Monitor_Command", "Monitor_Command_Succ", "Monitor_LogFile"})
        user->FaultOn(key);
    user->Set("Monitor_Command", "would run");
    EXPECT_EQ(monitor->ExcuteCommand(user.get()), S_OK);
    EXPECT_EQ(monitor->NotifySucc(user.get()), S_OK);
    EXPECT_THAT(Recorder().calls, IsEmpty()) << "no command runs after a faulted read";

    const std::string before = plugin::LogFile();
    EXPECT_EQ(monitor->Init(user.get()), S_OK);
    EXPECT_EQ(plugin::LogFile(), before) << "Init keeps the old log path";
    EXPECT_THAT(LogMessages(),
                ElementsAre("Get Service User Parameter Exception\n", "Work Begin Normal\n",
                            "Get Service User Parameter Exception\n",
                            "Get Service User Parameter Exception\n"));
}

TEST_F(RunCycle, NotifySoundsTheAlarmFirstAndUsesDefaults)
{
    user->Set("Monitor_Voice", "/sounds/alarm.wav");
    EXPECT_EQ(monitor->Notify(user.get()), S_OK);
    EXPECT_THAT(Recorder().calls, ElementsAre("Alert(/sounds/alarm.wav)",
                                              "SendNotify(http://Pager%s,%s,12345678,Def Msg)"));
    EXPECT_THAT(
        LogMessages(),
        ElementsAre("Send Notify Successful:[Mode:http://Pager%s,%s] To12345678 Msg:Def Msg"));
    // The reads come in the documented order.
    std::vector<std::string> reads;
    for (const std::string& call : user->Calls()) {
        if (call.rfind("get_InfoVal", 0) == 0)
            reads.push_back(call);
    }
    EXPECT_THAT(reads,
                ElementsAre("get_InfoVal(Monitor_Notify Msg)", "get_InfoVal(Monitor_Notify Pager)",
                            "get_InfoVal(Monitor_Notify Mode)", "get_InfoVal(Monitor_Voice)"));
}

TEST_F(RunCycle, NotifyFailsWhenTheLowestByteIsZero)
{
    struct Case
    {
        int result;
        HRESULT hr;
    } cases[] = {{1, S_OK}, {0x101, S_OK}, {256, E_FAIL}, {0, E_FAIL}};
    user->Set("Monitor_Notify Mode", "SMTP://mail.example;ops@example");
    user->Set("Monitor_Notify Pager", "admin@example");
    user->Set("Monitor_Notify Msg", "disk full");
    for (const Case& c : cases) {
        std::filesystem::remove(LogPath());
        Recorder().sendResult = c.result;
        EXPECT_EQ(monitor->Notify(user.get()), c.hr) << c.result;
        if (c.hr == S_OK) {
            EXPECT_THAT(LogMessages(),
                        ElementsAre("Send Notify Successful:[Mode:SMTP://mail.example;"
                                    "ops@example] Toadmin@example Msg:disk full"));
        } else {
            EXPECT_THAT(LogMessages(),
                        ElementsAre("Send Notify Fail:[Mode:SMTP://mail.example;ops@example] "
                                    "Toadmin@example Msg:disk full",
                                    "Send Notify Reason: gateway said no\n"));
        }
    }
    EXPECT_THAT(Recorder().calls, testing::Each(StartsWith("SendNotify("))) << "no voice, no Alert";
}

TEST_F(RunCycle, NotReadValuesArePassedAsNullAndLoggedAsNull)
{
    user->FaultOn("Monitor_Notify Pager");
    user->Set("Monitor_Voice", "");
    Recorder().sendResult = 0;
    EXPECT_EQ(monitor->Notify(user.get()), E_FAIL);
    EXPECT_THAT(Recorder().calls, ElementsAre("SendNotify(http://Pager%s,%s,null,Def Msg)"));
    EXPECT_THAT(LogMessages(),
                ElementsAre("Get Service User Parameter Exception\n",
                            "Send Notify Fail:[Mode:http://Pager%s,%s] To(null) Msg:Def Msg",
                            "Send Notify Reason: gateway said no\n"));
}

TEST_F(RunCycle, LongMessagesAreCutButCommandsRunWhole)
{
    const std::string command = "echo " + std::string(4995, 'x');
    user->Set("Monitor_Command", command);
    EXPECT_EQ(monitor->ExcuteCommand(user.get()), S_OK);
    EXPECT_THAT(Recorder().calls, ElementsAre("ExecCmd(" + command + ")"));
    const std::string expected =
        ("Probewarden Monitor Excute Command [" + command + "] Successful\n").substr(0, 4095);
    EXPECT_THAT(LogMessages(), ElementsAre(expected));
}

TEST_F(RunCycle, NumbersAreReadAsTheirText)
{
    user->SetVariant("Monitor_Command", com::Variant(LONG{123456}));
    EXPECT_EQ(monitor->ExcuteCommand(user.get()), S_OK);
    EXPECT_THAT(Recorder().calls, ElementsAre("ExecCmd(123456)"));
    user->Set("Monitor_Command", " -12abc");
    EXPECT_EQ(plugin::LeadingNumber(" -12abc"), -12);
    EXPECT_EQ(plugin::LeadingNumber("abc"), 0);
    EXPECT_EQ(plugin::LeadingNumber("+90%"), 90);
}

TEST_F(RunCycle, InitDeclaresOncePerObjectAndFollowsTheLatestLogPath)
{
    EXPECT_EQ(monitor->Init(user.get()), S_OK);
    EXPECT_THAT(user->Keys(), ElementsAre("Monitor_LogFile", "DisplayName", "Monitor_Parameter",
                                          "Monitor_Voice"));
    EXPECT_EQ(user->Get("DisplayName"), "Probe Target");
    EXPECT_EQ(user->Get("Monitor_Parameter"), "7");
    EXPECT_EQ(
        std::count(user->Calls().begin(), user->Calls().end(), "put_InfoName(8,Monitor_Parameter)"),
        0)
        << "a put-only declaration names no key";

    auto second = FakeUser::Create("Probewarden of second", "Probewarden");
    const std::string patterned = (home.path() / "ram%d%m%y.log").string();
    second->Set("Monitor_LogFile", patterned);
    EXPECT_EQ(monitor->Init(second.get()), S_OK);
    EXPECT_THAT(second->Keys(), ElementsAre("Monitor_LogFile")) << "declared once per object";
    EXPECT_EQ(plugin::LogFile(), patterned);
    EXPECT_EQ(plugin::ExpandedLogFile(), (home.path() / "ram091223.log").string());

    ScopedEnv nextDay("OSPREON_TEST_NOW", "2023-12-10T00:00:01");
    plugin::WriteLog("next day\n");
    EXPECT_TRUE(std::filesystem::exists(home.path() / "ram101223.log"));
}

// A check that writes two lines naming its record, each only once the other
// object's call has come as far: the two calls overlap for certain.
class MeetingCheck final : public plugin::Check
{
public:
    HRESULT Monitor(IUser* user) override
    {
        static std::barrier<> meeting(2);
        com::Bstr name;
        if (FAILED(user->get_UserName(name.put())))
            return E_FAIL;
        meeting.arrive_and_wait();
        plugin::WriteLog("first line of %s\n", name.utf8().c_str());
        meeting.arrive_and_wait();
        plugin::WriteLog("second line of %s\n", name.utf8().c_str());
        return S_OK;
    }
};

TEST_F(RunCycle, OverlappingCallsOfTwoObjectsOfOneTypeWriteIntoTheirOwnLogFiles)
{
    plugin::PluginType meetingType = ProbeType();
    meetingType.makeCheck = [] { return std::unique_ptr<plugin::Check>(new MeetingCheck); };
    struct Object
    {
        com::ComPtr<plugin::ServiceMonitor> monitor;
        com::ComPtr<FakeUser> user;
        std::filesystem::path log;
    };
    std::vector<Object> objects;
    for (const char* name : {"one", "two"}) {
        Object object{com::MakeObject<plugin::ServiceMonitor>(meetingType),
                      FakeUser::Create(std::string("Probewarden of ") + name, "Probewarden"),
                      home.path() / (std::string(name) + ".log")};
        object.user->Set("Monitor_LogFile", object.log.string());
        objects.push_back(std::move(object));
    }
    // Both Inits come before either check writes, so the module-wide path is the
    // later Init's; each call still writes where its own object's Init said.
    std::vector<std::thread> threads;
    std::vector<HRESULT> results(objects.size(), E_UNEXPECTED);
    for (std::size_t i = 0; i < objects.size(); ++i) {
        threads.emplace_back([&, i] {
            if (SUCCEEDED(objects[i].monitor->Init(objects[i].user.get())))
                results[i] = objects[i].monitor->Monitor(objects[i].user.get());
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    for (std::size_t i = 0; i < objects.size(); ++i) {
        EXPECT_EQ(results[i], S_OK);
        std::ifstream file(objects[i].log, std::ios::binary);
        const std::string text{std::istreambuf_iterator<char>(file),
                               std::istreambuf_iterator<char>()};
        std::vector<std::string> messages;
        for (std::size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos;
             start = end + 2) {
            const std::size_t gap = text.find("   ", start);
            messages.push_back(gap < end ? text.substr(gap + 3, end - gap - 3) : "");
        }
        const std::string name = i == 0 ? "Probewarden of one" : "Probewarden of two";
        EXPECT_THAT(messages,
                    ElementsAre("first line of " + name + "\n", "second line of " + name + "\n"))
            << objects[i].log;
    }
}

TEST_F(RunCycle, DefaultLogFileIsInTheLogFolder)
{
    auto bare = FakeUser::Create();
    EXPECT_EQ(monitor->Init(bare.get()), S_OK);
    EXPECT_EQ(plugin::LogFile(), (home.path() / "log" / "Probewarden.log").string());
}

TEST_F(RunCycle, LogLinesCarryThreadAndTime)
{
    plugin::WriteLog("value %d of %s\n", 7, "seven");
    std::vector<std::string> lines = LogLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_THAT(lines[0], testing::MatchesRegex("T[0-9]+ 10:11:12   value 7 of seven\n"));
}

TEST_F(RunCycle, ServerIsReservedAndMonitorFaultsAreContained)
{
    BSTR untouched = reinterpret_cast<BSTR>(0x1234);
    EXPECT_EQ(monitor->get_Server(&untouched), S_OK);
    EXPECT_EQ(untouched, reinterpret_cast<BSTR>(0x1234));
    com::Bstr anything("x");
    EXPECT_EQ(monitor->put_Server(anything.get()), S_OK);

    EXPECT_EQ(monitor->Monitor(user.get()), E_FAIL);
    EXPECT_THAT(LogMessages(), ElementsAre("Probewarden Monitor Exception: probe exploded\n"));
}

TEST_F(RunCycle, RegistrationInterfaceGivesFreshStrings)
{
    com::ComPtr<IMonitorPlugin> plugin;
    ASSERT_EQ(monitor->QueryInterface(IID_IMonitorPlugin, plugin.putVoid()), S_OK);
    com::Bstr typeName;
    com::Bstr interfaceId;
    com::Bstr classId;
    ASSERT_EQ(plugin->get_TypeName(typeName.put()), S_OK);
    ASSERT_EQ(plugin->get_InterfaceID(interfaceId.put()), S_OK);
    ASSERT_EQ(plugin->get_ClassID(classId.put()), S_OK);
    EXPECT_EQ(typeName.utf8(), "Probewarden");
    EXPECT_EQ(interfaceId.utf8(), "{584A0822-C255-11D3-9CCC-00A0246E266E}");
    EXPECT_EQ(classId.utf8(), "{0D1E2F30-4151-6273-8495-A6B7C8D9EAFB}");

    // Late-bound calls reach IServiceMonitor, never IMonitorPlugin.
    std::u16string name = u"TypeName";
    LPOLESTR names[] = {name.data()};
    DISPID id = 0;
    EXPECT_EQ(plugin->GetIDsOfNames(GUID_NULL, names, 1, 0, &id), DISP_E_UNKNOWNNAME);
    com::ComPtr<IDispatch> dispatch;
    ASSERT_EQ(monitor->QueryInterface(IID_IDispatch, dispatch.putVoid()), S_OK);
    EXPECT_EQ(static_cast<void*>(dispatch.get()),
              static_cast<void*>(static_cast<IServiceMonitor*>(monitor.get())));
    std::u16string init = u"Init";
    LPOLESTR initNames[] = {init.data()};
    EXPECT_EQ(dispatch->GetIDsOfNames(GUID_NULL, initNames, 1, 0, &id), S_OK);
    EXPECT_EQ(id, 5);
}

} // namespace
} // namespace ospreon::test
