#include "platform/os/launcher.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>
#include <thread>
#include <utility>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace ospreon::os {

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

// Collects `pid` in the background: one detached thread per child, blocked in
// waitpid until the child ends. Children handed over are few (a sound played
// without waiting, a program started and left to run), so a thread each is cheap
// and needs no shared state or SIGCHLD handler, which a library must not install.
void HandToReaper(pid_t pid)
{
    try {
        std::thread([pid] {
            int status = 0;
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
        }).detach();
    } catch (const std::system_error&) {
        // No thread to spare: the child stays a zombie until this process ends,
        // which is better than blocking the caller until it finishes.
    }
}

// Owners of the spawn attributes and file actions, destroyed on every path.
class SpawnAttributes
{
public:
    SpawnAttributes() { m_ok = ::posix_spawnattr_init(&m_attr) == 0; }
    ~SpawnAttributes()
    {
        if (m_ok)
            ::posix_spawnattr_destroy(&m_attr);
    }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;

    // A session of its own (so the child outlives our terminal and process group),
    // no blocked signals, and every signal at its default action: a program must
    // not inherit our ignored SIGPIPE or the mask of the thread that started it.
    int Configure()
    {
        if (!m_ok)
            return ENOMEM;
        sigset_t none;
        sigset_t all;
        sigemptyset(&none);
        sigfillset(&all);
        if (int rc = ::posix_spawnattr_setsigmask(&m_attr, &none))
            return rc;
        if (int rc = ::posix_spawnattr_setsigdefault(&m_attr, &all))
            return rc;
        return ::posix_spawnattr_setflags(&m_attr, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK |
                                                       POSIX_SPAWN_SETSIGDEF);
    }

    const posix_spawnattr_t* get() const { return &m_attr; }

private:
    posix_spawnattr_t m_attr;
    bool m_ok = false;
};

class SpawnFileActions
{
public:
    SpawnFileActions() { m_ok = ::posix_spawn_file_actions_init(&m_actions) == 0; }
    ~SpawnFileActions()
    {
        if (m_ok)
            ::posix_spawn_file_actions_destroy(&m_actions);
    }
    SpawnFileActions(const SpawnFileActions&) = delete;
    SpawnFileActions& operator=(const SpawnFileActions&) = delete;

    // stdin from /dev/null (a started program never reads our terminal), stdout and
    // stderr inherited, every other descriptor closed so no file or lock of ours
    // stays open in a long-running child.
    int Configure()
    {
        if (!m_ok)
            return ENOMEM;
        if (int rc = ::posix_spawn_file_actions_addopen(&m_actions, STDIN_FILENO, "/dev/null",
                                                        O_RDONLY, 0))
            return rc;
        return ::posix_spawn_file_actions_addclosefrom_np(&m_actions, STDERR_FILENO + 1);
    }

    const posix_spawn_file_actions_t* get() const { return &m_actions; }

private:
    posix_spawn_file_actions_t m_actions;
    bool m_ok = false;
};

Error SpawnError(int code, const std::string& program)
{
    return Error::Errno(code, "cannot start '" + program + "': " + std::strerror(code));
}

} // namespace

std::vector<std::string> SplitCommandLine(std::string_view commandLine)
{
    std::vector<std::string> arguments;
    std::string current;
    bool inArgument = false; // an argument has begun, even if it is still empty ("")
    bool quoted = false;
    std::size_t i = 0;
    while (i < commandLine.size()) {
        char c = commandLine[i];
        if (c == '\\') {
            std::size_t count = 0;
            while (i < commandLine.size() && commandLine[i] == '\\') {
                ++count;
                ++i;
            }
            inArgument = true;
            if (i < commandLine.size() && commandLine[i] == '"') {
                current.append(count / 2, '\\');
                if (count % 2 == 1) {
                    current += '"';
                    ++i;
                }
                // With an even count the quote is left for the next round, where
                // it opens or closes a quoted part.
            } else {
                current.append(count, '\\');
            }
            continue;
        }
        ++i;
        if (c == '"') {
            quoted = !quoted;
            inArgument = true;
        } else if (IsBlank(c) && !quoted) {
            if (inArgument)
                arguments.push_back(std::move(current));
            current.clear();
            inArgument = false;
        } else {
            current += c;
            inArgument = true;
        }
    }
    if (inArgument)
        arguments.push_back(std::move(current));
    return arguments;
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : m_pid(std::exchange(other.m_pid, -1)), m_status(std::exchange(other.m_status, std::nullopt))
{}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept
{
    if (this != &other) {
        if (m_pid > 0 && !m_status)
            HandToReaper(m_pid);
        m_pid = std::exchange(other.m_pid, -1);
        m_status = std::exchange(other.m_status, std::nullopt);
    }
    return *this;
}

ChildProcess::~ChildProcess()
{
    if (m_pid > 0 && !m_status)
        HandToReaper(m_pid);
}

std::optional<int> ChildProcess::WaitFor(std::chrono::milliseconds timeout)
{
    if (m_status || m_pid <= 0)
        return m_status;
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + timeout;
    // Short sleeps first, so a child that ends at once is seen at once; then
    // longer ones, so a long wait does not spin.
    auto pause = std::chrono::milliseconds(1);
    for (;;) {
        int status = 0;
        pid_t rc = ::waitpid(m_pid, &status, WNOHANG);
        if (rc == m_pid) {
            m_status = status;
            return m_status;
        }
        if (rc < 0 && errno != EINTR) {
            m_status = -1;
            return m_status;
        }
        const auto now = Clock::now();
        if (now >= deadline)
            return std::nullopt;
        std::this_thread::sleep_for(std::min<Clock::duration>(pause, deadline - now));
        pause = std::min(pause * 2, std::chrono::milliseconds(10));
    }
}

int ChildProcess::Wait()
{
    if (m_status || m_pid <= 0)
        return m_status.value_or(-1);
    int status = 0;
    pid_t rc;
    while ((rc = ::waitpid(m_pid, &status, 0)) < 0 && errno == EINTR) {
    }
    m_status = rc == m_pid ? status : -1;
    return *m_status;
}

Result<ChildProcess> Spawn(const std::vector<std::string>& argv)
{
    if (argv.empty() || argv.front().empty())
        return Error::Errno(EINVAL, "cannot start a program: no program named");

    SpawnAttributes attributes;
    if (int rc = attributes.Configure())
        return SpawnError(rc, argv.front());
    SpawnFileActions actions;
    if (int rc = actions.Configure())
        return SpawnError(rc, argv.front());

    std::vector<char*> pointers;
    pointers.reserve(argv.size() + 1);
    for (const std::string& argument : argv)
        pointers.push_back(const_cast<char*>(argument.c_str()));
    pointers.push_back(nullptr);

    pid_t pid = -1;
    if (int rc = ::posix_spawnp(&pid, pointers.front(), actions.get(), attributes.get(),
                                pointers.data(), environ))
        return SpawnError(rc, argv.front());
    return ChildProcess(pid);
}

std::string DescribeWaitStatus(int status)
{
    if (WIFEXITED(status))
        return "ended with exit status " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status))
        return "was killed by signal " + std::to_string(WTERMSIG(status));
    return "ended with wait status " + std::to_string(status);
}

} // namespace ospreon::os
