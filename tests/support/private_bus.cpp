#include "tests/support/private_bus.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace ospreon::test {

namespace {

constexpr auto kStartTimeout = std::chrono::seconds(10);
constexpr auto kStopTimeout = std::chrono::seconds(3);

// A system bus that lets everyone own any name and talk to anyone: the tests
// run as an ordinary user and play systemd's part.
void WriteConfig(const std::filesystem::path& file, const std::filesystem::path& socket)
{
    std::ofstream out(file);
    out << R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=)"
        << socket.string() << R"(</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_type="method_call"/>
    <allow send_destination="*"/>
    <allow receive_sender="*"/>
  </policy>
</busconfig>
)";
    if (!out.flush())
        throw std::runtime_error("cannot write " + file.string());
}

std::runtime_error Failure(const std::string& what, int code)
{
    return std::runtime_error(what + ": " + std::strerror(code));
}

} // namespace

std::filesystem::path FindDbusDaemon()
{
    const char* path = std::getenv("PATH");
    std::string_view folders = path ? path : "/usr/local/bin:/usr/bin:/bin";
    while (!folders.empty()) {
        std::size_t colon = folders.find(':');
        std::filesystem::path candidate =
            std::filesystem::path(folders.substr(0, colon)) / "dbus-daemon";
        if (!candidate.parent_path().empty() && ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        if (colon == std::string_view::npos)
            break;
        folders.remove_prefix(colon + 1);
    }
    return {};
}

PrivateBus::Process::Process(const std::vector<std::string>& argv) : m_name(argv.at(0))
{
    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0)
        throw Failure("cannot create a pipe for " + m_name, errno);
    m_output = pipeEnds[0];

    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    std::vector<char*> pointers;
    for (const std::string& argument : argv)
        pointers.push_back(const_cast<char*>(argument.c_str()));
    pointers.push_back(nullptr);
    int rc = ::posix_spawn(&m_pid, pointers[0], &actions, nullptr, pointers.data(), environ);
    ::posix_spawn_file_actions_destroy(&actions);
    ::close(pipeEnds[1]);
    if (rc != 0) {
        ::close(m_output);
        throw Failure("cannot start " + m_name, rc);
    }
}

PrivateBus::Process::~Process()
{
    ::kill(m_pid, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + kStopTimeout;
    int status = 0;
    while (::waitpid(m_pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ::close(m_output);
}

std::string PrivateBus::Process::ReadLine()
{
    const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
    for (;;) {
        if (std::size_t newline = m_buffer.find('\n'); newline != std::string::npos) {
            std::string line = m_buffer.substr(0, newline);
            m_buffer.erase(0, newline + 1);
            return line;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            throw std::runtime_error(m_name + " printed no line within 10 s");
        pollfd watched{m_output, POLLIN, 0};
        int ready = ::poll(&watched, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno != EINTR)
            throw Failure("cannot wait for " + m_name, errno);
        if (ready <= 0)
            continue;
        char chunk[256];
        ssize_t count = ::read(m_output, chunk, sizeof chunk);
        if (count == 0)
            throw std::runtime_error(m_name + " ended before printing a line");
        if (count < 0 && errno != EINTR)
            throw Failure("cannot read the output of " + m_name, errno);
        if (count > 0)
            m_buffer.append(chunk, static_cast<std::size_t>(count));
    }
}

PrivateBus::PrivateBus()
{
    const std::filesystem::path daemon = FindDbusDaemon();
    if (daemon.empty())
        throw std::runtime_error("dbus-daemon is not installed");
    const std::filesystem::path config = m_dir.path() / "bus.conf";
    WriteConfig(config, m_dir.path() / "bus");
    m_processes.push_back(std::make_unique<Process>(
        std::vector<std::string>{daemon.string(), "--config-file=" + config.string(), "--nofork",
                                 "--nopidfile", "--nosyslog", "--print-address=1"}));
    m_address = m_processes.back()->ReadLine();
    m_busVariable.emplace("DBUS_SYSTEM_BUS_ADDRESS", m_address);
}

PrivateBus::~PrivateBus()
{
    while (!m_processes.empty())
        m_processes.pop_back();
}

void PrivateBus::StartService(const std::vector<std::string>& argv)
{
    m_processes.push_back(std::make_unique<Process>(argv));
    for (;;) {
        if (m_processes.back()->ReadLine() == "READY")
            return;
    }
}

} // namespace ospreon::test
