#pragma once
// One open wardenhost.db: the SQLite connection with its settings and schema, the
// prepared statements kept for its lifetime, and the translation of SQLite's
// result codes into the service's HRESULTs with a text that names the file.
//
// A connection is used by one thread at a time: every operation holds Lock() across
// its statements and its transaction. Separate connections (other objects, other
// processes) meet in SQLite's own locking: WAL, writers beginning IMMEDIATE, and a
// busy timeout, so a writer waits for another instead of failing.

#include <sqlite3.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/os/result.h"
#include "service/store/query.h"
#include "service/store/sqlite_handles.h"

namespace ospreon::store {

class Database
{
public:
    static constexpr int kBusyTimeoutMs = 10'000;

    // $OSPREON_HOME/wardenhost.db.
    static std::filesystem::path DefaultPath();

    // Opens `file`, creating it (mode 0600) and its folder (mode 0700) when
    // missing, and brings its schema up to date. Fails with WARDEN_E_STORE for a
    // file that is not a store of this program (or of a newer one).
    static Result<std::shared_ptr<Database>> Open(const std::filesystem::path& file);
    static Result<std::shared_ptr<Database>> OpenDefault() { return Open(DefaultPath()); }

    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Held across one operation: its statements and its transaction.
    [[nodiscard]] std::unique_lock<std::mutex> Lock() { return std::unique_lock(m_mutex); }

    sqlite3* handle() const { return m_db.get(); }
    const std::string& path() const { return m_path; }

    // A use of the statement for `sql`, prepared once and kept. `sql` must be a
    // string constant: the cache is keyed by its address.
    [[nodiscard]] Result<Query> Prepare(const char* sql);
    // Runs one or more statements without parameters or results.
    [[nodiscard]] Result<void> Execute(const char* sql);
    // Rows changed by the last INSERT, UPDATE or DELETE on this connection.
    std::int64_t Changes() const;

    // The HRESULT for SQLite's result `rc` with SQLite's message and the file.
    Error Fail(int rc, std::string_view what = {}) const;

private:
    explicit Database(std::string path) : m_path(std::move(path)) {}
    Result<void> Connect();

    std::mutex m_mutex;
    // Destroyed in reverse order: the statements before the connection.
    DatabasePtr m_db;
    std::unordered_map<const char*, StatementPtr> m_statements;
    std::string m_path;
};

} // namespace ospreon::store
