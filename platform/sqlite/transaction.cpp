#include "platform/sqlite/transaction.h"

#include "platform/sqlite/connection.h"

namespace ospreon::sqlite {

namespace {

constexpr char kBeginImmediate[] = "BEGIN IMMEDIATE";
constexpr char kBeginDeferred[] = "BEGIN DEFERRED";
constexpr char kCommit[] = "COMMIT";
constexpr char kRollback[] = "ROLLBACK";
// One name serves every level: SQLite's savepoints form a stack, and RELEASE and
// ROLLBACK TO act on the most recent one of that name, which is the innermost.
constexpr char kSavepoint[] = "SAVEPOINT nested";
constexpr char kRelease[] = "RELEASE nested";
constexpr char kRollbackToSavepoint[] = "ROLLBACK TO nested";

} // namespace

Transaction::Transaction(Connection& connection, Kind kind) : m_connection(connection)
{
    if (m_connection.m_transactionDepth > 0) {
        if (kind == Kind::Deferred) {
            m_role = Role::Joined;
            m_ok = true;
            return;
        }
        if (!m_connection.m_outerWrites) {
            m_error = m_connection.Refuse(
                SQLITE_MISUSE, "cannot begin a write transaction inside a read transaction");
            return;
        }
        if (Result<void> begun = m_connection.Run(kSavepoint); !begun) {
            m_error = begun.error();
            return;
        }
        m_role = Role::Savepoint;
    } else {
        Result<void> begun =
            m_connection.Run(kind == Kind::Immediate ? kBeginImmediate : kBeginDeferred);
        if (!begun) {
            m_error = begun.error();
            return;
        }
        m_role = Role::Outer;
        m_connection.m_outerWrites = kind == Kind::Immediate;
    }
    ++m_connection.m_transactionDepth;
    m_ok = true;
}

Transaction::~Transaction()
{
    if (m_role == Role::None || m_role == Role::Joined)
        return;
    --m_connection.m_transactionDepth;
    if (m_done)
        return;
    // SQLite may already have rolled back by itself after an I/O or disk-full
    // error; a rollback outside a transaction would only fail.
    if (sqlite3_get_autocommit(m_connection.handle()))
        return;
    if (m_role == Role::Outer) {
        (void)m_connection.Run(kRollback);
        return;
    }
    // ROLLBACK TO undoes the savepoint's changes but keeps it open; RELEASE ends it.
    if (m_connection.Run(kRollbackToSavepoint))
        (void)m_connection.Run(kRelease);
}

Result<void> Transaction::Commit()
{
    if (!m_ok)
        return m_error;
    if (m_role == Role::Joined || m_done)
        return {};
    Result<void> committed = m_connection.Run(m_role == Role::Outer ? kCommit : kRelease);
    if (committed)
        m_done = true;
    return committed;
}

} // namespace ospreon::sqlite
