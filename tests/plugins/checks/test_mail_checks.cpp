// Relaywarden and Mailboxwarden as modules: registered and created through COM,
// declaring only the keys a record lacks, and telling in their log line that a
// server's certificate did not verify. Their conversations with the servers are
// covered through wardenctl (tests/service/ctl).

#include <filesystem>
#include <string>

#include <gmock/gmock.h>

#include "interfaces/guids.h"
#include "plugins/common/time_budget.h"
#include "tests/plugins/checks/check_support.h"
#include "tests/support/pop3_server.h"
#include "tests/support/smtp_sink.h"

namespace ospreon::test {
namespace {

namespace fs = std::filesystem;
using testing::AllOf;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::Not;

// What a log line adds when the server's certificate (the test servers' own,
// self-signed) did not verify.
constexpr char kUnverified[] = "; the certificate did not verify: self-signed certificate";

std::string Loopback(std::uint16_t port)
{
    return "127.0.0.1:" + std::to_string(port);
}

TEST(MailCheckModules, DeclareWhatTheRecordLacksAndTellAnUnverifiedCertificate)
{
    ExpectRegisteredModuleDeclaresOnce({
        "Relaywarden",
        CLSID_RelaywardenMonitor,
        {"get_InfoVal(Monitor_Parameter)", "put_InfoName(8,Monitor_Parameter)",
         "put_InfoVal(Monitor_Parameter,)", "get_InfoVal(MonitorExt_From)",
         "get_InfoVal(MonitorExt_To)", "put_InfoName(8,MonitorExt_To)",
         "put_InfoVal(MonitorExt_To,)", "get_InfoVal(Monitor_Timeout (s))"},
        {"MonitorExt_From", "Monitor_Timeout (s)", "Monitor_Parameter", "MonitorExt_To"},
        [](IServiceMonitor* monitor, const fs::path& logFile) {
            SmtpSink sink(SmtpSinkOptions{.startTls = true, .refusedRecipients = {"x@b.test"}});
            auto record = FakeUser::Create("Relaywarden of probe", "Relaywarden");
            record->Set("Monitor_Parameter", Loopback(sink.port()));
            record->Set("MonitorExt_From", "a@b.test");
            record->Set("MonitorExt_To", "x@b.test");
            EXPECT_EQ(monitor->Monitor(record.get()), E_FAIL);
            EXPECT_THAT(ReadLogLines(logFile),
                        ElementsAre(AllOf(HasSubstr("the server said: 550 5.1.1"),
                                          HasSubstr(kUnverified))));
        },
        {{"MonitorExt_From", "warden@example.test"}, {"Monitor_Timeout (s)", "5"}},
    });
    ExpectRegisteredModuleDeclaresOnce({
        "Mailboxwarden",
        CLSID_MailboxwardenMonitor,
        {"get_InfoVal(Monitor_Parameter)", "get_InfoVal(MonitorExt_PopAccount)",
         "put_InfoName(8,MonitorExt_PopAccount)", "put_InfoVal(MonitorExt_PopAccount,)",
         "get_InfoVal(MonitorExt_PopPass)", "put_InfoName(8,MonitorExt_PopPass)",
         "put_InfoVal(MonitorExt_PopPass,)", "get_InfoVal(Monitor_Timeout (s))",
         "put_InfoName(8,Monitor_Timeout (s))", "put_InfoVal(Monitor_Timeout (s),20)"},
        {"Monitor_Parameter", "MonitorExt_PopAccount", "MonitorExt_PopPass", "Monitor_Timeout (s)"},
        [](IServiceMonitor* monitor, const fs::path& logFile) {
            Pop3Server server(Pop3Options{"alice", "right-Pass", {}, true});
            auto record = FakeUser::Create("Mailboxwarden of probe", "Mailboxwarden");
            record->Set("Monitor_Parameter", Loopback(server.port()));
            record->Set("MonitorExt_PopAccount", "alice");
            record->Set("MonitorExt_PopPass", "wrong-Pass");
            EXPECT_EQ(monitor->Monitor(record.get()), E_FAIL);
            EXPECT_THAT(ReadLogLines(logFile),
                        ElementsAre(AllOf(HasSubstr("expected +OK to PASS, the server said: -ERR"),
                                          HasSubstr(kUnverified), Not(HasSubstr("-Pass")))));
        },
        {{"Monitor_Parameter", "mail.example.test"}},
    });
}

TEST(MailCheckTimeBudget, StaysALittleUnderTheTimeout)
{
    struct Case
    {
        const char* timeout; // nullptr: the record lacks it
        long long budgetMs;
    };
    const Case cases[] = {
        {nullptr, 19000}, {"20", 19000}, {"3", 2700},     {"1", 900},
        {"0", 19000},     {"-5", 19000}, {"soon", 19000}, {"999999999", 86399000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.timeout ? c.timeout : "(none)");
        auto record = FakeUser::Create("Relaywarden of budget", "Relaywarden");
        if (c.timeout)
            record->Set("Monitor_Timeout (s)", c.timeout);
        EXPECT_EQ(plugin::CheckTimeBudget(record.get()).count(), c.budgetMs);
    }
}

} // namespace
} // namespace ospreon::test
