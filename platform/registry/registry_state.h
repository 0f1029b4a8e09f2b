#pragma once
// The process's one registry connection and its open key handles, behind one
// mutex. The connection follows $OSPREON_HOME: when the variable names another
// folder, or registry.db was replaced or removed, the next call reopens.

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/base/result.h"
#include "platform/registry/key_store.h"
#include "platform/registry/registry.h"
#include "platform/sqlite/connection.h"

// What an HKEY of an opened key points to.
struct RegistryKeyHandle
{
    std::int64_t id = 0;
    std::string database;                   // path of the registry.db it belongs to
    ospreon::sqlite::FileIdentity identity; // and that file's identity
    std::string path;                       // "HKEY_LOCAL_MACHINE\SOFTWARE\...", for messages
};

namespace ospreon::registry {

class RegistryState
{
public:
    // Never destroyed: calls from other libraries' static destructors still work.
    static RegistryState& Instance();

    std::unique_lock<std::mutex> Lock() { return std::unique_lock<std::mutex>(m_mutex); }

    // The following need the lock held.

    // The connection to the current $OSPREON_HOME/registry.db, (re)opened as needed.
    Result<sqlite::Connection*> Connection();
    // The row an HKEY stands for in `connection`'s database. ERROR_INVALID_HANDLE
    // for what is not an open key, or a key of another database.
    Result<KeyRef> Resolve(HKEY key, const sqlite::Connection& connection) const;
    // A new handle for row `id`.
    HKEY Adopt(std::int64_t id, std::string path, const sqlite::Connection& connection);
    // Forgets and frees a handle; false when it is not one of ours.
    bool Close(HKEY key);

private:
    RegistryState();

    std::mutex m_mutex;
    bool m_forked = false; // set in a child of fork()
    std::unique_ptr<sqlite::Connection> m_connection;
    // Connections inherited through fork(), kept unclosed (see Abandon()).
    std::vector<std::unique_ptr<sqlite::Connection>> m_inherited;
    std::unordered_map<HKEY, std::unique_ptr<RegistryKeyHandle>> m_handles;
};

} // namespace ospreon::registry
