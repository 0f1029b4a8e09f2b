// ExecCmd: shell command lines run as written; within 200 ms a command that could
// not be run reads as 0, anything else as its process id, and no zombie is left.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include "alertlib/alertlib.h"
#include "tests/alertlib/alertlib_test_util.h"
#include "tests/support/temp_home.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using ospreon::alert::test::ReadFile;
using ospreon::alert::test::WaitUntil;
using ospreon::test::TempDir;
using ospreon::test::TempHome;
using ::testing::HasSubstr;

class ExecCmdTest : public ::testing::Test
{
protected:
    TempHome m_home;
    TempDir m_dir;
};

struct FailureCase
{
    const char* command;
    const char* reason; // part of LastAlertError()
};

TEST_F(ExecCmdTest, CommandsThatCannotRunGiveZeroAndTheReason)
{
    const fs::path notExecutable = m_dir.path() / "plain.txt";
    std::ofstream(notExecutable) << "echo never\n";
    const std::string notExecutableCommand = notExecutable.string();

    const FailureCase cases[] = {
        {"ospreon-no-such-command --flag", "command not found: ospreon-no-such-command --flag"},
        {notExecutableCommand.c_str(), "command not executable: "},
        {"kill -9 $$", "killed by signal 9"},
        {"kill -TERM $$", "killed by signal 15"},
        {"", "no command given"},
        {nullptr, "no command given"},
    };
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.command ? c.command : "(null)");
        EXPECT_EQ(ExecCmd(c.command), 0);
        EXPECT_THAT(LastAlertError(), HasSubstr(c.reason));
    }
}

TEST_F(ExecCmdTest, CommandsThatRanGiveTheirProcessId)
{
    for (const char* command : {"exit 0", "exit 1", "exit 3", "true"}) {
        SCOPED_TRACE(command);
        EXPECT_GT(ExecCmd(command), 0);
        EXPECT_STREQ(LastAlertError(), "");
    }
}

TEST_F(ExecCmdTest, LongCommandReturnsEarlyAndIsReapedWhenItEnds)
{
    const auto start = std::chrono::steady_clock::now();
    const int pid = ExecCmd("sleep 1");
    const auto elapsed = std::chrono::steady_clock::now() - start;
    ASSERT_GT(pid, 0) << LastAlertError();
    EXPECT_LT(elapsed, 1s);

    // Still running right after the call, and gone from /proc, not left a zombie,
    // once it has ended.
    const fs::path stat = "/proc/" + std::to_string(pid) + "/stat";
    EXPECT_TRUE(fs::exists(stat));
    EXPECT_TRUE(WaitUntil([&] { return !fs::exists(stat); }, 5s))
        << "process " << pid << " still listed: " << ReadFile(stat);
}

TEST_F(ExecCmdTest, ShellRunsTheCommandLineAsWritten)
{
    // Quotes, an escaped blank, a command substitution and ";" between commands, the
    // result moved into place at the end so the test sees it whole.
    const fs::path out = m_dir.path() / "out.txt";
    const std::string command = "cd '" + m_dir.path().string() +
                                "' && printf '%s|' \"it's \\\"quoted\\\"; kept\" one\\ two "
                                "$(echo sub) > out.tmp; mv out.tmp out.txt";
    ASSERT_GT(ExecCmd(command.c_str()), 0) << LastAlertError();
    ASSERT_TRUE(WaitUntil([&] { return fs::exists(out); }));
    EXPECT_EQ(ReadFile(out), "it's \"quoted\"; kept|one two|sub|");
}

} // namespace
