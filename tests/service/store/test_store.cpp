// The store file itself: how it is created and opened, which files it refuses, how
// writers from separate connections wait for each other, and identities.

#include <sqlite3.h>
#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "service/store/database.h"
#include "service/store/meta_table.h"
#include "service/store/record_table.h"
#include "service/store/schema.h"
#include "service/store/service_errors.h"
#include "tests/support/temp_home.h"

namespace ospreon::test {
namespace {

using store::Database;
using store::RecordTable;

mode_t ModeOf(const std::filesystem::path& path)
{
    struct stat info
    {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

std::string Content(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

std::shared_ptr<Database> OpenOrFail(const std::filesystem::path& file)
{
    Result<std::shared_ptr<Database>> db = Database::Open(file);
    EXPECT_TRUE(db.ok()) << (db ? "" : db.error().message);
    return db ? *db : nullptr;
}

// A raw connection, to make files as another program would.
void RunSql(const std::filesystem::path& file, const char* sql)
{
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);
}

TEST(StoreFile, IsCreatedForTheOwnerOnlyWithTheCurrentSchema)
{
    TempDir dir;
    const std::filesystem::path folder = dir.path() / "home" / "nested";
    const std::filesystem::path file = folder / "wardenhost.db";
    std::shared_ptr<Database> db = OpenOrFail(file);
    ASSERT_TRUE(db);
    ASSERT_TRUE(RecordTable(*db).Add({"Pagewarden of a", "Pagewarden", {{"Status", "Disable"}}}));

    EXPECT_EQ(ModeOf(dir.path() / "home"), 0700);
    EXPECT_EQ(ModeOf(folder), 0700);
    for (const char* name : {"wardenhost.db", "wardenhost.db-wal", "wardenhost.db-shm"})
        EXPECT_EQ(ModeOf(folder / name), 0600) << name;

    auto lock = db->Lock();
    for (auto [pragma, expected] : {std::pair{"PRAGMA user_version", store::kSchemaVersion},
                                    std::pair{"PRAGMA application_id", store::kApplicationId}}) {
        Result<store::Query> query = db->Prepare(pragma);
        ASSERT_TRUE(query);
        ASSERT_TRUE(query->Step().ok());
        EXPECT_EQ(query->Int(0), expected) << pragma;
    }
    Result<store::Query> mode = db->Prepare("PRAGMA journal_mode");
    ASSERT_TRUE(mode && mode->Step().ok());
    EXPECT_EQ(mode->Text(0), "wal");
}

TEST(StoreFile, OpensAgainWithItsRecordsAndAcceptsAnEmptyFile)
{
    TempDir dir;
    const std::filesystem::path file = dir.path() / "wardenhost.db";
    {
        std::shared_ptr<Database> db = OpenOrFail(file);
        ASSERT_TRUE(RecordTable(*db).Add({"Pagewarden of a", "Pagewarden", {{"k", "v"}}}));
    }
    std::shared_ptr<Database> again = OpenOrFail(file);
    Result<std::vector<store::RecordData>> records = RecordTable(*again).ReadAll();
    ASSERT_TRUE(records);
    EXPECT_EQ(*records,
              (std::vector<store::RecordData>{{"Pagewarden of a", "Pagewarden", {{"k", "v"}}}}));

    const std::filesystem::path empty = dir.path() / "empty.db";
    std::ofstream{empty};
    std::shared_ptr<Database> fresh = OpenOrFail(empty);
    ASSERT_TRUE(fresh);
    EXPECT_EQ(*RecordTable(*fresh).Count(), 0);
}

TEST(StoreFile, FilesThatAreNotItsStoreAreRefusedUnchanged)
{
    TempDir dir;
    struct Case
    {
        const char* what;
        std::function<void(const std::filesystem::path&)> make;
    };
    const Case cases[] = {
        {"text", [](const auto& file) { std::ofstream(file) << std::string(5000, 'q'); }},
        {"another program's database",
         [](const auto& file) {
             RunSql(file, "CREATE TABLE notes(text); INSERT INTO notes VALUES('x');");
         }},
        {"a store of a newer schema",
         [](const auto& file) {
             std::shared_ptr<Database> db = OpenOrFail(file);
             db.reset();
             RunSql(file, "PRAGMA user_version = 99");
         }},
        {"a database with our version but not our mark",
         [](const auto& file) { RunSql(file, "CREATE TABLE t(x); PRAGMA user_version = 1;"); }},
    };
    int index = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::filesystem::path file = dir.path() / ("case" + std::to_string(index++) + ".db");
        c.make(file);
        const std::string before = Content(file);
        Result<std::shared_ptr<Database>> db = Database::Open(file);
        ASSERT_FALSE(db.ok());
        EXPECT_EQ(db.error().code, WARDEN_E_STORE);
        EXPECT_NE(db.error().message.find(file.string()), std::string::npos) << db.error().message;
        EXPECT_EQ(Content(file), before);
    }
}

TEST(StoreFile, AWriterWaitsForAnotherInsteadOfFailing)
{
    TempDir dir;
    const std::filesystem::path file = dir.path() / "wardenhost.db";
    std::shared_ptr<Database> db = OpenOrFail(file);
    Result<store::RecordId> id = RecordTable(*db).Add({"Pagewarden of a", "Pagewarden", {}});
    ASSERT_TRUE(id);

    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    std::thread holder([other] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    });
    Result<bool> put = RecordTable(*db).Put(*id, "Status", "Enable");
    holder.join();
    sqlite3_close(other);
    ASSERT_TRUE(put) << put.error().message;
    EXPECT_EQ(*RecordTable(*db).Value(*id, "Status"), "Enable");
}

TEST(StoreFile, ANewStoreWaitsForAnotherConnectionBeforeSwitchingToWal)
{
    // Another process opening the same new file (the daemon and a front end
    // starting together) may hold it in rollback mode: the switch to WAL must wait
    // for it, as writes do, instead of failing at once.
    TempDir dir;
    const std::filesystem::path file = dir.path() / "wardenhost.db";
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    std::thread reader([other] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    });
    Result<std::shared_ptr<Database>> db = Database::Open(file);
    reader.join();
    sqlite3_close(other);
    ASSERT_TRUE(db) << db.error().message;
    EXPECT_TRUE(RecordTable(**db).Add({"Pagewarden of a", "Pagewarden", {}}));
}

TEST(StoreRecords, IdentitiesAreNeverReused)
{
    TempDir dir;
    std::shared_ptr<Database> db = OpenOrFail(dir.path() / "wardenhost.db");
    RecordTable records(*db);
    Result<store::RecordId> first = records.Add({"Pagewarden of a", "Pagewarden", {}});
    ASSERT_TRUE(first);
    ASSERT_TRUE(records.Remove("PAGEWARDEN OF A"));
    Result<store::RecordId> second = records.Add({"Pagewarden of a", "Pagewarden", {}});
    ASSERT_TRUE(second);
    EXPECT_NE(*first, *second);
    Result<std::optional<std::string>> gone = records.Value(*first, "Status");
    ASSERT_FALSE(gone);
    EXPECT_EQ(gone.error().code, WARDEN_E_RECORDGONE);

    Result<store::RecordId> twice =
        records.Add({"Pagewarden of b", "Pagewarden", {{"k", "1"}, {"k", "2"}}});
    ASSERT_FALSE(twice);
    EXPECT_EQ(twice.error().code, E_INVALIDARG);
    EXPECT_EQ(*records.Count(), 1);
}

TEST(StoreMeta, GenerationMovesOnlyForTheStoredControlPassword)
{
    TempDir dir;
    std::shared_ptr<Database> db = OpenOrFail(dir.path() / "wardenhost.db");
    store::MetaTable meta(*db);
    EXPECT_EQ(*meta.Generation(), 0);
    EXPECT_EQ(*meta.Reload(""), false);
    RunSql(dir.path() / "wardenhost.db",
           "INSERT INTO config(section, name, value) VALUES ('WARDENHOST', 'controlpass', 'pw')");
    EXPECT_EQ(*meta.Reload("PW"), false);
    EXPECT_EQ(*meta.Generation(), 0);
    EXPECT_EQ(*meta.Reload("pw"), true);
    EXPECT_EQ(*meta.Generation(), 1);
}

} // namespace
} // namespace ospreon::test
