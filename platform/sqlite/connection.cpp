#include "platform/sqlite/connection.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <system_error>
#include <thread>

#include "platform/sqlite/transaction.h"

namespace ospreon::sqlite {

namespace {

constexpr char kUserVersion[] = "PRAGMA user_version";
constexpr char kApplicationId[] = "PRAGMA application_id";
constexpr char kJournalMode[] = "PRAGMA journal_mode";
constexpr char kCountSchemaObjects[] = "SELECT count(*) FROM sqlite_schema";

// How long a checkpoint of our own waits for readers that keep an older snapshot.
// Nobody should wait long for it at exit or in a daemon's idle time: what stays in
// the -wal is checkpointed later, at the latest by the last process to end.
constexpr int kCheckpointBusyMs = 1'000;

std::string ErrnoText(int error)
{
    return std::generic_category().message(error);
}

std::int64_t NowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The connections of this process, for the checkpoints; never destroyed, so that
// connections closed by static destructors can still take themselves out.
struct OpenConnections
{
    std::mutex mutex;
    std::vector<Connection*> list;

    static OpenConnections& Instance()
    {
        static OpenConnections* const connections = new OpenConnections();
        return *connections;
    }
};

void Register(Connection* connection)
{
    static std::once_flag atExit;
    std::call_once(atExit, [] { std::atexit(CheckpointAll); });
    OpenConnections& open = OpenConnections::Instance();
    std::lock_guard lock(open.mutex);
    open.list.push_back(connection);
}

void Unregister(Connection* connection)
{
    OpenConnections& open = OpenConnections::Instance();
    std::lock_guard lock(open.mutex);
    std::erase(open.list, connection);
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

Connection::Connection(std::string path, const Schema& schema)
    : m_path(std::move(path)), m_schema(schema), m_owner(::getpid())
{}

Connection::~Connection()
{
    Unregister(this);
}

Result<std::unique_ptr<Connection>> Connection::Open(const std::filesystem::path& file,
                                                     const Schema& schema)
{
    std::unique_ptr<Connection> connection(new Connection(file.string(), schema));
    if (Result<void> connected = connection->Connect(); !connected)
        return connected.error();
    // Nothing is changed in a file until it is known to be ours (or empty). Both
    // reads come from one snapshot: another process may be creating the schema
    // right now, and its tables must not be seen without its version.
    bool unmarked = false;
    Result<std::int64_t> version = [&]() -> Result<std::int64_t> {
        Transaction snapshot(*connection, Transaction::Kind::Deferred);
        if (!snapshot.ok())
            return snapshot.error();
        return connection->CheckedVersion(&unmarked);
    }();
    if (!version)
        return version.error();
    if (Result<void> wal = connection->EnableWal(); !wal)
        return wal.error();
    if (*version != schema.version() || unmarked) {
        if (Result<void> migrated = connection->Migrate(); !migrated)
            return migrated.error();
    }
    std::optional<FileIdentity> identity = IdentityOf(connection->m_path);
    if (!identity)
        return connection->Refuse(SQLITE_CANTOPEN, "vanished while it was being opened");
    connection->m_identity = *identity;
    sqlite3_commit_hook(connection->handle(), &Connection::OnCommit, connection.get());
    Register(connection.get());
    return connection;
}

Result<void> Connection::Connect()
{
    const std::filesystem::path file(m_path);
    std::filesystem::path partial;
    for (const auto& part : file.parent_path()) {
        partial /= part;
        if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST)
            return Refuse(SQLITE_CANTOPEN, "cannot be created: folder " + partial.string() + ": " +
                                               ErrnoText(errno));
    }
    // Created here rather than by SQLite so that it is the owner's alone from the
    // start; SQLite gives the -wal and -shm files the database file's mode.
    int fd = ::open(m_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0)
        ::close(fd);
    else if (errno != EEXIST && errno != EISDIR)
        return Refuse(SQLITE_CANTOPEN, "cannot be created: " + ErrnoText(errno));

    sqlite3* db = nullptr;
    // Serialized: the checkpoints at exit and when idle may come from another
    // thread than the one using the connection.
    int rc = sqlite3_open_v2(m_path.c_str(), &db,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX |
                                 SQLITE_OPEN_EXRESCODE,
                             nullptr);
    m_db.reset(db);
    if (rc != SQLITE_OK) {
        Error error = Fail(rc, "cannot open");
        std::error_code ec;
        if (std::filesystem::is_directory(file, ec))
            error.message += "; a folder is in its place";
        return error;
    }
    sqlite3_extended_result_codes(db, 1);
    // Writers begin IMMEDIATE, so a busy database means waiting, never a deadlock
    // that only a retry could break.
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    return {};
}

Result<std::int64_t> Connection::CheckedVersion(bool* unmarked)
{
    Result<std::optional<std::int64_t>> version = QueryInt(kUserVersion);
    if (!version)
        return version.error();
    if (version->value_or(0) == 0) {
        Result<std::optional<std::int64_t>> objects = QueryInt(kCountSchemaObjects);
        if (!objects)
            return objects.error();
        if (objects->value_or(0) != 0)
            return Refuse(SQLITE_NOTADB, "is an SQLite database of something else (it has "
                                         "tables but no schema version)");
        return 0;
    }
    Result<std::optional<std::int64_t>> application = QueryInt(kApplicationId);
    if (!application)
        return application.error();
    const std::int64_t mark = application->value_or(0);
    *unmarked = mark == 0 && m_schema.adoptUnmarked;
    if (mark != m_schema.applicationId && !*unmarked)
        return Refuse(SQLITE_NOTADB, "is an SQLite database of something else");
    if (**version > m_schema.version())
        return Refuse(SQLITE_NOTADB, "was written by a newer program (schema version " +
                                         std::to_string(**version) + ", this one knows up to " +
                                         std::to_string(m_schema.version()) + ")");
    return **version;
}

Result<void> Connection::EnableWal()
{
    // WAL lets readers go on while a writer commits. NORMAL syncs at checkpoints:
    // the file stays consistent through any crash, and only the last commits
    // before a power cut can be lost.
    Result<std::optional<std::string>> mode =
        QueryRow(kJournalMode, [](const Statement& row) { return std::string(row.Text(0)); });
    if (!mode)
        return mode.error();
    if (*mode != "wal") {
        // The switch takes an exclusive lock, which SQLite does not wait for
        // through the busy handler: when another process opening the same new
        // file holds a lock, try again until the busy timeout runs out.
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(kBusyTimeoutMs);
        for (;;) {
            int rc =
                sqlite3_exec(m_db.get(), "PRAGMA journal_mode = WAL", nullptr, nullptr, nullptr);
            if (rc == SQLITE_OK)
                break;
            const bool busy = (rc & 0xff) == SQLITE_BUSY || (rc & 0xff) == SQLITE_LOCKED;
            if (!busy || std::chrono::steady_clock::now() >= deadline)
                return Fail(rc, "cannot switch to WAL mode");
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    return Execute("PRAGMA synchronous = NORMAL");
}

Result<void> Connection::Migrate()
{
    // Another process may be migrating at this moment: look again under the
    // write lock.
    Transaction transaction(*this);
    if (!transaction.ok())
        return transaction.error();
    bool unmarked = false;
    Result<std::int64_t> version = CheckedVersion(&unmarked);
    if (!version)
        return version.error();
    for (std::int64_t next = *version; next < m_schema.version(); ++next) {
        if (Result<void> done = Execute(m_schema.migrations[next]); !done) {
            Error error = done.error();
            error.message += " (migrating to schema version " + std::to_string(next + 1) + ")";
            return error;
        }
    }
    // PRAGMA takes no bound parameters; both numbers are the program's constants.
    const std::string stamp = "PRAGMA application_id = " + std::to_string(m_schema.applicationId) +
                              "; PRAGMA user_version = " + std::to_string(m_schema.version());
    if (Result<void> done = Execute(stamp.c_str()); !done)
        return done.error();
    return transaction.Commit();
}

Result<Statement> Connection::Prepare(const char* sql)
{
    auto found = m_statements.find(sql);
    if (found == m_statements.end()) {
        sqlite3_stmt* statement = nullptr;
        int rc =
            sqlite3_prepare_v3(m_db.get(), sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr);
        if (rc != SQLITE_OK)
            return Fail(rc, "cannot prepare a statement");
        found = m_statements.emplace(sql, statement).first;
    }
    return Statement(found->second.get(), *this);
}

Result<void> Connection::Execute(const char* sql)
{
    int rc = sqlite3_exec(m_db.get(), sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        return Fail(rc);
    return {};
}

std::int64_t Connection::Changes() const
{
    return sqlite3_changes64(m_db.get());
}

std::int64_t Connection::LastInsertId() const
{
    return sqlite3_last_insert_rowid(m_db.get());
}

Error Connection::Fail(int rc, std::string_view what) const
{
    std::string message = std::string(m_schema.label) + " " + m_path + ": ";
    if (!what.empty()) {
        message += what;
        message += ": ";
    }
    message += m_db ? sqlite3_errmsg(m_db.get()) : sqlite3_errstr(rc);
    message += " (SQLite code " + std::to_string(rc) + ")";
    return Error{m_schema.errorKind, m_schema.errorCode(rc), std::move(message)};
}

Error Connection::Refuse(int rc, std::string_view why) const
{
    return Error{m_schema.errorKind, m_schema.errorCode(rc),
                 std::string(m_schema.label) + " " + m_path + " " + std::string(why)};
}

Result<void> Connection::Checkpoint(int busyMs)
{
    if (!Owned())
        return {};
    sqlite3* db = m_db.get();
    sqlite3_busy_timeout(db, busyMs);
    int rc = sqlite3_wal_checkpoint_v2(db, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    if (rc != SQLITE_OK)
        return Fail(rc, "cannot checkpoint");
    return {};
}

bool Connection::Owned() const
{
    return m_db && m_owner == ::getpid();
}

int Connection::OnCommit(void* connection)
{
    auto* self = static_cast<Connection*>(connection);
    self->m_lastCommitNs.store(NowNs(), std::memory_order_relaxed);
    self->m_unsaved.store(true, std::memory_order_release);
    return 0; // let the commit go on
}

void Connection::Abandon()
{
    Unregister(this);
    for (auto& [sql, statement] : m_statements)
        m_abandoned.push_back(statement.release());
    m_abandoned.push_back(m_db.release());
}

void CheckpointAll()
{
    OpenConnections& open = OpenConnections::Instance();
    std::lock_guard lock(open.mutex);
    for (Connection* connection : open.list) {
        // An empty -wal has nothing to give; leaving it alone leaves other
        // connections' view of the database as it was.
        std::error_code ec;
        if (std::filesystem::file_size(connection->m_path + "-wal", ec) == 0 || ec)
            continue;
        if (connection->Owned() && connection->Checkpoint(kCheckpointBusyMs))
            connection->m_unsaved.store(false);
    }
}

void CheckpointIdle(std::chrono::milliseconds idle)
{
    const std::int64_t now = NowNs();
    const std::int64_t idleNs = std::chrono::nanoseconds(idle).count();
    OpenConnections& open = OpenConnections::Instance();
    std::lock_guard lock(open.mutex);
    for (Connection* connection : open.list) {
        if (!connection->Owned() || !connection->m_unsaved.load(std::memory_order_acquire))
            continue;
        if (now - connection->m_lastCommitNs.load(std::memory_order_relaxed) < idleNs)
            continue;
        // Cleared first: a commit during the checkpoint sets it again.
        connection->m_unsaved.store(false);
        if (!connection->Checkpoint(kCheckpointBusyMs))
            connection->m_unsaved.store(true);
    }
}

} // namespace ospreon::sqlite
