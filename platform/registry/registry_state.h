#pragma once
// The process's one registry connection and its open key handles, behind one
// mutex. The connection follows $OSPREON_HOME: when the variable names another
// folder, or registry.db was replaced or removed, the next call reopens.

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/base/result.h"
#include "platform/registry/key_store.h"
#include "platform/registry/registry.h"
#include "platform/sqlite/connection.h"
#include "platform/sqlite/transaction.h"

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

    // Waits while another thread has a registry transaction open; a call of this
    // thread goes on (inside its own transaction, if it has one open).
    void WaitForTurn(std::unique_lock<std::mutex>& lock);

    // Begins a registry transaction of this thread, or a nested one inside it.
    Result<void> BeginTransaction(std::unique_lock<std::mutex>& lock);
    // Ends this thread's innermost transaction: with `commit`, keeps its changes,
    // unless the registry holds exactly what it held when it began (then nothing is
    // written at all); otherwise rolls it back.
    Result<void> EndTransaction(bool commit);

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
    // In a child of fork(): lets go of the parent's connection and transactions.
    void ForgetParent();

    std::mutex m_mutex;
    bool m_forked = false; // set in a child of fork()
    std::unique_ptr<sqlite::Connection> m_connection;
    // Connections inherited through fork(), kept unclosed (see Abandon()).
    std::vector<std::unique_ptr<sqlite::Connection>> m_inherited;
    std::unordered_map<HKEY, std::unique_ptr<RegistryKeyHandle>> m_handles;

    // Open registry transactions, innermost last, all of the thread m_owner, with
    // the registry's content when each began. Other threads wait for m_turn.
    struct OpenTransaction
    {
        std::unique_ptr<sqlite::Transaction> transaction;
        std::string before;
    };
    std::vector<OpenTransaction> m_transactions;
    std::thread::id m_owner;
    std::condition_variable m_turn;
    // Transactions inherited through fork(), kept unended (see Connection()).
    std::vector<std::unique_ptr<sqlite::Transaction>> m_inheritedTransactions;
};

} // namespace ospreon::registry
