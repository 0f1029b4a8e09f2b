#pragma once
// One open SQLite database of Ospreon's: created for the owner only, in WAL mode
// with a busy timeout, marked as ours by its application id and brought to the
// newest schema version one migration at a time; prepared statements kept for its
// lifetime; and one translation of SQLite's result codes into the caller's error
// that keeps SQLite's message and the file's path.
//
// A connection is used by one thread at a time: callers that share one between
// threads hold Lock() across an operation (its statements and its transaction).
// Separate connections (other objects, other processes) meet in SQLite's locking:
// WAL, writers beginning IMMEDIATE, and the busy timeout, so a writer waits for
// another instead of failing.

#include <sqlite3.h>
#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include "platform/base/result.h"
#include "platform/sqlite/statement.h"

namespace ospreon::sqlite {

// What makes a database file one program's own.
struct Schema
{
    // How messages name the file: "registry database", "store".
    std::string_view label;
    // PRAGMA application_id of the program's files.
    std::int32_t applicationId = 0;
    // migrations[i] takes the schema from version i to version i + 1, so the
    // newest version is their count. Each runs in the same write transaction as
    // the new version's stamp.
    std::span<const char* const> migrations;
    // Files written before the program set an application id carry only their
    // version: such a file is taken as ours and marked.
    bool adoptUnmarked = false;
    // The caller's error code for an SQLite result code. SQLITE_CANTOPEN stands
    // for a file or folder that cannot be created, SQLITE_NOTADB for a file that
    // is not ours.
    int (*errorCode)(int rc) = nullptr;
    // The kind of those codes.
    ErrorKind errorKind = ErrorKind::None;

    std::int64_t version() const { return static_cast<std::int64_t>(migrations.size()); }
};

// Which file a path names: a file deleted or replaced behind an open connection
// shows as another identity.
struct FileIdentity
{
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FileIdentity&) const = default;
};

// The identity of the file at `path`; nullopt when there is none.
std::optional<FileIdentity> IdentityOf(const std::string& path);

class Connection
{
public:
    static constexpr int kBusyTimeoutMs = 10'000;

    // Opens `file`, creating it (mode 0600) and its folders (mode 0700) when
    // missing. Nothing in the file is changed until it is known to be ours or
    // empty; a file of another program or of a newer schema is refused.
    // `schema` is a constant that outlives the connection.
    static Result<std::unique_ptr<Connection>> Open(const std::filesystem::path& file,
                                                    const Schema& schema);

    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    [[nodiscard]] std::unique_lock<std::mutex> Lock() { return std::unique_lock(m_mutex); }

    sqlite3* handle() const { return m_db.get(); }
    const std::string& path() const { return m_path; }
    const FileIdentity& identity() const { return m_identity; }

    // A use of the statement for `sql`, prepared once and kept. `sql` must be a
    // string constant: the cache is keyed by its address.
    [[nodiscard]] Result<Statement> Prepare(const char* sql);
    // Runs one or more statements without parameters or results.
    [[nodiscard]] Result<void> Execute(const char* sql);

    // One-statement helpers; `args` are bound to ?1, ?2, ... (see BindAll).
    // Runs a statement that returns no rows.
    template <class... Args> [[nodiscard]] Result<void> Run(const char* sql, const Args&... args)
    {
        Result<Statement> statement = Prepare(sql);
        if (!statement)
            return statement.error();
        return statement->BindAll(args...).Run();
    }
    // The first row of `sql` as `read` makes it of the statement; nullopt when
    // there is no row.
    template <class Read, class... Args>
    [[nodiscard]] auto QueryRow(const char* sql, Read&& read, const Args&... args)
        -> Result<std::optional<std::invoke_result_t<Read&, const Statement&>>>
    {
        using Row = std::invoke_result_t<Read&, const Statement&>;
        Result<Statement> statement = Prepare(sql);
        if (!statement)
            return statement.error();
        Result<bool> row = statement->BindAll(args...).Step();
        if (!row)
            return row.error();
        if (!*row)
            return std::optional<Row>();
        return std::optional<Row>(read(*statement));
    }
    // The first column of the first row as an integer; nullopt when there is no row.
    template <class... Args>
    [[nodiscard]] Result<std::optional<std::int64_t>> QueryInt(const char* sql, const Args&... args)
    {
        return QueryRow(
            sql, [](const Statement& row) { return row.Int(0); }, args...);
    }

    // Rows changed by the last INSERT, UPDATE or DELETE on this connection.
    std::int64_t Changes() const;
    std::int64_t LastInsertId() const;

    // The caller's error for SQLite's result `rc`, with SQLite's message, `what`
    // was being done and the file.
    Error Fail(int rc, std::string_view what = {}) const;
    // The caller's error for `rc` with a reason of our own: "<label> <path> <why>".
    Error Refuse(int rc, std::string_view why) const;

    // Copies the WAL into the database file and empties it, so that the file alone
    // holds everything committed. Gives up after `busyMs` when other connections
    // keep reading an older snapshot.
    [[nodiscard]] Result<void> Checkpoint(int busyMs = kBusyTimeoutMs);

    // Lets go of the SQLite handles without closing them. A child process of
    // fork() must neither use nor close its parent's connection: SQLite's locks
    // belong to the parent, and a close could checkpoint and remove its WAL.
    // The handles stay referenced here, so leak checkers see them as reachable.
    void Abandon();

private:
    friend class Transaction;
    friend void CheckpointAll();
    friend void CheckpointIdle(std::chrono::milliseconds idle);

    Connection(std::string path, const Schema& schema);
    Result<void> Connect();
    Result<std::int64_t> CheckedVersion(bool* unmarked);
    Result<void> EnableWal();
    Result<void> Migrate();
    // Whether this process may still use the handles (not a fork child's copy).
    bool Owned() const;
    static int OnCommit(void* connection);

    std::mutex m_mutex;
    // Destroyed in reverse order: the statements before the connection.
    struct Closer
    {
        // close_v2 defers the close until the last statement is finalized, so
        // the order in which owners go away does not matter.
        void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
    };
    struct Finalizer
    {
        void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
    };
    std::unique_ptr<sqlite3, Closer> m_db;
    std::unordered_map<const char*, std::unique_ptr<sqlite3_stmt, Finalizer>> m_statements;
    std::string m_path;
    const Schema& m_schema;
    FileIdentity m_identity;
    pid_t m_owner = 0;
    std::vector<void*> m_abandoned;

    // Open transactions (see Transaction): how deep, and whether the outermost
    // one writes.
    int m_transactionDepth = 0;
    bool m_outerWrites = false;

    // Set by every commit; cleared by a checkpoint that saw it.
    std::atomic<bool> m_unsaved{false};
    std::atomic<std::int64_t> m_lastCommitNs{0};
};

// Checkpoints every connection of this process (Connection::Checkpoint). Runs by
// itself when a process ends normally, so that after every process has ended each
// database file holds all its data without its -wal.
void CheckpointAll();

// Checkpoints the connections that have committed since their last checkpoint and
// then been idle for `idle`: for a process that runs for months.
void CheckpointIdle(std::chrono::milliseconds idle);

} // namespace ospreon::sqlite
