// Services over sd-bus, program launch, sound and the named lock: the parts of
// platform/os that start processes or talk to other ones.

#include <cerrno>
#include <chrono>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/os/launcher.h"
#include "platform/os/named_lock.h"
#include "platform/os/paths.h"
#include "platform/os/service_manager.h"
#include "platform/os/sound.h"
#include "tests/support/private_bus.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_home.h"

// How gtest shows a service in a failure message.
namespace ospreon::os {
void PrintTo(const ServiceInfo& service, std::ostream* out)
{
    *out << "{" << service.name << ", " << service.displayName << ", "
         << (service.running ? "running" : "not running") << "}";
}
} // namespace ospreon::os

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using ospreon::os::ChildProcess;
using ospreon::os::NamedLock;
using ospreon::os::ServiceInfo;
using ospreon::os::SoundWait;
using ospreon::test::ScopedEnv;
using ospreon::test::TempDir;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

std::string ReadFile(const fs::path& file)
{
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> ReadLines(const fs::path& file)
{
    std::vector<std::string> lines;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

void WriteFile(const fs::path& file, const std::string& text)
{
    std::ofstream(file) << text;
}

void WriteScript(const fs::path& file, const std::string& body)
{
    WriteFile(file, "#!/bin/sh\n" + body + "\n");
    fs::permissions(file, fs::perms::owner_all);
}

// Polls `done` for up to 5 s; for outcomes that arrive from another process.
template <class Predicate> bool Eventually(Predicate done)
{
    for (auto deadline = std::chrono::steady_clock::now() + 5s;
         std::chrono::steady_clock::now() < deadline; std::this_thread::sleep_for(10ms)) {
        if (done())
            return true;
    }
    return done();
}

// A table case shows as its name in test names and failure messages.
template <class Case>
requires requires(const Case& c)
{
    c.name;
}
void PrintTo(const Case& testCase, std::ostream* out)
{
    *out << testCase.name;
}

// ---------------------------------------------------------------- SplitCommandLine

struct SplitCase
{
    const char* name; // of the test case
    const char* commandLine;
    std::vector<std::string> arguments;
};

class SplitCommandLineTest : public ::testing::TestWithParam<SplitCase>
{};

TEST_P(SplitCommandLineTest, FollowsWindowsArgumentRules)
{
    EXPECT_EQ(ospreon::os::SplitCommandLine(GetParam().commandLine), GetParam().arguments)
        << "command line: " << GetParam().commandLine;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SplitCommandLineTest,
    ::testing::Values(
        SplitCase{"EmptyLine", "", {}}, SplitCase{"OnlyBlanks", " \t  ", {}},
        SplitCase{"PlainWords", "a b c", {"a", "b", "c"}},
        SplitCase{"RunsOfBlanksAndTabs", "  a \t b\t\tc  ", {"a", "b", "c"}},
        SplitCase{"QuotedBlanks", R"("a b" c)", {"a b", "c"}},
        SplitCase{"QuotesInsideAWord", R"(a"b c"d)", {"ab cd"}},
        SplitCase{"QuoteTogglesEachTime", R"("a"b"c d")", {"abc d"}},
        SplitCase{"EmptyQuotedArgument", R"("")", {""}},
        SplitCase{"EmptyQuotedArgumentBetween", R"(a "" b)", {"a", "", "b"}},
        SplitCase{"OneBackslashQuote", R"(a\"b)", {R"(a"b)"}},
        SplitCase{"ThreeBackslashesQuote", R"(a\\\"b)", {R"(a\"b)"}},
        SplitCase{"TwoBackslashesQuote", R"(a\\"b c")", {R"(a\b c)"}},
        SplitCase{"FourBackslashesQuote", R"(a\\\\"b c")", {R"(a\\b c)"}},
        SplitCase{"BackslashesBeforeClosingQuote", R"("a\\" b)", {R"(a\)", "b"}},
        SplitCase{"TrailingBackslashes", R"(a\\ b\)", {R"(a\\)", R"(b\)"}},
        SplitCase{
            "BackslashNotBeforeQuote", R"(C:\Program Files\x)", {R"(C:\Program)", R"(Files\x)"}},
        SplitCase{"UnterminatedQuote", R"(a "b c)", {"a", "b c"}},
        SplitCase{"EscapedQuoteLeavesQuoteOpen", R"("C:\dir\")", {R"(C:\dir")"}},
        SplitCase{"NoExpansion", "$HOME ~ *.txt 'a b'", {"$HOME", "~", "*.txt", "'a", "b'"}},
        SplitCase{"NewlineIsNoBlank", "a\nb", {"a\nb"}}));

// ---------------------------------------------------------------- Spawn

struct ExitCase
{
    const char* name; // of the test case
    std::vector<std::string> argv;
    int exitStatus;
};

class SpawnExitTest : public ::testing::TestWithParam<ExitCase>
{};

TEST_P(SpawnExitTest, ReportsTheExitStatus)
{
    auto child = ospreon::os::Spawn(GetParam().argv);
    ASSERT_TRUE(child.ok()) << child.error().message;
    int status = child->Wait();
    ASSERT_TRUE(WIFEXITED(status)) << "wait status " << status;
    EXPECT_EQ(WEXITSTATUS(status), GetParam().exitStatus);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SpawnExitTest,
    ::testing::Values(ExitCase{"Success", {"true"}, 0},
                      ExitCase{"ExitStatus", {"sh", "-c", "exit 3"}, 3},
                      // No shell reads the argument: it reaches the program verbatim.
                      ExitCase{"ArgumentsVerbatim",
                               {"sh", "-c", R"(test "$1" = '$HOME "x" *')", "sh", R"($HOME "x" *)"},
                               0},
                      // stdin is /dev/null, whatever the test's own stdin is.
                      ExitCase{"StdinIsDevNull",
                               {"sh", "-c", R"sh(test "$(readlink /proc/$$/fd/0)" = /dev/null)sh"},
                               0}));

TEST(Spawn, FailsNamingTheProgram)
{
    auto missing = ospreon::os::Spawn({"ospreon-no-such-program", "x"});
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.error().code, ENOENT);
    EXPECT_THAT(missing.error().message, HasSubstr("ospreon-no-such-program"));

    auto empty = ospreon::os::Spawn({});
    ASSERT_FALSE(empty.ok());
    EXPECT_EQ(empty.error().code, EINVAL);
}

TEST(Spawn, RunsInASessionOfItsOwn)
{
    auto child = ospreon::os::Spawn({"sleep", "5"});
    ASSERT_TRUE(child.ok()) << child.error().message;
    EXPECT_EQ(::getsid(child->pid()), child->pid());
    EXPECT_NE(::getsid(child->pid()), ::getsid(0));
    ::kill(child->pid(), SIGKILL);
    EXPECT_TRUE(WIFSIGNALED(child->Wait()));
}

// The child must not inherit what the starting thread did to its signals: an
// ignored SIGPIPE (usual in a program that writes sockets) or a blocked signal.
TEST(Spawn, ResetsSignalsToTheirDefaults)
{
    struct sigaction ignore = {};
    struct sigaction previousAction = {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGPIPE, &ignore, &previousAction);
    sigset_t blocked;
    sigset_t previousMask;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGUSR1);
    ::pthread_sigmask(SIG_BLOCK, &blocked, &previousMask);

    auto pipeChild = ospreon::os::Spawn({"sh", "-c", "kill -PIPE $$; exit 0"});
    auto usrChild = ospreon::os::Spawn({"sh", "-c", "kill -USR1 $$; exit 0"});

    ::pthread_sigmask(SIG_SETMASK, &previousMask, nullptr);
    ::sigaction(SIGPIPE, &previousAction, nullptr);

    ASSERT_TRUE(pipeChild.ok() && usrChild.ok());
    int pipeStatus = pipeChild->Wait();
    int usrStatus = usrChild->Wait();
    ASSERT_TRUE(WIFSIGNALED(pipeStatus)) << "SIGPIPE stayed ignored";
    EXPECT_EQ(WTERMSIG(pipeStatus), SIGPIPE);
    ASSERT_TRUE(WIFSIGNALED(usrStatus)) << "SIGUSR1 stayed blocked";
    EXPECT_EQ(WTERMSIG(usrStatus), SIGUSR1);
}

TEST(Spawn, DoesNotPassOurDescriptors)
{
    TempDir dir;
    int fd = ::open((dir.path() / "held").c_str(), O_RDWR | O_CREAT, 0600); // no O_CLOEXEC
    ASSERT_GE(fd, 0);
    auto child = ospreon::os::Spawn({"sh", "-c", "test ! -e /proc/$$/fd/" + std::to_string(fd)});
    ::close(fd);
    ASSERT_TRUE(child.ok()) << child.error().message;
    int status = child->Wait();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "descriptor leaked";
}

TEST(ChildProcess, KeepsTheStatusAndMovesIt)
{
    auto started = ospreon::os::Spawn({"sh", "-c", "exit 7"});
    ASSERT_TRUE(started.ok());
    ChildProcess child(std::move(*started));
    EXPECT_EQ(started->pid(), -1);
    ASSERT_GT(child.pid(), 0);

    int status = child.Wait();
    EXPECT_EQ(WEXITSTATUS(status), 7);
    // Collected once; asking again must not wait for a pid that may be reused.
    EXPECT_EQ(child.Wait(), status);
    EXPECT_EQ(child.WaitFor(0ms), status);

    ChildProcess moved(-1);
    moved = std::move(child);
    EXPECT_EQ(child.pid(), -1);
    EXPECT_EQ(moved.WaitFor(0ms), status);
}

// True once `pid` is no longer our `command` child: collected, so /proc has no
// entry for it any more (or the number went to another program). A zombie keeps
// its entry and its name.
bool IsCollected(pid_t pid, const std::string& command)
{
    std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
    return stat.find("(" + command + ")") == std::string::npos;
}

TEST(ChildProcess, LeftChildIsReapedInTheBackground)
{
    pid_t pid = -1;
    {
        auto child = ospreon::os::Spawn({"sleep", "0.2"});
        ASSERT_TRUE(child.ok()) << child.error().message;
        pid = child->pid();
        EXPECT_EQ(child->WaitFor(50ms), std::nullopt);
    }
    EXPECT_TRUE(Eventually([pid] { return IsCollected(pid, "sleep"); }))
        << "child " << pid << " left a zombie";
}

// ---------------------------------------------------------------- Sound

class SoundTest : public ::testing::Test
{
protected:
    // A player that records its arguments, one a line, in `recorded`.
    std::string RecordingPlayer(const std::string& extra = "")
    {
        fs::path script = dir.path() / "player";
        WriteScript(script, "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" +
                                recorded.string() + "'\n" + extra);
        return script.string();
    }

    TempDir dir;
    fs::path recorded = dir.path() / "recorded";
    ScopedEnv player{"OSPREON_SOUND_PLAYER", std::nullopt};
};

TEST_F(SoundTest, OverrideGetsTheFileAsItsLastArgument)
{
    player.Set("\"" + RecordingPlayer() + "\" --volume \"two words\"");
    // Blanks, quotes and a $ reach the player as they are: there is no shell.
    const std::string sound = (dir.path() / "bell $HOME 'x'.wav").string();

    auto played = ospreon::os::PlaySoundFile(sound, SoundWait::ToEnd);

    ASSERT_TRUE(played.ok()) << played.error().message;
    EXPECT_THAT(ReadLines(recorded), ElementsAre("--volume", "two words", sound));
}

TEST_F(SoundTest, FailingPlayerIsAnErrorWhenWaiting)
{
    const std::string script = RecordingPlayer("exit 1");
    player.Set(script);

    auto played = ospreon::os::PlaySoundFile("ding.wav", SoundWait::ToEnd);

    ASSERT_FALSE(played.ok());
    EXPECT_THAT(played.error().message, HasSubstr(script));
    EXPECT_THAT(played.error().message, HasSubstr("exit status 1"));
}

TEST_F(SoundTest, MissingOverrideIsAnError)
{
    player.Set((dir.path() / "no-player").string());
    auto played = ospreon::os::PlaySoundFile("ding.wav", SoundWait::NoWait);
    ASSERT_FALSE(played.ok());
    EXPECT_EQ(played.error().code, ENOENT);
    EXPECT_THAT(played.error().message, HasSubstr("no-player"));
}

TEST_F(SoundTest, NoWaitReturnsWhileThePlayerRuns)
{
    const fs::path finished = dir.path() / "finished";
    player.Set(RecordingPlayer("sleep 0.3; : > '" + finished.string() + "'"));

    auto played = ospreon::os::PlaySoundFile("ding.wav", SoundWait::NoWait);

    ASSERT_TRUE(played.ok()) << played.error().message;
    EXPECT_FALSE(fs::exists(finished)) << "returned only after the player ended";
    EXPECT_TRUE(Eventually([&] { return fs::exists(finished); })) << "the player never ran";
}

struct PlayerSearchCase
{
    const char* name;                     // of the test case
    std::vector<std::string> executables; // placed in PATH
    std::vector<std::string> notExecutable;
    std::vector<std::string> recorded; // the chosen player's name, then its arguments
};

class PlayerSearchTest : public SoundTest, public ::testing::WithParamInterface<PlayerSearchCase>
{};

TEST_P(PlayerSearchTest, TakesTheFirstPlayerInOrder)
{
    TempDir bin;
    ScopedEnv path("PATH", bin.path().string());
    const std::string record = "{ printf '%s\\n' \"${0##*/}\"; for a in \"$@\"; do printf "
                               "'%s\\n' \"$a\"; done; } > '" +
                               recorded.string() + "'";
    for (const std::string& name : GetParam().executables)
        WriteScript(bin.path() / name, record);
    for (const std::string& name : GetParam().notExecutable)
        WriteFile(bin.path() / name, "#!/bin/sh\n" + record + "\n");

    auto played = ospreon::os::PlaySoundFile("ding.wav", SoundWait::ToEnd);

    ASSERT_TRUE(played.ok()) << played.error().message;
    EXPECT_EQ(ReadLines(recorded), GetParam().recorded);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PlayerSearchTest,
    ::testing::Values(
        PlayerSearchCase{
            "PaplayFirst", {"ffplay", "aplay", "pw-play", "paplay"}, {}, {"paplay", "ding.wav"}},
        PlayerSearchCase{"SkipsNonExecutable",
                         {"ffplay", "aplay", "pw-play"},
                         {"paplay"},
                         {"pw-play", "ding.wav"}},
        PlayerSearchCase{"Aplay", {"ffplay", "aplay"}, {}, {"aplay", "ding.wav"}},
        PlayerSearchCase{"FfplayWithOptions",
                         {"ffplay"},
                         {},
                         {"ffplay", "-nodisp", "-autoexit", "-loglevel", "quiet", "ding.wav"}}));

TEST_F(SoundTest, NoPlayerAtAllIsAClearError)
{
    TempDir emptyBin;
    ScopedEnv path("PATH", emptyBin.path().string());

    auto played = ospreon::os::PlaySoundFile("ding.wav", SoundWait::ToEnd);

    ASSERT_FALSE(played.ok());
    EXPECT_EQ(played.error().message,
              "no sound player found (paplay, pw-play, aplay, ffplay); set OSPREON_SOUND_PLAYER");
}

// ---------------------------------------------------------------- Named lock

class NamedLockTest : public ::testing::Test
{
protected:
    // What Acquire gives in another process: 0 taken, 1 ETIMEDOUT, 2 other error.
    static int AcquireInChild(const char* name)
    {
        pid_t pid = ::fork();
        if (pid == 0) {
            auto lock = NamedLock::Acquire(name, 100ms);
            ::_exit(lock.ok() ? 0 : lock.error().code == ETIMEDOUT ? 1 : 2);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    ospreon::test::TempHome home;
    TempDir runtime;
    ScopedEnv runtimeVariable{"XDG_RUNTIME_DIR", runtime.path().string()};
};

TEST_F(NamedLockTest, ExcludesOtherProcessesUntilReleased)
{
    std::optional<NamedLock> held;
    {
        auto acquired = NamedLock::Acquire("LogFileMetux", 0ms);
        ASSERT_TRUE(acquired.ok()) << acquired.error().message;
        held.emplace(std::move(*acquired));
        // The moved-from lock, destroyed here, must not release it.
    }
    EXPECT_EQ(AcquireInChild("LogFileMetux"), 1);
    EXPECT_EQ(AcquireInChild("OtherLock"), 0);

    held.reset();
    EXPECT_EQ(AcquireInChild("LogFileMetux"), 0);
}

TEST_F(NamedLockTest, TimesOutInTheSameProcessToo)
{
    auto first = NamedLock::Acquire("LogFileMetux", 0ms);
    ASSERT_TRUE(first.ok()) << first.error().message;
    auto second = NamedLock::Acquire("LogFileMetux", 20ms);
    ASSERT_FALSE(second.ok());
    EXPECT_EQ(second.error().code, ETIMEDOUT);
    EXPECT_THAT(second.error().message, HasSubstr("LogFileMetux"));
}

struct LockPlaceCase
{
    const char* name;       // of the test case
    const char* runtimeDir; // "<runtime>" for the test's folder, nullptr for unset
    bool inRuntimeDir;
};

class LockPlaceTest : public NamedLockTest, public ::testing::WithParamInterface<LockPlaceCase>
{};

TEST_P(LockPlaceTest, LockFileLivesInTheRuntimeFolderElseInHomeRun)
{
    std::optional<std::string> value;
    if (GetParam().runtimeDir)
        value = std::string(GetParam().runtimeDir) == "<runtime>" ? runtime.path().string()
                                                                  : GetParam().runtimeDir;
    runtimeVariable.Set(value);

    auto lock = NamedLock::Acquire("LogFileMetux", 0ms);

    ASSERT_TRUE(lock.ok()) << lock.error().message;
    const fs::path expected =
        (GetParam().inRuntimeDir ? runtime.path() : ospreon::os::Home() / "run") /
        "LogFileMetux.lock";
    EXPECT_TRUE(fs::exists(expected)) << expected;
    EXPECT_EQ(fs::status(expected).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LockPlaceTest,
    ::testing::Values(LockPlaceCase{"RuntimeFolder", "<runtime>", true},
                      LockPlaceCase{"Unset", nullptr, false}, LockPlaceCase{"Empty", "", false},
                      LockPlaceCase{"Missing", "/nonexistent/ospreon-runtime", false}));

TEST_F(NamedLockTest, RejectsNamesThatAreNotPlainFileNames)
{
    for (std::string_view name : {std::string_view("a/b"), std::string_view("/abs"),
                                  std::string_view(""), std::string_view("a\0b", 3)}) {
        auto lock = NamedLock::Acquire(name, 0ms);
        ASSERT_FALSE(lock.ok()) << "name " << name;
        EXPECT_EQ(lock.error().code, EINVAL) << "name " << name;
    }
}

TEST_F(NamedLockTest, UnwritableFolderIsAnErrorNamingTheFile)
{
    runtimeVariable.Set(std::nullopt);
    WriteFile(home.path() / "run", "a file where the folder should be");

    auto lock = NamedLock::Acquire("LogFileMetux", 0ms);

    ASSERT_FALSE(lock.ok());
    EXPECT_EQ(lock.error().code, ENOTDIR);
    EXPECT_THAT(lock.error().message, HasSubstr("LogFileMetux.lock"));
}

// ---------------------------------------------------------------- Services

// The units the manager stub serves, one a line: name, description, load, active, sub,
// and "unloaded" for one it does not list.
std::string Units(const std::vector<std::vector<std::string>>& units)
{
    std::string text;
    for (const auto& unit : units) {
        for (std::size_t i = 0; i < unit.size(); ++i)
            text += (i ? "\t" : "") + unit[i];
        text += '\n';
    }
    return text;
}

MATCHER_P3(Service, name, displayName, running, "")
{
    return arg.name == name && arg.displayName == displayName && arg.running == running;
}

class ServicesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (ospreon::test::FindDbusDaemon().empty())
            GTEST_SKIP() << "dbus-daemon is not installed; cannot start a private system bus";
        bus.emplace();
    }

    void StartManager()
    {
        bus->StartService({(ospreon::test::BuildDir() / "bin/systemd_manager_stub").string(),
                           unitsFile.string()});
    }

    TempDir dir;
    fs::path unitsFile = dir.path() / "units";
    std::optional<ospreon::test::PrivateBus> bus;
};

TEST_F(ServicesTest, ListsServiceUnitsFromTheManager)
{
    WriteFile(
        unitsFile,
        Units({{"cron.service", "Regular background program processing daemon", "loaded", "active",
                "running"},
               {"wardenhost-paused.service", "Monitor host (reloading)", "loaded", "active",
                "reload"},
               {"sshd.service", "OpenBSD Secure Shell server", "loaded", "activating", "start-pre"},
               {"foo.socket", "Foo activation socket", "loaded", "active", "running"},
               {"multi-user.target", "Multi-User System", "loaded", "active", "active"},
               {"grüße.service", "Überwachung für Grüße – ✓ läuft", "loaded", "active", "running"},
               // No unit file, only a reference to it: no service.
               {"old.service", "Stopped service", "not-found", "inactive", "dead"}}));
    StartManager();

    auto services = ospreon::os::ListServices();

    ASSERT_TRUE(services.ok()) << services.error().message;
    EXPECT_THAT(*services,
                ElementsAre(Service("cron", "Regular background program processing daemon", true),
                            Service("wardenhost-paused", "Monitor host (reloading)", false),
                            Service("sshd", "OpenBSD Secure Shell server", false),
                            Service("grüße", "Überwachung für Grüße – ✓ läuft", true)));

    // The manager is asked again on every call.
    WriteFile(unitsFile, Units({{"cron.service", "Cron", "loaded", "inactive", "dead"},
                                {"new.service", "New", "loaded", "active", "running"}}));
    services = ospreon::os::ListServices();
    ASSERT_TRUE(services.ok()) << services.error().message;
    EXPECT_THAT(*services,
                ElementsAre(Service("cron", "Cron", false), Service("new", "New", true)));
}

TEST_F(ServicesTest, FindsServicesTheManagerDoesNotList)
{
    WriteFile(unitsFile,
              Units({{"cron.service", "Cron", "loaded", "active", "running"},
                     {"backup.service", "Nightly backup", "loaded", "inactive", "dead", "unloaded"},
                     {"late.service", "Late starter", "loaded", "active", "running", "unloaded"},
                     {"ghost.service", "Ghost", "not-found", "inactive", "dead", "unloaded"}}));
    StartManager();
    auto manager = ospreon::os::ServiceManager::Open();
    ASSERT_TRUE(manager.ok()) << manager.error().message;

    struct Case
    {
        const char* name;
        std::optional<ServiceInfo> service;
    };
    const Case cases[] = {
        {"backup", ServiceInfo{"backup", "Nightly backup", false}},
        {"late", ServiceInfo{"late", "Late starter", true}},
        {"cron", ServiceInfo{"cron", "Cron", true}},
        {"ghost", std::nullopt},          // no unit file
        {"nothing", std::nullopt},        // unknown to the manager
        {"backup.service", std::nullopt}, // "backup.service.service"
        {"no such", std::nullopt},        // no unit name: the manager refuses it
        {"bad\xff", std::nullopt},        // not UTF-8: never sent
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto found = manager->FindService(c.name);
        ASSERT_TRUE(found.ok()) << found.error().message;
        ASSERT_EQ(found->has_value(), c.service.has_value());
        if (c.service) {
            EXPECT_THAT(**found,
                        Service(c.service->name, c.service->displayName, c.service->running));
        }
    }
}

TEST_F(ServicesTest, BusWithoutManagerIsAnError)
{
    auto services = ospreon::os::ListServices();

    ASSERT_FALSE(services.ok());
    EXPECT_GT(services.error().code, 0);
    EXPECT_THAT(services.error().message, HasSubstr("ListUnits"));
    EXPECT_THAT(services.error().message, HasSubstr(bus->address()));

    auto manager = ospreon::os::ServiceManager::Open();
    ASSERT_TRUE(manager.ok()) << manager.error().message;
    auto found = manager->FindService("cron");
    ASSERT_FALSE(found.ok());
    EXPECT_GT(found.error().code, 0);
    EXPECT_THAT(found.error().message, HasSubstr("LoadUnit of cron.service"));
}

TEST(Services, NoBusIsAnErrorWithoutHanging)
{
    TempDir dir;
    const std::string address = "unix:path=" + (dir.path() / "nothing").string();
    ScopedEnv variable("DBUS_SYSTEM_BUS_ADDRESS", address);

    const auto start = std::chrono::steady_clock::now();
    auto services = ospreon::os::ListServices();
    const auto elapsed = std::chrono::steady_clock::now() - start;

    ASSERT_FALSE(services.ok());
    EXPECT_GT(services.error().code, 0);
    EXPECT_THAT(services.error().message, HasSubstr("system bus"));
    EXPECT_THAT(services.error().message, HasSubstr(address));
    // A hang guard, not a speed check: nothing listens, so the 10 s call timeout
    // must not be what ends the call.
    EXPECT_LT(elapsed, 8s);
}

TEST(Services, RealSystemManagerAnswers)
{
    ScopedEnv variable("DBUS_SYSTEM_BUS_ADDRESS", std::nullopt);
    auto services = ospreon::os::ListServices();
    if (!services.ok())
        GTEST_SKIP() << "no system bus with systemd's manager: " << services.error().message;

    EXPECT_FALSE(services->empty());
    for (const ServiceInfo& service : *services) {
        EXPECT_FALSE(service.name.empty());
        EXPECT_THAT(service.name, ::testing::Not(::testing::EndsWith(".service")));
    }
}

} // namespace
