#include "platform/registry/registry_connection.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>
#include <system_error>

#include "platform/registry/transaction.h"
#include "platform/sqlite/wal_mode.h"
#include "platform/wintypes/winerror.h"

namespace ospreon::registry {

namespace {

constexpr int kBusyTimeoutMs = 10'000;

constexpr char kSchemaVersionQuery[] = "PRAGMA user_version";
constexpr char kCountSchemaObjects[] = "SELECT count(*) FROM sqlite_schema";

// Key ids are never reused (AUTOINCREMENT), so a handle to a deleted key can
// not come to name a key created later. The two roots have fixed ids.
constexpr char kCreateSchema[] = R"sql(
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
PRAGMA user_version = 1;
)sql";

std::string ErrnoText(int error)
{
    return std::generic_category().message(error);
}

LSTATUS Win32FromSqlite(int rc)
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
        return ERROR_INVALID_PARAMETER;
    default:
        // A schema that is not ours ("no such table") and anything unexpected.
        return ERROR_BADDB;
    }
}

// Creates `folder` and its missing parents for the owner only.
Result<void> MakePrivateFolder(const std::filesystem::path& folder)
{
    std::error_code ec;
    if (std::filesystem::is_directory(folder, ec))
        return {};
    std::filesystem::path partial;
    for (const auto& part : folder) {
        partial /= part;
        if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST)
            return Error{ERROR_CANTOPEN, "registry folder " + partial.string() +
                                             ": cannot create: " + ErrnoText(errno)};
    }
    if (!std::filesystem::is_directory(folder, ec))
        return Error{ERROR_CANTOPEN, "registry folder " + folder.string() + " is not a folder"};
    return {};
}

} // namespace

std::optional<FileIdentity> IdentityOf(const std::string& path)
{
    struct stat info
    {};
    if (::stat(path.c_str(), &info) != 0)
        return std::nullopt;
    return FileIdentity{info.st_dev, info.st_ino};
}

Result<std::unique_ptr<RegistryConnection>>
RegistryConnection::Open(const std::filesystem::path& file)
{
    if (Result<void> folder = MakePrivateFolder(file.parent_path()); !folder)
        return folder.error();

    std::unique_ptr<RegistryConnection> connection(new RegistryConnection(file.string()));
    const std::string& path = connection->m_path;

    // Created here rather than by SQLite so that it is the owner's alone from the
    // start; SQLite gives the -wal and -shm files the database file's mode.
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0)
        ::close(fd);
    else if (errno != EEXIST)
        return Error{ERROR_CANTOPEN,
                     "registry database " + path + ": cannot create: " + ErrnoText(errno)};

    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(path.c_str(), &db,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX |
                                 SQLITE_OPEN_EXRESCODE,
                             nullptr);
    connection->m_db.reset(db);
    if (rc != SQLITE_OK) {
        Error error = connection->Fail(rc, "cannot open");
        std::error_code ec;
        if (std::filesystem::is_directory(file, ec))
            error.message += "; a folder is in its place";
        return error;
    }
    // Nothing is changed in a file until it is known to be ours (or empty).
    if (Result<void> checked = connection->CheckOwnership(); !checked)
        return checked.error();
    if (Result<void> configured = connection->Configure(); !configured)
        return configured.error();
    if (Result<void> schema = connection->EnsureSchema(); !schema)
        return schema.error();
    std::optional<FileIdentity> identity = IdentityOf(path);
    if (!identity)
        return Error{ERROR_CANTOPEN, "registry database " + path + ": vanished while opening"};
    connection->m_identity = *identity;
    return connection;
}

Result<void> RegistryConnection::CheckOwnership()
{
    sqlite3_extended_result_codes(m_db.get(), 1);
    // Writers begin IMMEDIATE, so a busy database means waiting, never a
    // deadlock that only a retry could break.
    sqlite3_busy_timeout(m_db.get(), kBusyTimeoutMs);
    // Both reads from one snapshot: another process may be creating the schema
    // right now, and its tables must not be seen without its version.
    Transaction snapshot(*this, Transaction::Kind::Read);
    if (!snapshot.ok())
        return snapshot.error();
    Result<std::int64_t> version = SchemaVersion();
    if (!version)
        return version.error();
    if (*version != 0)
        return {};
    Result<bool> empty = IsEmpty();
    if (!empty)
        return empty.error();
    if (!*empty)
        return NotARegistry();
    return {};
}

