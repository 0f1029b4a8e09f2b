#include "platform/registry/registry_state.h"

#include <pthread.h>

#include "platform/os/paths.h"
#include "platform/registry/registry_database.h"

namespace ospreon::registry {

namespace {

constexpr char kClassesRootName[] = "HKEY_CLASSES_ROOT";
constexpr char kLocalMachineName[] = "HKEY_LOCAL_MACHINE";

} // namespace

RegistryState& RegistryState::Instance()
{
    static RegistryState* const state = new RegistryState();
    return *state;
}

RegistryState::RegistryState()
{
    // The lock is held across fork(), so a child never inherits it taken by a
    // thread that does not exist there; the child then knows its connection is
    // its parent's. Cheaper than asking getpid() on every call.
    ::pthread_atfork([] { Instance().m_mutex.lock(); }, [] { Instance().m_mutex.unlock(); },
                     [] {
                         Instance().m_forked = true;
                         Instance().m_mutex.unlock();
                     });
}

void RegistryState::ForgetParent()
{
    if (m_forked) {
        m_forked = false;
        // A transaction open in the parent belongs to a thread that the child
        // does not have; its SQLite state is the parent's, so it is neither ended
        // nor destroyed here.
        for (OpenTransaction& open : m_transactions)
            m_inheritedTransactions.push_back(std::move(open.transaction));
        m_transactions.clear();
        m_owner = {};
        if (m_connection) {
            m_connection->Abandon();
            m_inherited.push_back(std::move(m_connection));
        }
    }
}

Result<sqlite::Connection*> RegistryState::Connection()
{
    ForgetParent();
    // A transaction keeps its connection to the end, whatever $OSPREON_HOME says.
    if (!m_transactions.empty())
        return m_connection.get();
    std::string path = (os::Home() / "registry.db").string();
    if (m_connection && m_connection->path() == path &&
        sqlite::IdentityOf(path) == m_connection->identity())
        return m_connection.get();

    // Close the old one first: a failed open must not leave calls going to a
    // database that is no longer the current one.
    m_connection.reset();
    Result<std::unique_ptr<sqlite::Connection>> opened = OpenRegistryDatabase(path);
    if (!opened)
        return opened.error();
    m_connection = std::move(*opened);
    return m_connection.get();
}

Result<KeyRef> RegistryState::Resolve(HKEY key, const sqlite::Connection& connection) const
{
    if (key == HKEY_CLASSES_ROOT)
        return KeyRef{kClassesRootId, kClassesRootName};
    if (key == HKEY_LOCAL_MACHINE)
        return KeyRef{kLocalMachineId, kLocalMachineName};
    // Only handles found in the table are dereferenced, so a closed or made-up
    // handle is an error rather than a wild read.
    auto found = m_handles.find(key);
    if (found == m_handles.end())
        return Error::Win32(ERROR_INVALID_HANDLE, "not an open registry key");
    const RegistryKeyHandle& handle = *found->second;
    if (handle.database != connection.path())
        return Error::Win32(ERROR_INVALID_HANDLE,
                            "key " + handle.path + " belongs to " + handle.database +
                                ", but the registry is now " + connection.path());
    if (handle.identity != connection.identity())
        return Error::Win32(ERROR_KEY_DELETED, "key " + handle.path +
                                                   " belongs to a registry.db that " +
                                                   "has since been removed or replaced");
    return KeyRef{handle.id, handle.path};
}

HKEY RegistryState::Adopt(std::int64_t id, std::string path, const sqlite::Connection& connection)
{
    auto handle = std::make_unique<RegistryKeyHandle>(
        RegistryKeyHandle{id, connection.path(), connection.identity(), std::move(path)});
    HKEY key = handle.get();
    m_handles.emplace(key, std::move(handle));
    return key;
}

bool RegistryState::Close(HKEY key)
{
    return m_handles.erase(key) != 0;
}

void RegistryState::WaitForTurn(std::unique_lock<std::mutex>& lock)
{
    ForgetParent();
    const std::thread::id self = std::this_thread::get_id();
    m_turn.wait(lock, [&] { return m_transactions.empty() || m_owner == self; });
}

Result<void> RegistryState::BeginTransaction(std::unique_lock<std::mutex>& lock)
{
    WaitForTurn(lock);
    Result<sqlite::Connection*> connection = Connection();
    if (!connection)
        return connection.error();
    auto transaction = std::make_unique<sqlite::Transaction>(**connection);
    if (!transaction->ok())
        return transaction->error();
    Result<std::string> before = KeyStore(**connection).Snapshot();
    if (!before)
        return before.error();
    m_transactions.push_back({std::move(transaction), std::move(*before)});
    m_owner = std::this_thread::get_id();
    return {};
}

Result<void> RegistryState::EndTransaction(bool commit)
{
    if (m_transactions.empty() || m_owner != std::this_thread::get_id())
        return Error::Win32(ERROR_INVALID_FUNCTION,
                            "no registry transaction of this thread is open");
    OpenTransaction innermost = std::move(m_transactions.back());
    m_transactions.pop_back();
    Result<void> ended;
    if (commit) {
        Result<std::string> after = KeyStore(*m_connection).Snapshot();
        if (!after)
            ended = after.error();
        else if (*after != innermost.before)
            ended = innermost.transaction->Commit();
    }
    // Destroyed here: rolled back unless committed.
    innermost.transaction.reset();
    if (m_transactions.empty()) {
        m_owner = {};
        m_turn.notify_all();
    }
    return ended;
}

} // namespace ospreon::registry
