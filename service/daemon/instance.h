#pragma once
// One daemon per OSPREON_HOME: an exclusive flock on run/wardenhost.lock held for
// the daemon's whole life (close-on-exec, so no worker inherits it), and
// run/wardenhost.heartbeat, replaced every few seconds with the counters, which
// `wardenctl status` and the benchmark read.

#include <cstdint>
#include <filesystem>

#include "platform/base/result.h"
#include "platform/os/unique_fd.h"

namespace ospreon::daemon {

// Counted since the daemon started.
struct Counters
{
    std::uint64_t checks = 0;   // checks concluded (ok, failed, timed out, lost)
    std::uint64_t late = 0;     // checks started more than 100 ms after their time
    std::uint64_t timeouts = 0; // checks that ran past their time-out
    std::uint64_t workersReplaced = 0;
};

class InstanceLock
{
public:
    // Fails with EWOULDBLOCK when another daemon holds the lock.
    static Result<InstanceLock> Acquire(const std::filesystem::path& runFolder);
    // Writes the calling process's id into the lock file (after a detach).
    void RecordPid() const;

private:
    explicit InstanceLock(os::UniqueFd fd) : m_fd(std::move(fd)) {}
    os::UniqueFd m_fd;
};

// Replaces the heartbeat file: "pid N" and one "name N" line per counter.
void WriteHeartbeat(const std::filesystem::path& runFolder, const Counters& counters);

} // namespace ospreon::daemon
