// The mail server checks as a daemon runs them, in one process, against an SMTP
// sink and a POP3 server on 127.0.0.1 without TLS: Relaywarden delivering its test
// mail and Mailboxwarden logging in and reading the newest headers, each beside its
// floor (the same exchange over a plain socket) and beside Debian's check_smtp and
// check_pop on the same servers (which only read the greeting), where installed.

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include "plugins/common/plugin_log.h"
#include "plugins/mailboxwarden/mailboxwarden_check.h"
#include "plugins/relaywarden/relaywarden_check.h"
#include "tests/support/fake_user.h"
#include "tests/support/loopback_socket.h"
#include "tests/support/pop3_server.h"
#include "tests/support/smtp_sink.h"
#include "tests/support/temp_home.h"

extern char** environ;

namespace {

using ospreon::test::FakeUser;

constexpr char kMessage[] = "From: a@example.test\r\nSubject: hello\r\n\r\nbody\r\n";
constexpr char kPluginFolder[] = "/usr/lib/nagios/plugins";

// A blocking client over one loopback connection: the floor's whole toolkit.
class PlainClient
{
public:
    explicit PlainClient(std::uint16_t port)
        : m_fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0))
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
        if (!m_fd ||
            ::connect(m_fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
            throw std::runtime_error(std::string("connect: ") + std::strerror(errno));
        const int one = 1;
        ::setsockopt(m_fd.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }

    void Send(const std::string& text)
    {
        if (::send(m_fd.get(), text.data(), text.size(), MSG_NOSIGNAL) !=
            static_cast<ssize_t>(text.size()))
            throw std::runtime_error("send failed");
    }

    std::string Line()
    {
        for (;;) {
            if (const std::size_t end = m_buffer.find("\r\n"); end != std::string::npos) {
                std::string line = m_buffer.substr(0, end);
                m_buffer.erase(0, end + 2);
                return line;
            }
            char chunk[4096];
            const ssize_t got = ::recv(m_fd.get(), chunk, sizeof chunk, 0);
            if (got <= 0)
                throw std::runtime_error("connection closed");
            m_buffer.append(chunk, static_cast<std::size_t>(got));
        }
    }

    // An SMTP reply, continuation lines ("250-") included; its code must be `code`.
    void SmtpReply(const char* code)
    {
        std::string line;
        do
            line = Line();
        while (line.size() > 3 && line[3] == '-');
        if (!line.starts_with(code))
            throw std::runtime_error("SMTP: " + line);
    }

    // A POP3 reply that must be +OK, and when `multiLine`, its lines up to ".".
    void Pop3Reply(bool multiLine)
    {
        const std::string status = Line();
        if (!status.starts_with("+OK"))
            throw std::runtime_error("POP3: " + status);
        while (multiLine && Line() != ".") {
        }
    }

private:
    ospreon::test::SocketFd m_fd;
    std::string m_buffer;
};

// The exit status of a monitoring plug-in run with its output thrown away.
int RunQuietly(const std::vector<std::string>& argv)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return -1;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void BM_Relaywarden(benchmark::State& state)
{
    ospreon::test::TempHome home;
    ospreon::plugin::SetLogFile((home.path() / "Relaywarden.log").string());
    ospreon::test::SmtpSink sink;
    auto user = FakeUser::Create("Relaywarden of bench", "Relaywarden");
    user->Set("Monitor_Parameter", "127.0.0.1:" + std::to_string(sink.port()));
    user->Set("MonitorExt_From", "warden@example.test");
    user->Set("MonitorExt_To", "postmaster@example.test");
    ospreon::relaywarden::RelaywardenCheck check;
    for (auto _ : state) {
        if (check.Monitor(user.get()) != S_OK) {
            state.SkipWithError("the check failed; see Relaywarden.log");
            return;
        }
        user->ClearCalls();
    }
}
BENCHMARK(BM_Relaywarden)->Unit(benchmark::kMicrosecond);

// The same SMTP exchange as Relaywarden's, over a plain socket.
void BM_SmtpFloor(benchmark::State& state)
{
    ospreon::test::SmtpSink sink;
    const std::string mail = "From: warden@example.test\r\nTo: postmaster@example.test\r\n"
                             "Subject: Ospreon test mail of Relaywarden of bench through "
                             "127.0.0.1\r\n\r\nbody\r\n.\r\n";
    for (auto _ : state) {
        PlainClient client(sink.port());
        client.SmtpReply("220");
        client.Send("EHLO bench\r\n");
        client.SmtpReply("250");
        client.Send("MAIL FROM:<warden@example.test>\r\n");
        client.SmtpReply("250");
        client.Send("RCPT TO:<postmaster@example.test>\r\n");
        client.SmtpReply("250");
        client.Send("DATA\r\n");
        client.SmtpReply("354");
        client.Send(mail);
        client.SmtpReply("250");
        client.Send("QUIT\r\n");
        client.SmtpReply("221");
    }
}
BENCHMARK(BM_SmtpFloor)->Unit(benchmark::kMicrosecond);

void BM_Mailboxwarden(benchmark::State& state)
{
    ospreon::test::TempHome home;
    ospreon::plugin::SetLogFile((home.path() / "Mailboxwarden.log").string());
    ospreon::test::Pop3Server server({"alice", "secret", {kMessage, kMessage}, false});
    auto user = FakeUser::Create("Mailboxwarden of bench", "Mailboxwarden");
    user->Set("Monitor_Parameter", "127.0.0.1:" + std::to_string(server.port()));
    user->Set("MonitorExt_PopAccount", "alice");
    user->Set("MonitorExt_PopPass", "secret");
    ospreon::mailboxwarden::MailboxwardenCheck check;
    for (auto _ : state) {
        if (check.Monitor(user.get()) != S_OK) {
            state.SkipWithError("the check failed; see Mailboxwarden.log");
            return;
        }
        user->ClearCalls();
    }
}
BENCHMARK(BM_Mailboxwarden)->Unit(benchmark::kMicrosecond);

// The same POP3 exchange as Mailboxwarden's (CAPA, USER, PASS, STAT, TOP, QUIT).
void BM_Pop3Floor(benchmark::State& state)
{
    ospreon::test::Pop3Server server({"alice", "secret", {kMessage, kMessage}, false});
    for (auto _ : state) {
        PlainClient client(server.port());
        client.Pop3Reply(false);
        client.Send("CAPA\r\n");
        client.Pop3Reply(true);
        client.Send("USER alice\r\n");
        client.Pop3Reply(false);
        client.Send("PASS secret\r\n");
        client.Pop3Reply(false);
        client.Send("STAT\r\n");
        client.Pop3Reply(false);
        client.Send("TOP 2 0\r\n");
        client.Pop3Reply(true);
        client.Send("QUIT\r\n");
        client.Pop3Reply(false);
    }
}
BENCHMARK(BM_Pop3Floor)->Unit(benchmark::kMicrosecond);

// Debian's monitoring plug-in `name` against a server on `port`: one process per
// check, as a scheduler that runs them would start it.
void RunMonitoringPlugin(benchmark::State& state, const char* name, std::uint16_t port)
{
    const std::string program = std::string(kPluginFolder) + "/" + name;
    if (::access(program.c_str(), X_OK) != 0) {
        state.SkipWithError((program + " is not installed (monitoring-plugins-standard)").c_str());
        return;
    }
    const std::vector<std::string> argv = {program, "-H", "127.0.0.1", "-p", std::to_string(port)};
    for (auto _ : state) {
        if (RunQuietly(argv) != 0) {
            state.SkipWithError((std::string(name) + " did not report OK").c_str());
            return;
        }
    }
}

void BM_CheckSmtp(benchmark::State& state)
{
    ospreon::test::SmtpSink sink;
    RunMonitoringPlugin(state, "check_smtp", sink.port());
}
BENCHMARK(BM_CheckSmtp)->Unit(benchmark::kMicrosecond);

void BM_CheckPop(benchmark::State& state)
{
    ospreon::test::Pop3Server server({"alice", "secret", {kMessage}, false});
    RunMonitoringPlugin(state, "check_pop", server.port());
}
BENCHMARK(BM_CheckPop)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
