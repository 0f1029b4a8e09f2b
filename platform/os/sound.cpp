#include "platform/os/sound.h"

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/os/launcher.h"

namespace ospreon::os {

namespace {

// The full path of an executable `program` in $PATH (an empty entry is the
// current folder, as the shell has it), nullopt when none is found.
std::optional<std::string> FindInPath(std::string_view program)
{
    const char* path = std::getenv("PATH");
    std::string_view folders = path ? path : "/usr/local/bin:/usr/bin:/bin";
    for (;;) {
        std::size_t colon = folders.find(':');
        std::string_view folder = folders.substr(0, colon);
        std::string candidate = folder.empty() ? std::string(".") : std::string(folder);
        candidate += '/';
        candidate += program;
        struct stat info
        {};
        if (::access(candidate.c_str(), X_OK) == 0 && ::stat(candidate.c_str(), &info) == 0 &&
            S_ISREG(info.st_mode))
            return candidate;
        if (colon == std::string_view::npos)
            return std::nullopt;
        folders.remove_prefix(colon + 1);
    }
}

Result<std::vector<std::string>> PlayerCommand()
{
    if (const char* player = std::getenv("OSPREON_SOUND_PLAYER")) {
        std::vector<std::string> command = SplitCommandLine(player);
        if (!command.empty())
            return command;
    }
    for (const char* name : {"paplay", "pw-play", "aplay"}) {
        if (auto found = FindInPath(name))
            return std::vector<std::string>{*found};
    }
    if (auto found = FindInPath("ffplay"))
        return std::vector<std::string>{*found, "-nodisp", "-autoexit", "-loglevel", "quiet"};
    return Error::Errno(ENOENT, "no sound player found (paplay, pw-play, aplay, ffplay); set "
                                "OSPREON_SOUND_PLAYER");
}

} // namespace

Result<void> PlaySoundFile(const std::string& path, SoundWait wait)
{
    auto command = PlayerCommand();
    if (!command)
        return command.error();
    const std::string player = command->front();
    // The file is one more argument, never part of a command line a shell reads.
    command->push_back(path);
    auto child = Spawn(*command);
    if (!child)
        return child.error().Prefixed("cannot play " + path + ": ");
    if (wait == SoundWait::NoWait)
        return {};
    int status = child->Wait();
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
        return {};
    return Error::Plain("sound player '" + player + "' " + DescribeWaitStatus(status) +
                        " playing " + path);
}

void Beep()
{
    int tty = ::open("/dev/tty", O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (tty < 0)
        return;
    [[maybe_unused]] ssize_t written = ::write(tty, "\a", 1);
    ::close(tty);
}

} // namespace ospreon::os
