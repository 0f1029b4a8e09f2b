#include "service/store/schema.h"

#include <string>
#include <string_view>

#include "platform/sqlite/wal_mode.h"
#include "service/store/database.h"
#include "service/store/service_errors.h"
#include "service/store/transaction.h"

namespace ospreon::store {

namespace {

// kMigrations[i] takes the schema from version i to version i + 1.
constexpr const char* kMigrations[] = {
    R"sql(
CREATE TABLE meta(
    name TEXT PRIMARY KEY,
    value NOT NULL
) WITHOUT ROWID;
INSERT INTO meta(name, value) VALUES ('generation', 0), ('records_version', 0);
CREATE TABLE records(
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    name TEXT NOT NULL UNIQUE COLLATE NOCASE,
    type TEXT NOT NULL
);
CREATE TABLE params(
    record INTEGER NOT NULL,
    position INTEGER NOT NULL,
    key TEXT NOT NULL,
    value TEXT NOT NULL,
    PRIMARY KEY(record, position),
    UNIQUE(record, key)
) WITHOUT ROWID;
CREATE TABLE config(
    section TEXT NOT NULL COLLATE NOCASE,
    name TEXT NOT NULL COLLATE NOCASE,
    value TEXT NOT NULL,
    PRIMARY KEY(section, name)
) WITHOUT ROWID;
)sql",
};
static_assert(std::size(kMigrations) == kSchemaVersion, "one migration per schema version");

constexpr char kUserVersion[] = "PRAGMA user_version";
constexpr char kApplicationIdQuery[] = "PRAGMA application_id";
constexpr char kCountSchemaObjects[] = "SELECT count(*) FROM sqlite_schema";

Result<std::int64_t> ReadNumber(Database& database, const char* sql)
{
    Result<Query> query = database.Prepare(sql);
    if (!query)
        return query.error();
    Result<bool> row = query->Step();
    if (!row)
        return row.error();
    return *row ? query->Int(0) : 0;
}

Error NotOurs(const Database& database, const std::string& why)
{
    return Error{WARDEN_E_STORE, "store " + database.path() + " " + why};
}

// Whether the file may be used: a store of a schema this program knows, or an
// empty database.
Result<std::int64_t> CheckedVersion(Database& database)
{
    Result<std::int64_t> version = ReadNumber(database, kUserVersion);
    if (!version)
        return version.error();
    if (*version == 0) {
        Result<std::int64_t> objects = ReadNumber(database, kCountSchemaObjects);
        if (!objects)
            return objects.error();
        if (*objects != 0)
            return NotOurs(database, "is an SQLite database of something else");
        return 0;
    }
    Result<std::int64_t> application = ReadNumber(database, kApplicationIdQuery);
    if (!application)
        return application.error();
    if (*application != kApplicationId)
        return NotOurs(database, "is an SQLite database of something else");
    if (*version > kSchemaVersion)
        return NotOurs(database, "was written by a newer program (schema version " +
                                     std::to_string(*version) + ", this one knows up to " +
                                     std::to_string(kSchemaVersion) + ")");
    return version;
}

Result<void> Migrate(Database& database)
{
    // Another process may be migrating at this moment: look again under the
    // write lock.
    Transaction transaction(database);
    if (!transaction.ok())
        return transaction.error();
    Result<std::int64_t> version = CheckedVersion(database);
    if (!version)
        return version.error();
    for (std::int64_t next = *version; next < kSchemaVersion; ++next) {
        if (Result<void> done = database.Execute(kMigrations[next]); !done)
            return done.error();
    }
    // PRAGMA takes no bound parameters; both numbers are this program's constants.
    const std::string stamp = "PRAGMA application_id = " + std::to_string(kApplicationId) +
                              "; PRAGMA user_version = " + std::to_string(kSchemaVersion);
    if (Result<void> done = database.Execute(stamp.c_str()); !done)
        return done.error();
    return transaction.Commit();
}

} // namespace

Result<void> EnsureSchema(Database& database)
{
    auto lock = database.Lock();
    // Nothing is changed in a file until it is known to be ours (or empty). The
    // checks read one snapshot: another process may be creating the schema right
    // now, and its tables must not be seen without its version.
    Result<std::int64_t> version = [&]() -> Result<std::int64_t> {
        Transaction snapshot(database, Transaction::Kind::Read);
        if (!snapshot.ok())
            return snapshot.error();
        return CheckedVersion(database);
    }();
    if (!version)
        return version.error();
    // WAL lets readers go on while a writer commits. NORMAL syncs at checkpoints:
    // the file stays consistent through any crash, and only the last commits
    // before a power cut can be lost.
    if (int rc = sqlite::EnableWal(database.handle(), Database::kBusyTimeoutMs); rc != SQLITE_OK)
        return database.Fail(rc, "cannot switch to WAL mode");
    if (Result<void> sync = database.Execute("PRAGMA synchronous = NORMAL"); !sync)
        return sync.error();
    if (*version == kSchemaVersion)
        return {};
    return Migrate(database);
}

} // namespace ospreon::store
