#include "service/store/transaction.h"

#include "service/store/database.h"

namespace ospreon::store {

namespace {

constexpr char kBeginWrite[] = "BEGIN IMMEDIATE";
constexpr char kBeginRead[] = "BEGIN DEFERRED";
constexpr char kCommit[] = "COMMIT";
constexpr char kRollback[] = "ROLLBACK";

Result<void> Run(Database& database, const char* sql)
{
    Result<Query> query = database.Prepare(sql);
    if (!query)
        return query.error();
    return query->Run();
}

} // namespace

Transaction::Transaction(Database& database, Kind kind) : m_database(database)
{
    Result<void> begun = Run(m_database, kind == Kind::Write ? kBeginWrite : kBeginRead);
    if (begun)
        m_begun = true;
    else
        m_error = begun.error();
}

Transaction::~Transaction()
{
    // SQLite may already have rolled back by itself after an I/O or disk-full
    // error; ROLLBACK outside a transaction would only fail.
    if (m_begun && !m_committed && !sqlite3_get_autocommit(m_database.handle()))
        (void)Run(m_database, kRollback);
}

Result<void> Transaction::Commit()
{
    if (!m_begun)
        return m_error;
    Result<void> committed = Run(m_database, kCommit);
    if (committed)
        m_committed = true;
    return committed;
}

} // namespace ospreon::store
