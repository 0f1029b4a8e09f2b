#pragma once
// A private system bus for one test: a dbus-daemon of its own listening in a
// temporary folder, with $DBUS_SYSTEM_BUS_ADDRESS pointing at it while the object
// lives, and the services the test starts on it (e.g. bin/systemd_manager_stub).
// Everything is a separate process, so tests using it need no D-Bus library.

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <sys/types.h>

#include "tests/support/scoped_env.h"
#include "tests/support/temp_home.h"

namespace ospreon::test {

// dbus-daemon as found in $PATH; empty when it is not installed, in which case a
// test skips with that reason.
std::filesystem::path FindDbusDaemon();

class PrivateBus
{
public:
    // Starts the daemon and waits (at most 10 s) for its address; throws
    // std::runtime_error when it does not come up.
    PrivateBus();
    // Stops the services, then the daemon (SIGTERM, waited for), and puts back the
    // previous $DBUS_SYSTEM_BUS_ADDRESS.
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    // The daemon's address, as $DBUS_SYSTEM_BUS_ADDRESS holds it now.
    const std::string& address() const { return m_address; }

    // Starts argv (argv[0] a path) connected to this bus and waits (at most 10 s)
    // until it prints the line "READY"; throws std::runtime_error when it ends or
    // stays silent. Its stderr goes to the test's.
    void StartService(const std::vector<std::string>& argv);

private:
    // A started process whose stdout we read; stopped and collected on destruction.
    class Process
    {
    public:
        explicit Process(const std::vector<std::string>& argv);
        ~Process();
        Process(const Process&) = delete;
        Process& operator=(const Process&) = delete;

        // The next line of its stdout without the newline; throws on end or timeout.
        std::string ReadLine();

    private:
        std::string m_name;
        pid_t m_pid = -1;
        int m_output = -1;
        std::string m_buffer;
    };

    TempDir m_dir;
    std::optional<ScopedEnv> m_busVariable;
    std::vector<std::unique_ptr<Process>> m_processes; // the daemon first
    std::string m_address;
};

} // namespace ospreon::test
