#include "platform/registry/transaction.h"

#include "platform/registry/registry_connection.h"

namespace ospreon::registry {

namespace {

constexpr char kBeginWrite[] = "BEGIN IMMEDIATE";
constexpr char kBeginRead[] = "BEGIN DEFERRED";
constexpr char kCommit[] = "COMMIT";
constexpr char kRollback[] = "ROLLBACK";

Result<void> Execute(RegistryConnection& connection, const char* sql)
{
    Result<Query> query = connection.Prepare(sql);
    if (!query)
        return query.error();
    return query->Run();
}

} // namespace

Transaction::Transaction(RegistryConnection& connection, Kind kind) : m_connection(connection)
{
    if (kind == Kind::Read && !sqlite3_get_autocommit(m_connection.handle())) {
        m_ok = true;
        return;
    }
    Result<void> begun = Execute(m_connection, kind == Kind::Write ? kBeginWrite : kBeginRead);
    if (begun)
        m_begun = m_ok = true;
    else
        m_error = begun.error();
}

Transaction::~Transaction()
{
    // SQLite may already have rolled back by itself after an I/O or disk-full
    // error; ROLLBACK outside a transaction would only fail.
    if (m_begun && !m_committed && !sqlite3_get_autocommit(m_connection.handle()))
        (void)Execute(m_connection, kRollback);
}

Result<void> Transaction::Commit()
{
    if (!m_begun)
        return {};
    Result<void> committed = Execute(m_connection, kCommit);
    if (committed)
        m_committed = true;
    return committed;
}

} // namespace ospreon::registry
