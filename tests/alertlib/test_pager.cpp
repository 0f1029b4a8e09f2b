// SendNotify with "TEL://": each "number|message" entry through the configured
// pager gateway, number and text passed as arguments of their own.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "alertlib/alertlib.h"
#include "platform/os/host.h"
#include "tests/alertlib/alertlib_test_util.h"
#include "tests/support/temp_home.h"

namespace {

namespace fs = std::filesystem;
using ospreon::alert::test::ReadLines;
using ospreon::alert::test::SetMachineString;
using ospreon::alert::test::WriteScript;
using ospreon::test::TempDir;
using ospreon::test::TempHome;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

constexpr char kAlertlibKey[] = "SOFTWARE\\Brackwater\\RELAYMOOR\\Alertlib";

using Call = std::vector<std::string>;

class PagerTest : public ::testing::Test
{
protected:
    PagerTest()
    {
        // The gateway logs each call as "call" and then one argument per line; its
        // first argument, from the configured command line, is its exit status.
        WriteScript(m_gateway,
                    "status=\"$1\"; shift\n"
                    "{ echo call; for a in \"$@\"; do printf '%s\\n' \"$a\"; done; } >> '" +
                        m_log.string() + "'\nexit \"$status\"");
    }

    // Configures the gateway to end with `status`.
    void Configure(int status)
    {
        SetMachineString(kAlertlibKey, "PagerCommand",
                         "\"" + m_gateway.string() + "\" " + std::to_string(status));
    }

    // The calls the gateway logged, each as its arguments after the status.
    std::vector<Call> Calls() const
    {
        std::vector<Call> calls;
        for (const std::string& line : ReadLines(m_log)) {
            if (line == "call")
                calls.emplace_back();
            else if (!calls.empty())
                calls.back().push_back(line);
        }
        return calls;
    }

    TempHome m_home;
    TempDir m_dir;
    fs::path m_gateway = m_dir.path() / "pager gateway.sh";
    fs::path m_log = m_dir.path() / "calls.log";
};

TEST_F(PagerTest, EachEntryIsOneCallWithNumberAndMessage)
{
    Configure(0);
    ASSERT_EQ(SendNotify("TEL://", "111|first msg;222", "the message"), 1) << LastAlertError();
    EXPECT_STREQ(LastAlertError(), "");
    EXPECT_THAT(Calls(), ElementsAre(Call{"111", "first msg"}, Call{"222", "the message"}));
}

TEST_F(PagerTest, EntriesAreTrimmedAndEmptyOnesDropped)
{
    Configure(0);
    ASSERT_EQ(SendNotify("tel://", " 111 | spaced ; ;333|", "fallback"), 1) << LastAlertError();
    EXPECT_THAT(Calls(), ElementsAre(Call{"111", " spaced"}, Call{"333", "fallback"}));
}

TEST_F(PagerTest, BareNumberWithoutMessageNamesTheHost)
{
    Configure(0);
    const std::string expected = "Ospreon alert from " + ospreon::os::LocalHostName();
    ASSERT_EQ(SendNotify("TEL://", "444", nullptr), 1) << LastAlertError();
    ASSERT_EQ(SendNotify("TEL://", "555", ""), 1) << LastAlertError();
    EXPECT_THAT(Calls(), ElementsAre(Call{"444", expected}, Call{"555", expected}));
}

TEST_F(PagerTest, MessageArrivesUnchangedAndUnexecuted)
{
    Configure(0);
    const fs::path marker = m_dir.path() / "marker";
    const std::string message = "it's \"quoted\"; rm -f nothing; $(touch '" + marker.string() +
                                "') `touch '" + marker.string() + "'` \\\" | &";
    ASSERT_EQ(SendNotify("TEL://", "666", message.c_str()), 1) << LastAlertError();
    EXPECT_THAT(Calls(), ElementsAre(Call{"666", message}));
    EXPECT_FALSE(fs::exists(marker));
}

TEST_F(PagerTest, FailingGatewayFailsAfterTryingEveryEntry)
{
    Configure(1);
    EXPECT_EQ(SendNotify("TEL://", "111;222", "msg"), 0);
    EXPECT_THAT(LastAlertError(), HasSubstr("111"));
    EXPECT_THAT(LastAlertError(), HasSubstr("exit status 1"));
    EXPECT_THAT(Calls(), ElementsAre(Call{"111", "msg"}, Call{"222", "msg"}));
}

TEST_F(PagerTest, MissingConfigurationOrNumbersFail)
{
    EXPECT_EQ(SendNotify("TEL://", "111", "msg"), 0);
    EXPECT_STREQ(LastAlertError(),
                 "no pager gateway configured "
                 "(HKLM\\SOFTWARE\\Brackwater\\RELAYMOOR\\Alertlib\\PagerCommand)");

    SetMachineString(kAlertlibKey, "PagerCommand", "  ");
    EXPECT_EQ(SendNotify("TEL://", "111", "msg"), 0);
    EXPECT_THAT(LastAlertError(), HasSubstr("no pager gateway configured"));

    SetMachineString(kAlertlibKey, "PagerCommand",
                     "\"" + (m_dir.path() / "missing").string() + "\"");
    EXPECT_EQ(SendNotify("TEL://", "111", "msg"), 0);
    EXPECT_THAT(LastAlertError(), HasSubstr("missing"));

    Configure(0);
    for (const char* recipients : {"", " ; ", static_cast<const char*>(nullptr)}) {
        EXPECT_EQ(SendNotify("TEL://", recipients, "msg"), 0);
        EXPECT_THAT(LastAlertError(), HasSubstr("no pager number"));
    }
    EXPECT_EQ(SendNotify("TEL://", "|text only;777", "msg"), 0);
    EXPECT_THAT(LastAlertError(), HasSubstr("no number"));
    EXPECT_THAT(Calls(), ElementsAre(Call{"777", "msg"}));
}

} // namespace
