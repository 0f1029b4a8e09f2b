// wardenctl test on the bundled mail server checks, against an SMTP sink and a POP3
// server on 127.0.0.1, with and without STARTTLS/STLS: what reaches the servers,
// the result, and the one log line a failed check writes.

#include <algorithm>
#include <fstream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/service/ctl/ctl_fixture.h"
#include "tests/support/loopback_socket.h"
#include "tests/support/pop3_server.h"
#include "tests/support/smtp_sink.h"

namespace ospreon::test {
namespace {

using testing::HasSubstr;
using testing::Not;

using CtlMailChecks = ServiceHomeTest;

constexpr char kRelay[] = "Relaywarden of office";
constexpr char kMailbox[] = "Mailboxwarden of inbox";
constexpr char kPassword[] = "s3cret-Pa55";
constexpr char kMessage[] = "From: a@example.test\r\nSubject: hello\r\n\r\nbody\r\n";

// Log lines end in "\r\n"; the messages themselves in "\n".
int LineCount(const std::string& log)
{
    int count = 0;
    for (std::size_t at = log.find("\r\n"); at != std::string::npos; at = log.find("\r\n", at + 2))
        ++count;
    return count;
}

std::string Loopback(std::uint16_t port)
{
    return "127.0.0.1:" + std::to_string(port);
}

// A check's whole log; empty when it wrote nothing.
class MailCheck : public CtlMailChecks
{
protected:
    std::filesystem::path Log() const { return home() / "log" / "mail.log"; }

    void AddRelay(const std::string& server, const std::string& to = "postmaster@example.test")
    {
        MustRun({"add", "Relaywarden", "office"});
        MustRun({"set", kRelay, "Monitor_LogFile", Log().string()});
        MustRun({"set", kRelay, "Monitor_Parameter", server});
        MustRun({"set", kRelay, "MonitorExt_From", "warden@example.test"});
        MustRun({"set", kRelay, "MonitorExt_To", to});
        MustRun({"set", kRelay, "Monitor_Timeout (s)", "3"});
    }

    void AddMailbox(const std::string& server, const std::string& password = kPassword)
    {
        MustRun({"add", "Mailboxwarden", "inbox"});
        MustRun({"set", kMailbox, "Monitor_LogFile", Log().string()});
        MustRun({"set", kMailbox, "Monitor_Parameter", server});
        MustRun({"set", kMailbox, "MonitorExt_PopAccount", "alice"});
        MustRun({"set", kMailbox, "MonitorExt_PopPass", password});
        MustRun({"set", kMailbox, "Monitor_Timeout (s)", "3"});
    }
};

TEST_F(MailCheck, RelaywardenDeliversTheTestMail)
{
    for (const bool tls : {false, true}) {
        SCOPED_TRACE(tls ? "STARTTLS" : "plain");
        SmtpSink sink(SmtpSinkOptions{.startTls = tls});
        AddRelay(Loopback(sink.port()));
        RunSteps({{{"test", kRelay}, 0, "Ok\n", ""},
                  {{"get", kRelay, "Monitor_Result"}, 0, "Ok\n", ""}});
        ASSERT_TRUE(sink.WaitForMails(1, std::chrono::seconds(5)));
        const SmtpMail mail = sink.mails().at(0);
        EXPECT_EQ(mail.from, "warden@example.test");
        EXPECT_EQ(mail.recipients, std::vector<std::string>{"postmaster@example.test"});
        EXPECT_THAT(mail.data,
                    HasSubstr("Subject: Ospreon test mail of Relaywarden of office through "
                              "127.0.0.1\r\n"));
        EXPECT_EQ(mail.secured, tls);
        EXPECT_EQ(ReadFile(Log()), "") << "a passing check writes no line";
        MustRun({"remove", kRelay});
    }
}

TEST_F(MailCheck, RelaywardenFailuresSayWhy)
{
    struct Case
    {
        const char* name;
        SmtpSinkOptions options;
        bool listening;
        std::vector<std::string> reasons;
    };
    const std::vector<Case> cases = {
        {"refused recipient",
         {.refusedRecipients = {"postmaster@example.test"}},
         true,
         {"expected 250 to RCPT, the server said: 550 5.1.1 <postmaster@example.test>: "
          "Recipient address rejected: no such user"}},
        {"silent server",
         {.silent = true},
         true,
         {"Timeout was reached", "expected 220 as greeting, the server said nothing"}},
        {"closed port", {}, false, {"Couldn't connect to server"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SmtpSink sink(c.options);
        AddRelay(Loopback(c.listening ? sink.port() : UnusedLoopbackPort()));
        RunSteps({{{"test", kRelay}, 1, "Error\n", ""}});
        const std::string log = ReadFile(Log());
        EXPECT_THAT(log, HasSubstr("Relaywarden test mail from warden@example.test to "
                                   "postmaster@example.test failed: "));
        for (const std::string& reason : c.reasons)
            EXPECT_THAT(log, HasSubstr(reason));
        EXPECT_EQ(LineCount(log), 1) << log;
        EXPECT_TRUE(sink.mails().empty());
        std::filesystem::remove(Log());
        MustRun({"remove", kRelay});
    }
}

TEST_F(MailCheck, MailboxwardenLogsInAndReadsTheNewestHeaders)
{
    for (const bool tls : {false, true}) {
        SCOPED_TRACE(tls ? "STLS" : "plain");
        Pop3Server server(Pop3Options{"alice", kPassword, {kMessage, kMessage}, tls});
        AddMailbox(Loopback(server.port()));
        RunSteps({{{"test", kMailbox}, 0, "Ok\n", ""}});
        const std::vector<std::string> commands = server.commands();
        EXPECT_THAT(commands, testing::Contains("STAT"));
        EXPECT_THAT(commands, testing::Contains("TOP 2 0"));
        for (const std::string& command : commands) {
            EXPECT_THAT(command, Not(HasSubstr("DELE")));
            EXPECT_THAT(command, Not(HasSubstr("RETR")));
        }
        EXPECT_EQ(server.securedLogin(), tls);
        EXPECT_EQ(ReadFile(Log()), "");
        MustRun({"remove", kMailbox});
    }
}

TEST_F(MailCheck, MailboxwardenFailuresSayWhyAndNeverThePassword)
{
    struct Case
    {
        const char* name;
        std::vector<std::string> messages;
        const char* password;
        bool listening;
        const char* reason;
    };
    const Case cases[] = {
        {"wrong password",
         {kMessage},
         "wrong-Pa55",
         true,
         "expected +OK to PASS, the server said: -ERR [AUTH] invalid user name or password"},
        {"empty mailbox",
         {},
         kPassword,
         true,
         "retrieval could not be verified because the mailbox holds no message"},
        {"closed port", {kMessage}, kPassword, false, "Couldn't connect to server"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Pop3Server server(Pop3Options{"alice", kPassword, c.messages, false});
        AddMailbox(Loopback(c.listening ? server.port() : UnusedLoopbackPort()), c.password);
        RunSteps({{{"test", kMailbox}, 1, "Error\n", ""}});
        const std::string log = ReadFile(Log());
        EXPECT_THAT(log, HasSubstr("Mailboxwarden check of alice at 127.0.0.1:"));
        EXPECT_THAT(log, HasSubstr(c.reason));
        EXPECT_THAT(log, Not(HasSubstr(c.password)));
        EXPECT_THAT(log, Not(HasSubstr("Pa55")));
        EXPECT_EQ(LineCount(log), 1) << log;
        std::filesystem::remove(Log());
        MustRun({"remove", kMailbox});
    }
}

} // namespace
} // namespace ospreon::test
