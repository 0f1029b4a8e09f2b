#pragma once
// `status`: where the store is, whether the daemon runs (and its counters since it
// started: checks run, started late, time-outs, workers replaced), how many monitors
// there are and how many are started.
//
// The daemon holds an exclusive flock on $OSPREON_HOME/run/wardenhost.lock for its
// whole life and touches $OSPREON_HOME/run/wardenhost.heartbeat every few seconds.

#include <filesystem>
#include <optional>

#include "service/ctl/console_io.h"

namespace ospreon::ctl {

struct DaemonState
{
    bool running = false;
    std::optional<long long> heartbeatAge; // seconds since the last heartbeat
};

// Reads the lock (a shared flock that would block means the daemon holds it) and
// the heartbeat's age, from the folder `runFolder`.
DaemonState ReadDaemonState(const std::filesystem::path& runFolder);

Outcome ShowStatus(Console& console);

} // namespace ospreon::ctl
