// The SQLite layer under the registry and the service store, on a small schema of
// the test's own: how a database is created and which files it refuses, schema
// versions, writers that wait, nested transactions and checkpoints.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <iterator>
#include <string>
#include <thread>

#include "platform/sqlite/connection.h"
#include "platform/sqlite/transaction.h"
#include "tests/support/raw_database.h"
#include "tests/support/temp_home.h"

namespace ospreon::sqlite {
namespace {

namespace fs = std::filesystem;
using test::RawDatabase;
using ::testing::HasSubstr;

// The caller's codes: distinct numbers for the cases a caller maps.
constexpr int kCantOpen = 1001;
constexpr int kNotOurs = 1002;
constexpr int kBusy = 1003;
constexpr int kOther = 1004;

int TestCode(int rc)
{
    switch (rc & 0xff) {
    case SQLITE_CANTOPEN:
        return kCantOpen;
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
        return kNotOurs;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return kBusy;
    default:
        return kOther;
    }
}

constexpr const char* kMigrations[] = {
    "CREATE TABLE items(id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE)",
    "ALTER TABLE items ADD COLUMN note TEXT NOT NULL DEFAULT 'added by version 2'",
};
constexpr std::int32_t kTestId = 0x54455354; // "TEST"

constexpr Schema kVersion1{.label = "test database",
                           .applicationId = kTestId,
                           .migrations = std::span(kMigrations, 1),
                           .adoptUnmarked = false,
                           .errorCode = &TestCode,
                           .errorKind = ErrorKind::Errno};
constexpr Schema kVersion2{.label = "test database",
                           .applicationId = kTestId,
                           .migrations = kMigrations,
                           .adoptUnmarked = false,
                           .errorCode = &TestCode,
                           .errorKind = ErrorKind::Errno};
constexpr Schema kAdopting{.label = "test database",
                           .applicationId = kTestId,
                           .migrations = std::span(kMigrations, 1),
                           .adoptUnmarked = true,
                           .errorCode = &TestCode,
                           .errorKind = ErrorKind::Errno};

constexpr char kInsert[] = "INSERT INTO items(name) VALUES (?1)";
constexpr char kCount[] = "SELECT count(*) FROM items";

class SqliteLayer : public ::testing::Test
{
protected:
    fs::path File() const { return m_dir.path() / "test.db"; }

    std::unique_ptr<Connection> OpenOrFail(const Schema& schema = kVersion1)
    {
        Result<std::unique_ptr<Connection>> opened = Connection::Open(File(), schema);
        EXPECT_TRUE(opened) << (opened ? "" : opened.error().message);
        return opened ? std::move(*opened) : nullptr;
    }

