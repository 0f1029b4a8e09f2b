// ExecCmd: runs an administrator's shell command line and tells, within 200 ms,
// whether it could be started at all.

#include <chrono>
#include <optional>
#include <string>

#include <sys/wait.h>

#include "alertlib/alertlib.h"
#include "alertlib/last_error.h"
#include "platform/os/launcher.h"

namespace ospreon::alert {

namespace {

// Long enough for the shell to report a command it cannot find or run, short
// enough for a monitor's check thread to go on.
constexpr std::chrono::milliseconds kStartWindow{200};

// The shell's exit statuses for a command it could not run.
constexpr int kNotExecutable = 126;
constexpr int kNotFound = 127;

int Run(const char* commandLine)
{
    const std::string command(commandLine);
    // The command line goes to the shell as one argument, exactly as written.
    auto child = os::Spawn({"/bin/sh", "-c", command});
    if (!child) {
        SetLastAlertError(child.error().message);
        return 0;
    }
    const std::optional<int> status = child->WaitFor(kStartWindow);
    if (status && WIFEXITED(*status) && WEXITSTATUS(*status) == kNotFound) {
        SetLastAlertError("command not found: " + command);
        return 0;
    }
    if (status && WIFEXITED(*status) && WEXITSTATUS(*status) == kNotExecutable) {
        SetLastAlertError("command not executable: " + command);
        return 0;
    }
    if (status && WIFSIGNALED(*status)) {
        SetLastAlertError("killed by signal " + std::to_string(WTERMSIG(*status)) + ": " + command);
        return 0;
    }
    // Still running, or ended by itself: the command was started. A child still
    // running is reaped in the background when `child` goes.
    return static_cast<int>(child->pid());
}

} // namespace

} // namespace ospreon::alert

extern "C" int ExecCmd(const char* commandLine)
{
    using namespace ospreon::alert;
    ClearLastAlertError();
    if (!commandLine || !*commandLine) {
        SetLastAlertError("no command given");
        return 0;
    }
    return ExportedCall("cannot run command", [&] { return Run(commandLine); });
}
