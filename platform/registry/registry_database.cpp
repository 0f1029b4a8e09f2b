#include "platform/registry/registry_database.h"

#include "platform/wintypes/winerror.h"

namespace ospreon::registry {

namespace {

// kMigrations[i] takes the schema from version i to version i + 1.
//
// Key ids are never reused (AUTOINCREMENT), so a handle to a deleted key can not
// come to name a key created later. The two roots have fixed ids.
constexpr const char* kMigrations[] = {
    R"sql(
CREATE TABLE keys(
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    parent INTEGER,
    name TEXT NOT NULL COLLATE NOCASE
);
CREATE UNIQUE INDEX keys_by_parent ON keys(parent, name);
CREATE TABLE key_values(
    key INTEGER NOT NULL,
    name TEXT NOT NULL COLLATE NOCASE,
    type INTEGER NOT NULL,
    data BLOB NOT NULL,
    PRIMARY KEY(key, name)
) WITHOUT ROWID;
INSERT INTO keys(id, parent, name) VALUES (1, NULL, 'HKEY_CLASSES_ROOT'),
                                          (2, NULL, 'HKEY_LOCAL_MACHINE');
)sql",
};

int Win32FromSqlite(int rc)
{
    switch (rc) {
    case SQLITE_IOERR_READ:
    case SQLITE_IOERR_SHORT_READ:
        return ERROR_CANTREAD;
    default:
        break;
    }
    switch (rc & 0xff) {
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
    case SQLITE_FORMAT:
        return ERROR_BADDB;
    case SQLITE_CANTOPEN:
        return ERROR_CANTOPEN;
    case SQLITE_PERM:
    case SQLITE_AUTH:
    case SQLITE_READONLY:
        return ERROR_ACCESS_DENIED;
    case SQLITE_IOERR:
    case SQLITE_FULL:
        return ERROR_CANTWRITE;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return ERROR_TIMEOUT;
    case SQLITE_NOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case SQLITE_TOOBIG:
    case SQLITE_MISUSE:
        return ERROR_INVALID_PARAMETER;
    default:
        // A schema that is not ours ("no such table") and anything unexpected.
        return ERROR_BADDB;
    }
}

// Registries written before the application id was set carry only version 1.
constexpr sqlite::Schema kRegistrySchema{
    .label = "registry database",
    .applicationId = 0x4F535247, // "OSRG"
    .migrations = kMigrations,
    .adoptUnmarked = true,
    .errorCode = &Win32FromSqlite,
    .errorKind = ErrorKind::Win32,
};

} // namespace

Result<std::unique_ptr<sqlite::Connection>> OpenRegistryDatabase(const std::filesystem::path& file)
{
    return sqlite::Connection::Open(file, kRegistrySchema);
}

} // namespace ospreon::registry
