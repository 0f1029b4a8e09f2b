// Alert, unknown notification modes, and LastAlertError kept per thread.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <thread>

#include "alertlib/alertlib.h"
#include "tests/alertlib/alertlib_test_util.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_home.h"

namespace {

namespace fs = std::filesystem;
using ospreon::alert::test::ReadLines;
using ospreon::alert::test::WaitUntil;
using ospreon::alert::test::WriteScript;
using ospreon::test::ScopedEnv;
using ospreon::test::TempDir;
using ospreon::test::TempHome;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

class AlertTest : public ::testing::Test
{
protected:
    TempHome m_home;
    TempDir m_dir;
};

TEST_F(AlertTest, SoundIsHandedToThePlayer)
{
    const fs::path player = m_dir.path() / "player.sh";
    const fs::path played = m_dir.path() / "played";
    WriteScript(player, "printf '%s\\n' \"$@\" > '" + played.string() + ".tmp' && mv '" +
                            played.string() + ".tmp' '" + played.string() + "'");
    ScopedEnv env("OSPREON_SOUND_PLAYER", "\"" + player.string() + "\" --quiet");

    EXPECT_NE(Alert("/sounds/alarm one.wav"), 0) << LastAlertError();
    ASSERT_TRUE(WaitUntil([&] { return fs::exists(played); }));
    EXPECT_THAT(ReadLines(played), ElementsAre("--quiet", "/sounds/alarm one.wav"));
}

TEST_F(AlertTest, NoFileOrNoPlayerFails)
{
    EXPECT_EQ(Alert(nullptr), 0);
    EXPECT_EQ(Alert(""), 0);
    EXPECT_STREQ(LastAlertError(), "no sound file given");

    ScopedEnv env("OSPREON_SOUND_PLAYER", (m_dir.path() / "no-player").string());
    EXPECT_EQ(Alert("/sounds/alarm.wav"), 0);
    EXPECT_THAT(LastAlertError(), HasSubstr("no-player"));
}

TEST_F(AlertTest, UnknownModesFail)
{
    struct Case
    {
        const char* mode;
        const char* reason;
    };
    const Case cases[] = {
        {"FAX://123", "unknown notification mode: FAX://123"},
        {"SMTP:/mail;a@b", "unknown notification mode: SMTP:/mail;a@b"},
        {"ftp://host/%s", "unknown notification mode: ftp://host/%s"},
        {"", "unknown notification mode: "},
        {nullptr, "unknown notification mode: (none)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason);
        EXPECT_EQ(SendNotify(c.mode, "r", "m"), 0);
        EXPECT_STREQ(LastAlertError(), c.reason);
    }
}

TEST_F(AlertTest, LastErrorIsPerThreadAndClearedByTheNextCall)
{
    EXPECT_EQ(SendNotify("FAX://1", "r", "m"), 0);
    const std::string mine = LastAlertError();
    ASSERT_FALSE(mine.empty());

    std::string otherAtStart = "unset";
    std::string otherAfterFailure;
    std::thread([&] {
        otherAtStart = LastAlertError();
        EXPECT_EQ(ExecCmd(nullptr), 0);
        otherAfterFailure = LastAlertError();
    }).join();
    EXPECT_EQ(otherAtStart, "");
    EXPECT_EQ(otherAfterFailure, "no command given");
    EXPECT_EQ(LastAlertError(), mine);

    EXPECT_GT(ExecCmd("exit 0"), 0);
    EXPECT_STREQ(LastAlertError(), "");
}

} // namespace