Error RegistryConnection::NotARegistry() const
{
    return Error{ERROR_BADDB, "registry database " + m_path +
                                  " is an SQLite database of something else (it has tables "
                                  "but no registry schema version)"};
}

Result<void> RegistryConnection::Configure()
{
    sqlite3* db = m_db.get();
    // WAL lets readers go on while a writer commits. NORMAL syncs at checkpoints:
    // the file stays consistent through any crash, and only the last commits
    // before a power cut can be lost.
    if (int rc = sqlite::EnableWal(db, kBusyTimeoutMs); rc != SQLITE_OK)
        return Fail(rc, "cannot switch to WAL mode");
    if (int rc = sqlite3_exec(db, "PRAGMA synchronous = NORMAL", nullptr, nullptr, nullptr);
        rc != SQLITE_OK)
        return Fail(rc, "PRAGMA synchronous = NORMAL");
    return {};
}

Result<std::int64_t> RegistryConnection::SchemaVersion()
{
    Result<Query> query = Prepare(kSchemaVersionQuery);
    if (!query)
        return query.error();
    Result<bool> row = query->Step();
    if (!row)
        return row.error();
    std::int64_t version = *row ? query->Int(0) : 0;
    if (version > kSchemaVersion)
        return Error{ERROR_BADDB, "registry database " + m_path +
                                      " was written by a newer program (schema version " +
                                      std::to_string(version) + "; this one knows up to " +
                                      std::to_string(kSchemaVersion) + ")"};
    return version;
}

Result<bool> RegistryConnection::IsEmpty()
{
    Result<Query> query = Prepare(kCountSchemaObjects);
    if (!query)
        return query.error();
    Result<bool> row = query->Step();
    if (!row)
        return row.error();
    return query->Int(0) == 0;
}

Result<void> RegistryConnection::EnsureSchema()
{
    Result<std::int64_t> version = SchemaVersion();
    if (!version)
        return version.error();
    if (*version == kSchemaVersion)
        return {};

    // Another process may be creating the schema at this moment: look again
    // under the write lock.
    Transaction transaction(*this);
    if (!transaction.ok())
        return transaction.error();
    version = SchemaVersion();
    if (!version)
        return version.error();
    if (*version == kSchemaVersion)
        return {};

    Result<bool> empty = IsEmpty();
    if (!empty)
        return empty.error();
    if (!*empty)
        return NotARegistry();
    int rc = sqlite3_exec(m_db.get(), kCreateSchema, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        return Fail(rc, "cannot create the registry tables");
    return transaction.Commit();
}

Result<Query> RegistryConnection::Prepare(const char* sql)
{
    auto found = m_statements.find(sql);
    if (found == m_statements.end()) {
        sqlite3_stmt* statement = nullptr;
        int rc =
            sqlite3_prepare_v3(m_db.get(), sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr);
        if (rc != SQLITE_OK)
            return Fail(rc, "cannot prepare a statement");
        found = m_statements.emplace(sql, StatementPtr(statement)).first;
    }
    return Query(found->second.get(), *this);
}

Error RegistryConnection::Fail(int rc, std::string_view what) const
{
    std::string message = "registry database " + m_path + ": ";
    if (!what.empty()) {
        message += what;
        message += ": ";
    }
    message += m_db ? sqlite3_errmsg(m_db.get()) : sqlite3_errstr(rc);
    message += " (SQLite code " + std::to_string(rc) + ")";
    return Error{Win32FromSqlite(rc), std::move(message)};
}

void RegistryConnection::Abandon()
{
    for (auto& [sql, statement] : m_statements)
        m_abandoned.push_back(statement.release());
    m_abandoned.push_back(m_db.release());
}

} // namespace ospreon::registry
