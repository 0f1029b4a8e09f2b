#include "service/store/database.h"

#include "interfaces/service_errors.h"
#include "platform/os/paths.h"
#include "service/store/schema.h"

namespace ospreon::store {

namespace {

constexpr char kFileName[] = "wardenhost.db";

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
    // The daemon's per-monitor state beside the records, and a counter of the
    // changes that matter to its schedule (every change of records and parameters
    // but the results it writes itself), so that it notices them with one read.
    R"sql(
CREATE TABLE monitor_state(
    record INTEGER PRIMARY KEY,
    failures INTEGER NOT NULL DEFAULT 0,
    alarm INTEGER NOT NULL DEFAULT 0,
    recovery_due INTEGER NOT NULL DEFAULT 0,
    last_check INTEGER NOT NULL DEFAULT 0
);
INSERT INTO meta(name, value) VALUES ('settings_version', 0);
CREATE TRIGGER records_added AFTER INSERT ON records BEGIN
    UPDATE meta SET value = value + 1 WHERE name = 'settings_version';
END;
CREATE TRIGGER records_changed AFTER UPDATE ON records BEGIN
    UPDATE meta SET value = value + 1 WHERE name = 'settings_version';
END;
CREATE TRIGGER records_removed AFTER DELETE ON records BEGIN
    DELETE FROM monitor_state WHERE record = OLD.id;
    UPDATE meta SET value = value + 1 WHERE name = 'settings_version';
END;
CREATE TRIGGER params_added AFTER INSERT ON params BEGIN
    UPDATE meta SET value = value + 1 WHERE name = 'settings_version';
END;
CREATE TRIGGER params_removed AFTER DELETE ON params BEGIN
    UPDATE meta SET value = value + 1 WHERE name = 'settings_version';
END;
CREATE TRIGGER params_changed AFTER UPDATE ON params
WHEN NEW.key <> 'Monitor_Result' OR OLD.key <> 'Monitor_Result' BEGIN
    UPDATE meta SET value = value + 1 WHERE name = 'settings_version';
END;
)sql",
};

static_assert(std::size(kMigrations) == kSchemaVersion, "one migration per schema version");

int HResultFromSqlite(int rc)
{
    switch (rc & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return WARDEN_E_BUSY;
    case SQLITE_NOMEM:
        return E_OUTOFMEMORY;
    case SQLITE_TOOBIG:
        return E_INVALIDARG;
    case SQLITE_MISUSE:
        return E_UNEXPECTED;
    default:
        // Not a database, damaged, not ours, unreadable, unwritable, disk full.
        return WARDEN_E_STORE;
    }
}

} // namespace

const sqlite::Schema kStoreSchema{
    .label = "store",
    .applicationId = kApplicationId,
    .migrations = kMigrations,
    .adoptUnmarked = false,
    .errorCode = &HResultFromSqlite,
    .errorKind = ErrorKind::HResult,
};

std::filesystem::path DefaultPath()
{
    return os::Home() / kFileName;
}

Result<std::shared_ptr<Database>> Open(const std::filesystem::path& file)
{
    Result<std::unique_ptr<Database>> opened = Database::Open(file, kStoreSchema);
    if (!opened)
        return opened.error();
    return std::shared_ptr<Database>(std::move(*opened));
}

Result<std::shared_ptr<Database>> OpenDefault()
{
    return Open(DefaultPath());
}

} // namespace ospreon::store
