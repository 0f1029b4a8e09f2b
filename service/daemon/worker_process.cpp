#include "service/daemon/worker_process.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <thread>

#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace ospreon::daemon {

Result<std::unique_ptr<WorkerProcess>> WorkerProcess::Start(const std::string& program, int threads)
{
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0)
        return Error::Errno(errno,
                            std::string("cannot make a worker socket: ") + std::strerror(errno));
    os::UniqueFd ours(pair[0]);
    os::UniqueFd theirs(pair[1]);
    // Everything the child needs is built before fork: after it, only calls that
    // are safe in a child of a threaded process.
    const std::string threadText = std::to_string(threads);
    const char* argv[] = {program.c_str(), "--worker",         "3",
                          "--threads",     threadText.c_str(), nullptr};
    sigset_t none;
    sigemptyset(&none);
    const pid_t pid = ::fork();
    if (pid < 0)
        return Error::Errno(errno, std::string("cannot start a worker: ") + std::strerror(errno));
    if (pid == 0) {
        // The scheduler blocks the signals it reads from a signalfd; a worker
        // takes them the ordinary way.
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        if (::dup2(theirs.get(), 3) < 0)
            ::_exit(127);
        ::execv(program.c_str(), const_cast<char* const*>(argv));
        ::_exit(127);
    }
    return std::unique_ptr<WorkerProcess>(new WorkerProcess(std::move(ours), pid, threads));
}

WorkerProcess::~WorkerProcess()
{
    m_socket.reset(); // the worker ends when it sees the end of its socket
    if (!Collect(1000)) {
        Kill();
        (void)Collect(-1);
    }
}

void WorkerProcess::Kill()
{
    if (!m_status)
        ::kill(m_pid, SIGKILL);
}

std::optional<int> WorkerProcess::Collect(int waitMs)
{
    for (int waited = 0; !m_status; waited += 10) {
        int status = 0;
        const pid_t ended = ::waitpid(m_pid, &status, WNOHANG);
        if (ended == m_pid || (ended < 0 && errno != EINTR))
            m_status = ended == m_pid ? status : -1;
        else if (waitMs >= 0 && waited >= waitMs)
            break;
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return m_status;
}

} // namespace ospreon::daemon
