// wardenctl's command line and the commands that need no service objects: usage
// errors exit 2 with one line, an unprepared home exits 3 pointing at setup, and the
// registry commands read and write the registry stand-in.

#include <gtest/gtest.h>

#include "platform/registry/registry.h"
#include "tests/service/ctl/ctl_fixture.h"

namespace ospreon::test {
namespace {

constexpr char kNotRegistered[] =
    "wardenctl: cannot create the user store: 0x80040154 class not registered "
    "(run `wardenctl setup`)\n";

TEST(CtlUsage, BadUsageExitsTwoWithOneLine)
{
    TempHome home;
    RunSteps({
        {{}, 2, "", "wardenctl: A subcommand is required (see `wardenctl --help`)\n"},
        {{"frobnicate"},
         2,
         "",
         "wardenctl: unknown command \"frobnicate\" (see `wardenctl --help`)\n"},
        {{"config", "frobnicate", "x"},
         2,
         "",
         "wardenctl: unknown command \"frobnicate\" (see `wardenctl --help`)\n"},
        {{"registry"}, 2, "", "wardenctl: A subcommand is required (see `wardenctl --help`)\n"},
        {{"--bogus"}, 2, "", "wardenctl: unknown option \"--bogus\" (see `wardenctl --help`)\n"},
        {{"--bogus", "list"},
         2,
         "",
         "wardenctl: unknown option \"--bogus\" (see `wardenctl --help`)\n"},
        {{"list", "--bogus"},
         2,
         "",
         "wardenctl: unknown option \"--bogus\" (see `wardenctl --help`)\n"},
        {{"config", "-x", "get", "LogFile"},
         2,
         "",
         "wardenctl: unknown option \"-x\" (see `wardenctl --help`)\n"},
        // Arguments are UTF-8 text; other bytes are refused before anything is done.
        {{"add", "Testwarden", "bad\xffname"}, 2, "", "wardenctl: argument 3 is not valid UTF-8\n"},
        {{"set", "Testwarden of x", "key", "\xc3("},
         2,
         "",
         "wardenctl: argument 4 is not valid UTF-8\n"},
        {{"get", "Testwarden of x"},
         2,
         "",
         "wardenctl: KEY is required (see `wardenctl --help`)\n"},
        {{"get", "a", "b", "c"},
         2,
         "",
         "wardenctl: The following argument was not expected: c (see `wardenctl --help`)\n"},
        {{"start"}, 2, "", "wardenctl: RECORD is required (see `wardenctl --help`)\n"},
        {{"registry", "query", "HKEY_USERS\\x"},
         2,
         "",
         "wardenctl: the registry key \"HKEY_USERS\\x\" does not start with HKEY_CLASSES_ROOT, "
         "HKEY_LOCAL_MACHINE, HKCR or HKLM\n"},
        {{"registry", "set", "HKLM\\a\\\\b", "v", "d"},
         2,
         "",
         "wardenctl: invalid registry key path \"HKLM\\a\\\\b\"\n"},
    });
}

TEST(CtlUsage, HelpExitsZero)
{
    TempHome home;
    const CtlRun top = RunCtl({"--help"});
    EXPECT_EQ(top.status, 0);
    EXPECT_EQ(top.err, "");
    EXPECT_NE(top.out.find("Usage: wardenctl [OPTIONS] SUBCOMMAND"), std::string::npos) << top.out;
    const CtlRun sub = RunCtl({"registry", "query", "--help"});
    EXPECT_EQ(sub.status, 0);
    EXPECT_NE(sub.out.find("Usage: wardenctl registry query [OPTIONS] KEY [VALUE]"),
              std::string::npos)
        << sub.out;
}

// Before setup no service class is registered: every command that needs one says
// so and exits 3.
TEST(CtlUsage, UnpreparedHomeIsUnavailable)
{
    TempHome home;
    RunSteps({
        {{"list"}, 3, "", kNotRegistered},
        {{"show", "Testwarden of x"}, 3, "", kNotRegistered},
        {{"start", "Testwarden of x"}, 3, "", kNotRegistered},
        {{"types"},
         3,
         "",
         "wardenctl: cannot create the plug-in catalogue: 0x80040154 class not registered "
         "(run `wardenctl setup`)\n"},
        {{"config", "get", "LogFile"},
         3,
         "",
         "wardenctl: cannot create the configuration store: 0x80040154 class not registered "
         "(run `wardenctl setup`)\n"},
        {{"status"}, 3, "store: {home}/wardenhost.db\ndaemon: not running\n", kNotRegistered},
        {{"unregister", "Testwarden"},
         2,
         "",
         "wardenctl: no plug-in monitor type named \"Testwarden\" is registered\n"},
    });
}

TEST(CtlRegistry, SetAndQuery)
{
    TempHome home;
    RunSteps({
        {{"registry", "set", "HKLM\\SOFTWARE\\Ospreon Test\\Sub", "Name", "some data"}, 0, "", ""},
        {{"registry", "set", "hklm\\software\\ospreon test", "", "the default"}, 0, "", ""},
        {{"registry", "set", "HKCR\\.abc", "", "abcfile"}, 0, "", ""},
        // Root names in either form and any case; key names without regard to case.
        {{"registry", "query", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Ospreon Test\\sub", "NAME"},
         0,
         "some data\n",
         ""},
        {{"registry", "query", "Hkey_Classes_Root\\.abc", ""}, 0, "abcfile\n", ""},
        {{"registry", "query", "HKLM\\SOFTWARE\\Ospreon Test"},
         0,
         "(default) = the default\n[Sub]\n",
         ""},
        {{"registry", "query", "HKLM\\SOFTWARE"}, 0, "[Ospreon Test]\n", ""},
        {{"registry", "set", "HKLM\\SOFTWARE\\Ospreon Test", "Zone", "z"}, 0, "", ""},
        {{"registry", "set", "HKLM\\SOFTWARE\\Ospreon Test", "alpha", "a"}, 0, "", ""},
        // Every value, the default first, then by name without regard to case.
        {{"registry", "query", "HKLM\\SOFTWARE\\Ospreon Test"},
         0,
         "(default) = the default\nalpha = a\nZone = z\n[Sub]\n",
         ""},
        {{"registry", "set", "HKLM\\SOFTWARE\\Ospreon Test\\Sub", "Name", "new data"}, 0, "", ""},
        {{"registry", "query", "HKLM\\SOFTWARE\\Ospreon Test\\Sub", "Name"}, 0, "new data\n", ""},
        {{"registry", "query", "HKLM\\SOFTWARE\\Nothing"},
         3,
         "",
         "wardenctl: no registry key \"HKLM\\SOFTWARE\\Nothing\"\n"},
        {{"registry", "query", "HKLM\\SOFTWARE\\Ospreon Test", "Missing"},
         3,
         "",
         "wardenctl: the registry key \"HKLM\\SOFTWARE\\Ospreon Test\" has no value \"Missing\"\n"},
        {{"registry", "query", "HKLM\\SOFTWARE\\Ospreon Test\\Sub", ""},
         3,
         "",
         "wardenctl: the registry key \"HKLM\\SOFTWARE\\Ospreon Test\\Sub\" has no default "
         "value\n"},
    });
}

TEST(CtlRegistry, DwordIsDecimal)
{
    TempHome home;
    {
        registry::Key key;
        ASSERT_EQ(RegCreateKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Numbers", 0, nullptr, 0,
                                 KEY_ALL_ACCESS, nullptr, key.put(), nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(registry::SetDword(key.get(), "Big", 4000000000u), ERROR_SUCCESS);
        ASSERT_EQ(registry::SetDword(key.get(), nullptr, 7), ERROR_SUCCESS);
    }
    RunSteps({
        {{"registry", "query", "HKLM\\SOFTWARE\\Numbers", "Big"}, 0, "4000000000\n", ""},
        {{"registry", "query", "HKLM\\SOFTWARE\\Numbers"},
         0,
         "(default) = 7\nBig = 4000000000\n",
         ""},
    });
}

} // namespace
} // namespace ospreon::test
