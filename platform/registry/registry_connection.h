#pragma once
// One open registry.db: the SQLite connection with its settings and schema, the
// prepared statements kept for its lifetime, and the translation of SQLite's
// result codes into Win32 errors whose text names the file.

#include <sqlite3.h>
#include <sys/types.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/os/result.h"
#include "platform/registry/sqlite_query.h"

namespace ospreon::registry {

// Which file a path names: a registry.db deleted or replaced behind an open
// connection shows as another identity.
struct FileIdentity
{
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FileIdentity&) const = default;
};

// The identity of the file at `path`; nullopt when there is none.
std::optional<FileIdentity> IdentityOf(const std::string& path);

class RegistryConnection
{
public:
    static constexpr std::int64_t kSchemaVersion = 1;

    // Opens `file`, creating it (mode 0600) and its folder (mode 0700) when
    // missing, switches it to WAL and creates the schema on first use.
    static Result<std::unique_ptr<RegistryConnection>> Open(const std::filesystem::path& file);

    RegistryConnection(const RegistryConnection&) = delete;
    RegistryConnection& operator=(const RegistryConnection&) = delete;

    sqlite3* handle() const { return m_db.get(); }
    const std::string& path() const { return m_path; }
    const FileIdentity& identity() const { return m_identity; }

    // A use of the statement for `sql`, prepared once and kept. `sql` must be a
    // string constant: the cache is keyed by its address.
    [[nodiscard]] Result<Query> Prepare(const char* sql);

    // The Win32 error for SQLite's result `rc`, with SQLite's message and the file.
    Error Fail(int rc, std::string_view what = {}) const;

    // Lets go of the SQLite handles without closing them. A child process of
    // fork() must neither use nor close its parent's connection: SQLite's locks
    // belong to the parent, and a close could checkpoint and remove its WAL.
    // The handles stay referenced here, so leak checkers see them as reachable.
    void Abandon();

private:
    explicit RegistryConnection(std::string path) : m_path(std::move(path)) {}
    // Fails for a file that is not a registry database this program can use.
    Result<void> CheckOwnership();
    Error NotARegistry() const;
    Result<void> Configure();
    Result<std::int64_t> SchemaVersion();
    Result<bool> IsEmpty();
    Result<void> EnsureSchema();

    // Destroyed in reverse order: the statements before the connection.
    DatabasePtr m_db;
    std::unordered_map<const char*, StatementPtr> m_statements;
    std::string m_path;
    FileIdentity m_identity;
    std::vector<void*> m_abandoned;
};

} // namespace ospreon::registry
