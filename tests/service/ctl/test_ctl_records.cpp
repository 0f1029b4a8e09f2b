// wardenctl on records, end to end: a home prepared by `wardenctl setup`, the test
// plug-in registered, and every command run as its own process against the store.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "service/store/database.h"
#include "service/store/monitor_state.h"
#include "tests/service/ctl/ctl_fixture.h"
#include "tests/support/scoped_env.h"

namespace ospreon::test {
namespace {

using CtlRecords = ServiceHomeTest;

constexpr char kDeclared[] = "Status = Disable\n"
                             "DisplayName = Scripted Result\n"
                             "Monitor_Parameter = ok\n"
                             "Monitor_Voice = \n"
                             "last check: never\n"
                             "failures: 0\n";

TEST_F(CtlRecords, AddShowGetSetRemove)
{
    RunSteps({
        {{"add", "Testwarden", "web"}, 0, "Testwarden of web\n", ""},
        // The type is matched without regard to case and named as the catalogue spells it.
        {{"add", "testWARDEN", "db"}, 0, "Testwarden of db\n", ""},
        {{"add", "Testwarden", "web"},
         2,
         "",
         "wardenctl: a monitor named \"Testwarden of web\" exists already\n"},
        {{"add", "Nosuchwarden", "web"},
         2,
         "",
         "wardenctl: no monitor type named \"Nosuchwarden\" (see `wardenctl types`)\n"},
        {{"add", "Testwarden", ""}, 2, "", "wardenctl: the monitor name is empty\n"},
        // A new record is stopped and lists what the plug-in declared.
        {{"show", "Testwarden of web"}, 0, kDeclared, ""},
        {{"get", "Testwarden of web", "Status"}, 0, "Disable\n", ""},
        {{"get", "Testwarden of web", "Monitor_Command"},
         3,
         "",
         "wardenctl: the monitor \"Testwarden of web\" has no value \"Monitor_Command\"\n"},
        {{"get", "Testwarden of nothing", "Status"},
         3,
         "",
         "wardenctl: no monitor named \"Testwarden of nothing\"\n"},
        {{"set", "Testwarden of nothing", "Status", "Enable"},
         3,
         "",
         "wardenctl: no monitor named \"Testwarden of nothing\"\n"},
        {{"set", "Testwarden of web", "Monitor_InterVal (s)", "60"}, 0, "", ""},
        {{"set", "Testwarden of web", "Monitor_Parameter", "-x"},
         2,
         "",
         "wardenctl: VALUE is required (see `wardenctl --help`)\n"},
        {{"set", "Testwarden of web", "Monitor_Parameter", "--", "-x"}, 0, "", ""},
        {{"set", "Testwarden of web", "Note", "tab\there\\\nnext line"}, 0, "", ""},
        // get gives the value exactly; the line forms escape it onto one line.
        {{"get", "Testwarden of web", "Note"}, 0, "tab\there\\\nnext line\n", ""},
        {{"show", "Testwarden of web"},
         0,
         "Status = Disable\n"
         "DisplayName = Scripted Result\n"
         "Monitor_Parameter = -x\n"
         "Monitor_Voice = \n"
         "Monitor_InterVal (s) = 60\n"
         "Note = tab\\there\\\\\\nnext line\n"
         "last check: never\n"
         "failures: 0\n",
         ""},
        {{"list"},
         0,
         "Testwarden of web\tTestwarden\tDisable\t\t-x\t60\t\t0\n"
         "Testwarden of db\tTestwarden\tDisable\t\tok\t\t\t0\n",
         ""},
        {{"remove", "Testwarden of web"}, 0, "", ""},
        {{"remove", "Testwarden of web"},
         3,
         "",
         "wardenctl: no monitor named \"Testwarden of web\"\n"},
        {{"list"}, 0, "Testwarden of db\tTestwarden\tDisable\t\tok\t\t\t0\n", ""},
    });
}

TEST_F(CtlRecords, JsonForms)
{
    MustRun({"add", "Testwarden", "j"});
    RunSteps({
        {{"set", "Testwarden of j", "Quote", "say \"h\u00e9\"\n"}, 0, "", ""},
        {{"start", "Testwarden of j"}, 0, "started: Testwarden of j\n", ""},
        {{"list", "--json"},
         0,
         "[\n"
         "  {\n"
         "    \"name\": \"Testwarden of j\",\n"
         "    \"type\": \"Testwarden\",\n"
         "    \"status\": \"Enable\",\n"
         "    \"result\": \"Ok\",\n"
         "    \"parameter\": \"ok\",\n"
         "    \"interval\": \"\",\n"
         "    \"lastCheck\": \"\",\n"
         "    \"failures\": 0\n"
         "  }\n"
         "]\n",
         ""},
        {{"show", "Testwarden of j", "--json"},
         0,
         "{\n"
         "  \"name\": \"Testwarden of j\",\n"
         "  \"type\": \"Testwarden\",\n"
         "  \"parameters\": [\n"
         "    [\n      \"Status\",\n      \"Enable\"\n    ],\n"
         "    [\n      \"DisplayName\",\n      \"Scripted Result\"\n    ],\n"
         "    [\n      \"Monitor_Parameter\",\n      \"ok\"\n    ],\n"
         "    [\n      \"Monitor_Voice\",\n      \"\"\n    ],\n"
         "    [\n      \"Quote\",\n      \"say \\\"h\u00e9\\\"\\n\"\n    ],\n"
         "    [\n      \"Monitor_Result\",\n      \"Ok\"\n    ]\n"
         "  ],\n"
         "  \"lastCheck\": \"\",\n"
         "  \"failures\": 0\n"
         "}\n",
         ""},
        {{"list", "--json", "extra"},
         2,
         "",
         "wardenctl: The following argument was not expected: extra (see `wardenctl --help`)\n"},
    });
}

TEST_F(CtlRecords, NamesAndKeysWithControlCharactersAreRefused)
{
    MustRun({"add", "Testwarden", "web"});
    RunSteps({
        {{"add", "Testwarden", "\x1b[2Jx"},
         2,
         "",
         "wardenctl: the name has a control character (U+001B) at position 14\n"},
        {{"add", "Testwarden", "\u00e9t\u00e9\x7f"},
         2,
         "",
         "wardenctl: the name has a control character (U+007F) at position 17\n"},
        {{"set", "Testwarden of web", "k\x01", "v"},
         2,
         "",
         "wardenctl: cannot write \"k\\x01\" of \"Testwarden of web\": the key has a control "
         "character (U+0001) at position 1\n"},
        // Values may hold any text.
        {{"set", "Testwarden of web", "Note",
          "a\x01"
          "b"},
         0,
         "",
         ""},
        {{"get", "Testwarden of web", "Note"},
         0,
         "a\x01"
         "b\n",
         ""},
        {{"list"}, 0, "Testwarden of web\tTestwarden\tDisable\t\tok\t\t\t0\n", ""},
    });
}

// The line forms escape every control character, so a value cannot drive the
// terminal; get gives the value as it is.
TEST_F(CtlRecords, LineFormsEscapeControlCharacters)
{
    MustRun({"add", "Testwarden", "t"});
    const std::string hostile = "\x1b]0;owned\x07\x1b[2J\x7f\u00e9\u009b1m\\";
    MustRun({"set", "Testwarden of t", "Monitor_Parameter", hostile});
    RunSteps({
        {{"list"},
         0,
         "Testwarden of t\tTestwarden\tDisable\t\t"
         "\\x1b]0;owned\\x07\\x1b[2J\\x7f\u00e9\\u009b1m\\\\\t\t\t0\n",
         ""},
        {{"get", "Testwarden of t", "Monitor_Parameter"}, 0, hostile + "\n", ""},
    });
    EXPECT_NE(MustRun({"show", "Testwarden of t"})
                  .find("Monitor_Parameter = \\x1b]0;owned\\x07\\x1b[2J\\x7f\u00e9\\u009b1m\\\\\n"),
              std::string::npos);
}

// Output that cannot be written fails the command, even when the work is done.
TEST_F(CtlRecords, OutputThatCannotBeWrittenFails)
{
    MustRun({"add", "Testwarden", "a"});
    const std::vector<std::vector<std::string>> commands = {
        {"list", "--json"},          {"list"},
        {"show", "Testwarden of a"}, {"get", "Testwarden of a", "Status"},
        {"add", "Testwarden", "b"},
    };
    for (const std::vector<std::string>& args : commands) {
        const CtlRun run = RunCtl(args, "/dev/full");
        EXPECT_EQ(run.status, 3) << Describe(args, run);
        EXPECT_EQ(run.err, "wardenctl: cannot write the output: No space left on device\n")
            << Describe(args, run);
    }
}

TEST_F(CtlRecords, EmptyStoreListsNothing)
{
    RunSteps({
        {{"list"}, 0, "", ""},
        {{"list", "--json"}, 0, "[]\n", ""},
        {{"status"},
         0,
         "store: {home}/wardenhost.db\ndaemon: not running\nmonitors: 0\nstarted: 0\n",
         ""},
    });
}

TEST_F(CtlRecords, ListingsOfAnUnusableStoreFailInsteadOfShowingEmptyFields)
{
    MustRun({"add", "Testwarden", "kept"});
    struct Case
    {
        const char* what;
        StoreDamage damage;
        std::string error;
    };
    // In this order: each damage is done to the same store.
    // The line gives SQLite's own reason and the store's path.
    const Case cases[] = {
        {"no parameter table", StoreDamage::kNoParameterTable,
         "wardenctl: cannot read \"Status\" of \"Testwarden of kept\": store "
         "{home}/wardenhost.db: cannot prepare a statement: no such table: params (SQLite code "
         "1)\n"},
        {"garbage", StoreDamage::kGarbage,
         "wardenctl: cannot count the monitors: store {home}/wardenhost.db: file is not a "
         "database (SQLite code 26)\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        DamageStore(home(), c.damage);
        RunSteps({
            {{"list"}, 3, "", c.error},
            {{"list", "--json"}, 3, "", c.error},
            {{"status"}, 3, "store: {home}/wardenhost.db\ndaemon: not running\n", c.error},
        });
    }
}

// What the daemon keeps beside a record tells a fresh result from a stale one.
TEST_F(CtlRecords, ListAndShowTellTheLastCheckAndTheFailureCount)
{
    MustRun({"add", "Testwarden", "kept"});
    MustRun({"add", "Testwarden", "new"});
    {
        Result<std::shared_ptr<store::Database>> db = store::OpenDefault();
        ASSERT_TRUE(db.ok()) << db.error().message;
        // 2023-11-14 22:13:20 UTC; the daemon writes under the record's name, in
        // whatever case it was given.
        store::MonitorState state;
        state.failures = 2;
        state.lastCheckMs = 1700000000123;
        ASSERT_TRUE(store::MonitorStateTable(**db).Write({{"TESTWARDEN of kept", state}}).ok());
    }
    ScopedEnv utc("TZ", "UTC");
    RunSteps({
        {{"list"},
         0,
         "Testwarden of kept\tTestwarden\tDisable\t\tok\t\t2023-11-14 22:13:20\t2\n"
         "Testwarden of new\tTestwarden\tDisable\t\tok\t\t\t0\n",
         ""},
        {{"show", "Testwarden of kept"},
         0,
         "Status = Disable\n"
         "DisplayName = Scripted Result\n"
         "Monitor_Parameter = ok\n"
         "Monitor_Voice = \n"
         "last check: 2023-11-14 22:13:20\n"
         "failures: 2\n",
         ""},
    });
    const std::string shown = MustRun({"show", "Testwarden of kept", "--json"});
    EXPECT_NE(shown.find("\"lastCheck\": \"2023-11-14 22:13:20\",\n  \"failures\": 2\n"),
              std::string::npos)
        << shown;
}

TEST_F(CtlRecords, AStoreWithDamagedPagesIsReportedWithSqlitesReasonAndItsPath)
{
    MustRun({"add", "Testwarden", "kept"});
    DamageStore(home(), StoreDamage::kGarbagePages);
    const std::string malformed =
        "store {home}/wardenhost.db: database disk image is malformed (SQLite code 11)\n";
    RunSteps({
        {{"list"}, 3, "", "wardenctl: cannot count the monitors: " + malformed},
        {{"show", "Testwarden of kept"},
         3,
         "",
         "wardenctl: cannot read the monitor store: " + malformed},
    });
}

} // namespace
} // namespace ospreon::test
