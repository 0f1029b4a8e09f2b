// wardenctl export and import (monitor files), and the configuration section with
// the reload request.

#include <fstream>
#include <regex>

#include <gtest/gtest.h>

#include "tests/service/ctl/ctl_fixture.h"

namespace ospreon::test {
namespace {

using CtlFiles = ServiceHomeTest;

void WriteFile(const std::filesystem::path& file, const std::string& bytes)
{
    std::ofstream(file, std::ios::binary) << bytes;
}

TEST_F(CtlFiles, ExportThenImportRestoresEveryRecord)
{
    MustRun({"add", "Testwarden", "one"});
    MustRun({"add", "Testwarden", "two"});
    MustRun({"set", "Testwarden of one", "Multi", "line 1\nline \"2\"\t\u00fc"});
    MustRun({"start", "Testwarden of two"});
    const std::string shownOne = MustRun({"show", "Testwarden of one", "--json"});
    const std::string shownTwo = MustRun({"show", "Testwarden of two", "--json"});
    const std::string listed = MustRun({"list"});

    const std::filesystem::path file = home() / "monitors.Mnt";
    MustRun({"export", file.string()});
    MustRun({"remove", "Testwarden of one"});
    MustRun({"remove", "Testwarden of two"});
    ASSERT_EQ(MustRun({"list"}), "");

    MustRun({"import", file.string()});
    EXPECT_EQ(MustRun({"list"}), listed);
    EXPECT_EQ(MustRun({"show", "Testwarden of one", "--json"}), shownOne);
    EXPECT_EQ(MustRun({"show", "Testwarden of two", "--json"}), shownTwo);
}

TEST_F(CtlFiles, BadFilesAreRefusedAndChangeNothing)
{
    MustRun({"add", "Testwarden", "kept"});
    const std::string listed = MustRun({"list"});
    const std::filesystem::path good = home() / "good.Mnt";
    MustRun({"export", good.string()});
    std::string bytes;
    {
        std::ifstream in(good, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    ASSERT_GT(bytes.size(), 10u);
    WriteFile(home() / "truncated.Mnt", bytes.substr(0, bytes.size() / 2));
    WriteFile(home() / "foreign.Mnt", "[Monitor]\nName=x\n");
    WriteFile(home() / "empty.Mnt", "");

    for (const char* name : {"truncated.Mnt", "foreign.Mnt", "empty.Mnt"}) {
        const std::string path = (home() / name).string();
        RunSteps({{{"import", path}, 2, "", "wardenctl: cannot import \"" + path + "\": *"}});
    }
    const std::string missing = (home() / "missing.Mnt").string();
    RunSteps({
        {{"import", missing},
         2,
         "",
         "wardenctl: cannot import \"" + missing + "\": no such file\n"},
        {{"export", (home() / "no folder" / "x.Mnt").string()},
         2,
         "",
         "wardenctl: cannot export to \"{home}/no folder/x.Mnt\": *"},
    });
    EXPECT_EQ(MustRun({"list"}), listed);
}

TEST_F(CtlFiles, AMalformedMonitorIsRefusedWithTheParsersReason)
{
    const std::string pair = R"(["Status", "Disable"])";
    const std::string triple = R"(["Status", "Disable", "extra"])";
    const auto file = [](const std::string& secondParameter) {
        return R"({"format": "ospreon-monitors", "version": 1, "monitors": [
            {"name": "Testwarden of a", "type": "Testwarden", "parameters": []},
            {"name": "Testwarden of b", "type": "Testwarden", "parameters": [)" +
               secondParameter + "]}]}";
    };
    WriteFile(home() / "triple.Mnt", file(triple));
    WriteFile(home() / "pair.Mnt", file(pair));
    RunSteps({
        {{"import", (home() / "triple.Mnt").string()},
         2,
         "",
         "wardenctl: cannot import \"{home}/triple.Mnt\": not a usable monitor file: monitor 2 "
         "(Testwarden of b) has a parameter that is not a pair of strings\n"},
        {{"list"}, 0, "", ""},
        // The same file with a pair imports: the refusal was the parameter's.
        {{"import", (home() / "pair.Mnt").string()}, 0, "", ""},
    });
}

TEST_F(CtlFiles, AnUnusableStoreIsNotBadInput)
{
    MustRun({"add", "Testwarden", "kept"});
    MustRun({"export", (home() / "good.Mnt").string()});
    WriteFile(home() / "foreign.Mnt", "[Monitor]\nName=x\n");
    struct Case
    {
        StoreDamage damage;
        std::string reason; // SQLite's, with the store's path
    };
    // In this order: each damage is done to the same store.
    const Case cases[] = {
        {StoreDamage::kNoParameterTable, "store {home}/wardenhost.db: cannot prepare a statement: "
                                         "no such table: params (SQLite code 1)\n"},
        {StoreDamage::kGarbage,
         "store {home}/wardenhost.db: file is not a database (SQLite code 26)\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.damage));
        DamageStore(home(), c.damage);
        RunSteps({
            {{"import", (home() / "good.Mnt").string()},
             3,
             "",
             "wardenctl: cannot import \"{home}/good.Mnt\": " + c.reason},
            {{"export", (home() / "out.Mnt").string()},
             3,
             "",
             "wardenctl: cannot export to \"{home}/out.Mnt\": " + c.reason},
            // The file is read and checked before the store is touched.
            {{"import", (home() / "foreign.Mnt").string()},
             2,
             "",
             "wardenctl: cannot import \"{home}/foreign.Mnt\": not a usable monitor file: the "
             "file is not complete, valid JSON\n"},
            {{"import", (home() / "missing.Mnt").string()},
             2,
             "",
             "wardenctl: cannot import \"{home}/missing.Mnt\": no such file\n"},
        });
    }
    EXPECT_FALSE(std::filesystem::exists(home() / "out.Mnt"));
}

TEST_F(CtlFiles, ImportSaysWhichRecordsItSkipped)
{
    WriteFile(home() / "mixed.Mnt", R"({"format": "ospreon-monitors", "version": 1, "monitors": [
        {"name": "Testwarden of a", "type": "Testwarden", "parameters": []},
        {"name": "Nowarden of b", "type": "Nowarden", "parameters": []},
        {"name": "Otherwarden of c", "type": "Otherwarden", "parameters": []}]})");
    RunSteps({
        {{"import", (home() / "mixed.Mnt").string()},
         0,
         "1 record imported, 2 skipped (type not registered): Nowarden of b, Otherwarden of c\n",
         ""},
        {{"list"}, 0, "Testwarden of a\tTestwarden\t\t\t\t\t\t0\n", ""},
    });
}

// A name that differs from another only after a NUL would match it in the store.
TEST_F(CtlFiles, ImportRefusesNamesWithControlCharacters)
{
    MustRun({"add", "Testwarden", "a"});
    const std::string listed = MustRun({"list"});
    WriteFile(home() / "nul.Mnt", R"({"format": "ospreon-monitors", "version": 1, "monitors": [
        {"name": "Testwarden of a\u0000one", "type": "Testwarden", "parameters": []},
        {"name": "Testwarden of a\u0000two", "type": "Testwarden", "parameters": []}]})");
    RunSteps({
        {{"import", (home() / "nul.Mnt").string()},
         2,
         "",
         "wardenctl: cannot import \"{home}/nul.Mnt\": not a usable monitor file: monitor 1: the "
         "name has a control character (U+0000) at position 15\n"},
    });
    EXPECT_EQ(MustRun({"list"}), listed);
}

TEST_F(CtlFiles, ExportRefusesTheStoresOwnFilesAFolderAndAnEmptyName)
{
    MustRun({"add", "Testwarden", "kept"});
    const std::string listed = MustRun({"list"});
    std::filesystem::create_directory(home() / "sub");
    std::filesystem::create_symlink(home() / "registry.db", home() / "sub" / "link.Mnt");
    RunSteps({
        {{"export", ""}, 2, "", "wardenctl: cannot export: the file name is empty\n"},
        {{"export", (home() / "sub" / ".." / "wardenhost.db").string()},
         2,
         "",
         "wardenctl: cannot export to \"{home}/sub/../wardenhost.db\": {home}/wardenhost.db "
         "belongs to the monitor store\n"},
        {{"export", (home() / "wardenhost.db-wal").string()},
         2,
         "",
         "wardenctl: cannot export to \"{home}/wardenhost.db-wal\": {home}/wardenhost.db-wal "
         "belongs to the monitor store\n"},
        {{"export", (home() / "sub" / "link.Mnt").string()},
         2,
         "",
         "wardenctl: cannot export to \"{home}/sub/link.Mnt\": {home}/registry.db belongs to the "
         "registry\n"},
        {{"export", (home() / "sub").string()},
         2,
         "",
         "wardenctl: cannot export to \"{home}/sub\": {home}/sub is a folder\n"},
        {{"list"}, 0, listed, ""},
    });
    EXPECT_NE(MustRun({"types"}).find("Testwarden\n"), std::string::npos) << "the registry works";
}

// Exporting through a link replaces the file it points to and keeps the link.
TEST_F(CtlFiles, ExportThroughALinkReplacesItsTarget)
{
    MustRun({"add", "Testwarden", "linked"});
    std::filesystem::create_directory(home() / "backups");
    std::filesystem::create_directory(home() / "links");
    WriteFile(home() / "backups" / "all.Mnt", "old");
    std::filesystem::create_symlink("../backups/all.Mnt", home() / "links" / "current.Mnt");

    MustRun({"export", (home() / "links" / "current.Mnt").string()});
    EXPECT_TRUE(std::filesystem::is_symlink(home() / "links" / "current.Mnt"));
    std::ifstream in(home() / "backups" / "all.Mnt", std::ios::binary);
    const std::string written((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
    EXPECT_NE(written.find("\"Testwarden of linked\""), std::string::npos) << written;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(home() / "links"),
                            std::filesystem::directory_iterator()),
              1)
        << "only the link";
}

TEST_F(CtlFiles, ConfigurationAndReload)
{
    const std::string password = MustRun({"config", "get", "ControlPass"});
    EXPECT_TRUE(std::regex_match(password, std::regex("[0-9a-f]{24}\n"))) << password;
    RunSteps({
        {{"config", "get", "LogFile"}, 0, "{home}/log/Wardenhost%d%m%y.log\n", ""},
        {{"config", "get", "BackupFile"}, 0, "{home}/backup.Mnt\n", ""},
        {{"config", "get", "NoSuchValue"},
         3,
         "",
         "wardenctl: no configuration value named \"NoSuchValue\"\n"},
        {{"config", "set", "BackupFile", "/srv/backup/all.Mnt"}, 0, "", ""},
        {{"config", "get", "BackupFile"}, 0, "/srv/backup/all.Mnt\n", ""},
        {{"reload"}, 0, "", ""},
    });
}

} // namespace
} // namespace ospreon::test