    test::TempDir m_dir;
};

unsigned Mode(const fs::path& path)
{
    struct stat info
    {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info.st_mode & 0777;
}

std::string Content(const fs::path& path)
{
    if (fs::is_directory(path))
        return "<folder>";
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::int64_t Count(Connection& db)
{
    Result<std::optional<std::int64_t>> count = db.QueryInt(kCount);
    EXPECT_TRUE(count) << (count ? "" : count.error().message);
    return count ? count->value_or(-1) : -1;
}

TEST_F(SqliteLayer, ANewDatabaseIsPrivateInWalModeAndMarked)
{
    const fs::path folder = m_dir.path() / "new" / "home";
    Result<std::unique_ptr<Connection>> db = Connection::Open(folder / "test.db", kVersion1);
    ASSERT_TRUE(db) << db.error().message;
    ASSERT_TRUE((*db)->Run(kInsert, "first"));

    EXPECT_EQ(Mode(m_dir.path() / "new"), 0700u);
    EXPECT_EQ(Mode(folder), 0700u);
    for (const char* file : {"test.db", "test.db-wal", "test.db-shm"})
        EXPECT_EQ(Mode(folder / file), 0600u) << file;
    RawDatabase raw(folder / "test.db");
    EXPECT_EQ(raw.Scalar("PRAGMA journal_mode"), "wal");
    EXPECT_EQ(raw.Scalar("PRAGMA user_version"), "1");
    EXPECT_EQ(raw.Scalar("PRAGMA application_id"), std::to_string(kTestId));
}

TEST_F(SqliteLayer, OlderSchemasMigrateOneVersionAtATime)
{
    {
        std::unique_ptr<Connection> db = OpenOrFail(kVersion1);
        ASSERT_TRUE(db->Run(kInsert, "kept"));
    }
    std::unique_ptr<Connection> db = OpenOrFail(kVersion2);
    ASSERT_TRUE(db);
    RawDatabase raw(File());
    EXPECT_EQ(raw.Scalar("PRAGMA user_version"), "2");
    EXPECT_EQ(raw.Scalar("SELECT name || ': ' || note FROM items"), "kept: added by version 2");

    // An empty file (made by hand, or by a process that died at once) is taken.
    std::ofstream{m_dir.path() / "empty.db"};
    EXPECT_TRUE(Connection::Open(m_dir.path() / "empty.db", kVersion2));
}

TEST_F(SqliteLayer, FilesThatAreNotOursAreRefusedUnchanged)
{
    struct Case
    {
        const char* what;
        std::function<void(const fs::path&)> make;
        int code;
        const char* reason;
    };
    const Case cases[] = {
        {"text", [](const fs::path& file) { std::ofstream(file) << std::string(5000, 'q'); },
         kNotOurs, "file is not a database"},
        {"a folder", [](const fs::path& file) { fs::create_directory(file); }, kCantOpen,
         "a folder is in its place"},
        {"another program's database",
         [](const fs::path& file) { RawDatabase(file).Exec("CREATE TABLE notes(text)"); }, kNotOurs,
         "something else"},
        {"our version but not our mark",
         [](const fs::path& file) {
             RawDatabase(file).Exec("CREATE TABLE items(x); PRAGMA user_version = 1");
         },
         kNotOurs, "something else"},
        {"a newer schema",
         [](const fs::path& file) {
             (void)Connection::Open(file, kVersion2);
             RawDatabase(file).Exec("PRAGMA user_version = 3");
         },
         kNotOurs, "newer program (schema version 3, this one knows up to 1)"},
    };
    int index = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path file = m_dir.path() / ("case" + std::to_string(index++) + ".db");
        c.make(file);
        const std::string before = Content(file);
        Result<std::unique_ptr<Connection>> db = Connection::Open(file, kVersion1);
        ASSERT_FALSE(db);
        EXPECT_EQ(db.error().code, c.code);
        EXPECT_THAT(db.error().message, HasSubstr("test database " + file.string()));
        EXPECT_THAT(db.error().message, HasSubstr(c.reason));
        EXPECT_EQ(Content(file), before);
    }
}

TEST_F(SqliteLayer, AnUnmarkedFileIsAdoptedOnlyWhenTheSchemaSaysSo)
{
    RawDatabase(File()).Exec("CREATE TABLE items(id INTEGER PRIMARY KEY, name TEXT NOT NULL "
                             "UNIQUE); INSERT INTO items(name) VALUES ('old'); "
                             "PRAGMA user_version = 1");
    EXPECT_FALSE(Connection::Open(File(), kVersion1));
    std::unique_ptr<Connection> db = OpenOrFail(kAdopting);
    ASSERT_TRUE(db);
    EXPECT_EQ(Count(*db), 1);
    EXPECT_EQ(RawDatabase(File()).Scalar("PRAGMA application_id"), std::to_string(kTestId));
    db.reset();
    EXPECT_TRUE(Connection::Open(File(), kVersion1)) << "marked, so no longer foreign";
}

TEST_F(SqliteLayer, FailuresKeepSqlitesMessageTheFileAndTheCallersCode)
{
    std::unique_ptr<Connection> db = OpenOrFail();
    ASSERT_TRUE(db->Run(kInsert, "twice"));
    Result<void> again = db->Run(kInsert, "twice");
    ASSERT_FALSE(again);
    EXPECT_EQ(again.error().code, kOther);
    EXPECT_THAT(again.error().message, HasSubstr("test database " + File().string()));
    EXPECT_THAT(again.error().message, HasSubstr("UNIQUE constraint failed: items.name"));

    constexpr char kBroken[] = "SELECT name FROM nowhere";
    Result<Statement> broken = db->Prepare(kBroken);
    ASSERT_FALSE(broken);
    EXPECT_THAT(broken.error().message, HasSubstr("no such table: nowhere"));
}

TEST_F(SqliteLayer, CopyingBindsKeepTheirOwnTextAndEmptyTextIsNotNull)
{
    std::unique_ptr<Connection> db = OpenOrFail();
    {
        std::string name = "original";
        Result<Statement> insert = db->Prepare(kInsert);
        ASSERT_TRUE(insert);
        insert->Bind(1, name);
        name.assign("changed!");
        ASSERT_TRUE(insert->Run());
    }
    ASSERT_TRUE(db->Run(kInsert, std::string_view()));
    Result<std::optional<std::int64_t>> kept =
        db->QueryInt("SELECT count(*) FROM items WHERE name IN ('original', '')");
    ASSERT_TRUE(kept);
    EXPECT_EQ(**kept, 2);
    Result<std::optional<std::int64_t>> none = db->QueryInt("SELECT id FROM items WHERE 0");
    ASSERT_TRUE(none);
    EXPECT_FALSE(*none);
}

TEST_F(SqliteLayer, AWriterWaitsForAnotherWritersTransaction)
{
    std::unique_ptr<Connection> db = OpenOrFail();
    RawDatabase other(File());
    other.Exec("BEGIN IMMEDIATE");
    auto writer = std::async(std::launch::async, [&db] { return db->Run(kInsert, "late"); });
    EXPECT_EQ(writer.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout)
        << "the write did not wait for the lock";
    other.Exec("COMMIT");
    Result<void> written = writer.get();
    EXPECT_TRUE(written) << written.error().message;
}

TEST_F(SqliteLayer, ANewDatabaseWaitsForAnotherConnectionBeforeSwitchingToWal)
{
    // Another process opening the same new file may hold it in rollback mode: the
    // open must wait for it, as writes do, instead of failing at once.
    RawDatabase other(File());
    other.Exec("BEGIN IMMEDIATE");
    auto opener =
        std::async(std::launch::async, [this] { return Connection::Open(File(), kVersion1); });
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    other.Exec("COMMIT");
    Result<std::unique_ptr<Connection>> db = opener.get();
    ASSERT_TRUE(db) << db.error().message;
    EXPECT_EQ(RawDatabase(File()).Scalar("PRAGMA journal_mode"), "wal");
}

// ---------------------------------------------------------------- nested transactions

TEST_F(SqliteLayer, AnInnerCommitBelongsToTheOuterTransaction)
{
    std::unique_ptr<Connection> db = OpenOrFail();
    RawDatabase other(File());
    {
        Transaction outer(*db);
        ASSERT_TRUE(outer.ok());
        ASSERT_TRUE(db->Run(kInsert, "outer"));
        {
            Transaction inner(*db);
            ASSERT_TRUE(inner.ok()) << inner.error().message;
            ASSERT_TRUE(db->Run(kInsert, "inner"));
            ASSERT_TRUE(inner.Commit());
        }
        EXPECT_EQ(other.Scalar(kCount), "0") << "seen before the outer commit";
        // Rolled back by leaving without Commit.
    }
    EXPECT_EQ(Count(*db), 0);
    EXPECT_EQ(other.Scalar(kCount), "0");

    {
        Transaction outer(*db);
        ASSERT_TRUE(db->Run(kInsert, "a"));
        {
            Transaction inner(*db);
            ASSERT_TRUE(db->Run(kInsert, "b"));
            ASSERT_TRUE(inner.Commit());
        }
        {
            Transaction undone(*db);
            ASSERT_TRUE(db->Run(kInsert, "c"));
            // Rolled back: only its own row goes.
        }
        EXPECT_EQ(other.Scalar(kCount), "0");
        ASSERT_TRUE(outer.Commit());
    }
    EXPECT_EQ(other.Scalar("SELECT group_concat(name, ',') FROM items"), "a,b");
}

TEST_F(SqliteLayer, AReadJoinsAnOpenTransactionAndAWriteCannotBeginInsideARead)
{
    std::unique_ptr<Connection> db = OpenOrFail();
    {
        Transaction write(*db);
        ASSERT_TRUE(db->Run(kInsert, "x"));
        Transaction read(*db, Transaction::Kind::Deferred);
        ASSERT_TRUE(read.ok());
        EXPECT_EQ(Count(*db), 1);
        ASSERT_TRUE(read.Commit()); // joins: commits nothing of its own
        ASSERT_TRUE(write.Commit());
    }
    Transaction read(*db, Transaction::Kind::Deferred);
    ASSERT_TRUE(read.ok());
    Transaction write(*db);
    ASSERT_FALSE(write.ok());
    EXPECT_THAT(write.error().message, HasSubstr("inside a read transaction"));
    EXPECT_FALSE(write.Commit());
}

// ---------------------------------------------------------------- checkpoints

// The database file alone, as a backup that leaves out -wal and -shm would copy it.
fs::path CopyAlone(const fs::path& file, const fs::path& folder)
{
    fs::create_directories(folder);
    const fs::path copy = folder / file.filename();
    fs::copy_file(file, copy, fs::copy_options::overwrite_existing);
    return copy;
}

// Reachable to the leak checker, never closed.
Connection* g_childConnection = nullptr;

TEST_F(SqliteLayer, AProcessThatEndsNormallyLeavesEverythingInTheFile)
{
    // The parent keeps its own connection open, so the child's close is not the
    // last one and cannot be what checkpoints.
    std::unique_ptr<Connection> parent = OpenOrFail();
    ASSERT_TRUE(parent);
    pid_t child = ::fork();
    if (child == 0) {
        Result<std::unique_ptr<Connection>> db = Connection::Open(File(), kVersion1);
        bool ok = db && (*db)->Run(kInsert, "from the child");
        // The connection stays open, as the registry's does: exit checkpoints it.
        if (db)
            g_childConnection = db->release();
        std::exit(ok ? 0 : 1);
    }
    ASSERT_GT(child, 0);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

    EXPECT_EQ(fs::file_size(File().string() + "-wal"), 0u);
    RawDatabase copy(CopyAlone(File(), m_dir.path() / "copy"));
    EXPECT_EQ(copy.Scalar("SELECT name FROM items"), "from the child");
}

TEST_F(SqliteLayer, AnIdleConnectionIsCheckpointedOnlyAfterItsIdleTime)
{
    std::unique_ptr<Connection> db = OpenOrFail();
    ASSERT_TRUE(db->Run(kInsert, "written"));
    const fs::path wal = File().string() + "-wal";
    ASSERT_GT(fs::file_size(wal), 0u);

    CheckpointIdle(std::chrono::hours(1));
    EXPECT_GT(fs::file_size(wal), 0u) << "checkpointed before it was idle";
    CheckpointIdle(std::chrono::milliseconds(0));
    EXPECT_EQ(fs::file_size(wal), 0u);
    RawDatabase copy(CopyAlone(File(), m_dir.path() / "copy"));
    EXPECT_EQ(copy.Scalar("SELECT name FROM items"), "written");
}

} // namespace
} // namespace ospreon::sqlite
