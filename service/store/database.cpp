#include "service/store/database.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "platform/os/paths.h"
#include "service/store/schema.h"
#include "service/store/service_errors.h"

namespace ospreon::store {

namespace {

constexpr char kFileName[] = "wardenhost.db";

std::string ErrnoText(int error)
{
    return std::generic_category().message(error);
}

HRESULT HResultFromSqlite(int rc)
{
    switch (rc & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return WARDEN_E_BUSY;
    case SQLITE_NOMEM:
        return E_OUTOFMEMORY;
    case SQLITE_TOOBIG:
        return E_INVALIDARG;
    default:
        // Not a database, damaged, not ours, unreadable, unwritable, disk full.
        return WARDEN_E_STORE;
    }
}

// Creates `folder` and its missing parents for the owner only.
Result<void> MakePrivateFolder(const std::filesystem::path& folder)
{
    std::error_code ec;
    if (folder.empty() || std::filesystem::is_directory(folder, ec))
        return {};
    std::filesystem::path partial;
    for (const auto& part : folder) {
        partial /= part;
        if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST)
            return Error{WARDEN_E_STORE, "store folder " + partial.string() +
                                             ": cannot create: " + ErrnoText(errno)};
    }
    if (!std::filesystem::is_directory(folder, ec))
        return Error{WARDEN_E_STORE, "store folder " + folder.string() + " is not a folder"};
    return {};
}

} // namespace

std::filesystem::path Database::DefaultPath()
{
    return os::Home() / kFileName;
}

Result<std::shared_ptr<Database>> Database::Open(const std::filesystem::path& file)
{
    if (Result<void> folder = MakePrivateFolder(file.parent_path()); !folder)
        return folder.error();
    std::shared_ptr<Database> database(new Database(file.string()));
    if (Result<void> connected = database->Connect(); !connected)
        return connected.error();
    if (Result<void> schema = EnsureSchema(*database); !schema)
        return schema.error();
    return database;
}

Database::~Database() = default;

Result<void> Database::Connect()
{
    // Created here rather than by SQLite so that it is the owner's alone from the
    // start (it holds passwords); SQLite gives the -wal and -shm files the
    // database file's mode.
    int fd = ::open(m_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0)
        ::close(fd);
    else if (errno != EEXIST)
        return Error{WARDEN_E_STORE, "store " + m_path + ": cannot create: " + ErrnoText(errno)};

    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(m_path.c_str(), &db,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX |
                                 SQLITE_OPEN_EXRESCODE,
                             nullptr);
    m_db.reset(db);
    if (rc != SQLITE_OK)
        return Fail(rc, "cannot open");
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    return {};
}

Result<Query> Database::Prepare(const char* sql)
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

Result<void> Database::Execute(const char* sql)
{
    int rc = sqlite3_exec(m_db.get(), sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        return Fail(rc);
    return {};
}

std::int64_t Database::Changes() const
{
    return sqlite3_changes64(m_db.get());
}

Error Database::Fail(int rc, std::string_view what) const
{
    std::string message = "store " + m_path + ": ";
    if (!what.empty()) {
        message += what;
        message += ": ";
    }
    message += m_db ? sqlite3_errmsg(m_db.get()) : sqlite3_errstr(rc);
    message += " (SQLite code " + std::to_string(rc) + ")";
    return Error{HResultFromSqlite(rc), std::move(message)};
}

} // namespace ospreon::store
