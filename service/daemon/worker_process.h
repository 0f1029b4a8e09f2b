#pragma once
// One worker process: `wardenhost --worker 3` started from this program's own file,
// with its end of a SOCK_SEQPACKET socket pair as descriptor 3 and nothing else
// inherited (every other descriptor of the daemon, the instance lock above all, is
// close-on-exec). Destroying the object closes the socket, which ends the worker,
// and collects it; one that does not end within a second is killed.

#include <sys/types.h>

#include <memory>
#include <optional>
#include <string>

#include "platform/base/result.h"
#include "platform/os/unique_fd.h"

namespace ospreon::daemon {

class WorkerProcess
{
public:
    static Result<std::unique_ptr<WorkerProcess>> Start(const std::string& program, int threads);
    ~WorkerProcess();
    WorkerProcess(const WorkerProcess&) = delete;
    WorkerProcess& operator=(const WorkerProcess&) = delete;

    int fd() const { return m_socket.get(); }
    pid_t pid() const { return m_pid; }
    int threads() const { return m_threads; }

    void Kill();
    // The wait status once the process has ended (waiting at most `waitMs`).
    std::optional<int> Collect(int waitMs);

private:
    WorkerProcess(os::UniqueFd socket, pid_t pid, int threads)
        : m_socket(std::move(socket)), m_pid(pid), m_threads(threads)
    {}

    os::UniqueFd m_socket;
    pid_t m_pid;
    int m_threads;
    std::optional<int> m_status;
};

} // namespace ospreon::daemon
