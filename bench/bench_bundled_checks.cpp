// The page and free space checks as a daemon runs them, each beside its floor in the
// same run: the same exchange in a few lines of plain sockets, or one statvfs; and
// beside both the monitoring plug-ins' check_http and check_disk run on the same
// server and path, where they are installed.

#include <array>
#include <string>
#include <vector>

#include <cerrno>

#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include "plugins/common/plugin_log.h"
#include "plugins/pagewarden/pagewarden_check.h"
#include "plugins/volumewarden/volumewarden_check.h"
#include "tests/support/fake_user.h"
#include "tests/support/http_stub.h"
#include "tests/support/temp_home.h"

extern char** environ;

namespace {

using ospreon::test::FakeUser;
using ospreon::test::HttpStub;

constexpr char kMonitoringPlugins[] = "/usr/lib/nagios/plugins/";

std::string Page(std::size_t bytes)
{
    std::string page;
    page.reserve(bytes);
    for (std::size_t i = 0; page.size() < bytes; ++i)
        page += "<p>line " + std::to_string(i) + "</p>\n";
    page.resize(bytes);
    return page;
}

// One server per page size for the whole run, as a monitored site is.
HttpStub& Server(std::size_t bytes)
{
    static HttpStub small;
    static HttpStub large;
    static const bool filled = [] {
        small.SetResponse({200, Page(10 * 1024), {}});
        large.SetResponse({200, Page(1024 * 1024), {}});
        return true;
    }();
    (void)filled;
    return bytes > 10 * 1024 ? large : small;
}

std::string Flag(const std::string& form, const std::string& page)
{
    if (form == "SIZE")
        return "SIZE:" + std::to_string(page.size());
    if (form == "SUM")
        return "SUM:" + std::to_string(ospreon::pagewarden::ByteSum(page));
    return "STR:" + page.substr(page.size() - 20, 12);
}

void BM_PagewardenCheck(benchmark::State& state, std::size_t bytes, std::string form)
{
    ospreon::test::TempHome home;
    ospreon::plugin::SetLogFile((home.path() / "Pagewarden.log").string());
    HttpStub& server = Server(bytes);
    auto user = FakeUser::Create("Pagewarden of bench", "Pagewarden");
    user->Set("Monitor_Parameter", server.BaseUrl() + "/page");
    user->Set("MonitorExt_SuccessFlag", Flag(form, Page(bytes)));
    ospreon::pagewarden::PagewardenCheck check;
    for (auto _ : state) {
        if (check.Monitor(user.get()) != S_OK) {
            state.SkipWithError("the check failed");
            return;
        }
        user->ClearCalls();
    }
}
BENCHMARK_CAPTURE(BM_PagewardenCheck, 10KB_SIZE, 10 * 1024, "SIZE")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_PagewardenCheck, 10KB_SUM, 10 * 1024, "SUM")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_PagewardenCheck, 10KB_STR, 10 * 1024, "STR")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_PagewardenCheck, 1MB_SIZE, 1024 * 1024, "SIZE")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_PagewardenCheck, 1MB_SUM, 1024 * 1024, "SUM")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_PagewardenCheck, 1MB_STR, 1024 * 1024, "STR")->Unit(benchmark::kMicrosecond);

// The floor: connect, send the request, receive until the server closes, close.
void BM_PageSocketFloor(benchmark::State& state, std::size_t bytes)
{
    HttpStub& server = Server(bytes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(server.port());
    const std::string request = "GET /page HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
    std::vector<char> buffer(64 * 1024);
    for (auto _ : state) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0 || ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) ||
            ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) < 0) {
            state.SkipWithError("the exchange failed");
            if (fd >= 0)
                ::close(fd);
            return;
        }
        std::size_t received = 0;
        for (ssize_t got; (got = ::recv(fd, buffer.data(), buffer.size(), 0)) > 0;)
            received += static_cast<std::size_t>(got);
        ::close(fd);
        benchmark::DoNotOptimize(received);
    }
}
BENCHMARK_CAPTURE(BM_PageSocketFloor, 10KB, 10 * 1024)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_PageSocketFloor, 1MB, 1024 * 1024)->Unit(benchmark::kMicrosecond);

// Runs a monitoring plug-in and waits for it; false when it cannot be started.
bool RunPlugin(const std::vector<std::string>& args)
{
    std::vector<char*> argv;
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return false;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return true;
}

void RunPluginRows(benchmark::State& state, const std::vector<std::string>& args)
{
    if (::access(args[0].c_str(), X_OK) != 0) {
        state.SkipWithError(
            (args[0] + " is not installed (Debian: monitoring-plugins-basic)").c_str());
        return;
    }
    for (auto _ : state) {
        if (!RunPlugin(args)) {
            state.SkipWithError(("cannot run " + args[0]).c_str());
            return;
        }
    }
}

void BM_CheckHttp(benchmark::State& state, std::size_t bytes)
{
    HttpStub& server = Server(bytes);
    RunPluginRows(state, {std::string(kMonitoringPlugins) + "check_http", "-H", "127.0.0.1", "-p",
                          std::to_string(server.port()), "-u", "/page", "-s", "</p>"});
}
BENCHMARK_CAPTURE(BM_CheckHttp, 10KB, 10 * 1024)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_CheckHttp, 1MB, 1024 * 1024)->Unit(benchmark::kMicrosecond);

void BM_VolumewardenCheck(benchmark::State& state)
{
    ospreon::test::TempHome home;
    ospreon::plugin::SetLogFile((home.path() / "Volumewarden.log").string());
    auto user = FakeUser::Create("Volumewarden of bench", "Volumewarden");
    user->Set("Monitor_Parameter", home.path().string());
    user->Set("Ext_Free space threshold (Mb)", "1");
    ospreon::volumewarden::VolumewardenCheck check;
    for (auto _ : state) {
        if (check.Monitor(user.get()) != S_OK) {
            state.SkipWithError("the check failed");
            return;
        }
        user->ClearCalls();
    }
}
BENCHMARK(BM_VolumewardenCheck)->Unit(benchmark::kMicrosecond);

void BM_StatvfsFloor(benchmark::State& state)
{
    ospreon::test::TempHome home;
    const std::string path = home.path().string();
    for (auto _ : state) {
        struct statvfs fs;
        benchmark::DoNotOptimize(::statvfs(path.c_str(), &fs));
    }
}
BENCHMARK(BM_StatvfsFloor)->Unit(benchmark::kMicrosecond);

void BM_CheckDisk(benchmark::State& state)
{
    ospreon::test::TempHome home;
    RunPluginRows(state, {std::string(kMonitoringPlugins) + "check_disk", "-w", "1", "-c", "1",
                          "-p", home.path().string()});
}
BENCHMARK(BM_CheckDisk)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
