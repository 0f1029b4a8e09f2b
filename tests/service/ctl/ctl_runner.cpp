#include "tests/service/ctl/ctl_runner.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string_view>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/temp_home.h"

extern char** environ;

namespace ospreon::test {

namespace {

class Pipe
{
public:
    Pipe()
    {
        if (::pipe2(m_fds, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe2 failed");
    }
    ~Pipe()
    {
        CloseRead();
        CloseWrite();
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;

    int read() const { return m_fds[0]; }
    int write() const { return m_fds[1]; }
    void CloseRead() { Close(m_fds[0]); }
    void CloseWrite() { Close(m_fds[1]); }

private:
    static void Close(int& fd)
    {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
    int m_fds[2] = {-1, -1};
};

class SpawnActions
{
public:
    SpawnActions() { ::posix_spawn_file_actions_init(&m_actions); }
    ~SpawnActions() { ::posix_spawn_file_actions_destroy(&m_actions); }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;

    posix_spawn_file_actions_t* get() { return &m_actions; }

private:
    posix_spawn_file_actions_t m_actions;
};

// Reads both pipes to their ends, whichever the child fills first.
void Drain(Pipe& out, Pipe& err, CtlRun& run)
{
    pollfd fds[2] = {{out.read(), POLLIN, 0}, {err.read(), POLLIN, 0}};
    std::string* targets[2] = {&run.out, &run.err};
    int open = 2;
    while (open > 0) {
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            throw std::runtime_error("poll failed");
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            char buffer[4096];
            ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                fds[i].fd = -1;
                --open;
                continue;
            }
            targets[i]->append(buffer, static_cast<std::size_t>(n));
        }
    }
}

} // namespace

CtlRun RunCtl(const std::vector<std::string>& args, const std::string& stdoutFile)
{
    const std::string program = (BuildDir() / "bin" / "wardenctl").string();
    std::vector<std::string> argv = {program};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> pointers;
    for (std::string& arg : argv)
        pointers.push_back(arg.data());
    pointers.push_back(nullptr);

    Pipe out;
    Pipe err;
    SpawnActions actions;
    ::posix_spawn_file_actions_addopen(actions.get(), 0, "/dev/null", O_RDONLY, 0);
    if (stdoutFile.empty())
        ::posix_spawn_file_actions_adddup2(actions.get(), out.write(), 1);
    else
        ::posix_spawn_file_actions_addopen(actions.get(), 1, stdoutFile.c_str(), O_WRONLY, 0);
    ::posix_spawn_file_actions_adddup2(actions.get(), err.write(), 2);
    pid_t pid = -1;
    if (int error =
            ::posix_spawn(&pid, program.c_str(), actions.get(), nullptr, pointers.data(), environ);
        error != 0)
        throw std::runtime_error("cannot start " + program + ": " + std::strerror(error));
    out.CloseWrite();
    err.CloseWrite();

    CtlRun run;
    Drain(out, err, run);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            throw std::runtime_error("waitpid failed");
    }
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    return run;
}

std::string Describe(const std::vector<std::string>& args, const CtlRun& run)
{
    std::string text = "wardenctl";
    for (const std::string& arg : args)
        text += " '" + arg + "'";
    return text + "\n  status " + std::to_string(run.status) + "\n  stdout: " + run.out +
           "\n  stderr: " + run.err;
}

} // namespace ospreon::test
