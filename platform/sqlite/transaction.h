#pragma once
// A transaction on a Connection: begun in the constructor, rolled back in the
// destructor unless Commit() succeeded; the destructor never throws.
//
// Immediate (the default) is a write transaction: BEGIN IMMEDIATE, so a writer
// waits for the database's write lock (up to the busy timeout) before reading
// anything it then changes. Deferred gives several reads one snapshot.
//
// Transactions nest. A Deferred one inside any open transaction joins it. An
// Immediate one inside an Immediate one is a savepoint: its Commit keeps its
// changes for the outer transaction to commit or roll back, and its rollback
// undoes only its own changes. An Immediate one inside a Deferred one fails: the
// snapshot it would write from may already be stale.

#include "platform/base/result.h"

namespace ospreon::sqlite {

class Connection;

class Transaction
{
public:
    enum class Kind
    {
        Deferred,
        Immediate
    };

    explicit Transaction(Connection& connection, Kind kind = Kind::Immediate);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    // Whether BEGIN succeeded (or was not needed); when not, error() tells why.
    bool ok() const { return m_ok; }
    const Error& error() const { return m_error; }

    [[nodiscard]] Result<void> Commit();

private:
    enum class Role
    {
        None,      // failed to begin
        Joined,    // a read inside an open transaction: nothing of its own
        Outer,     // BEGIN ... COMMIT / ROLLBACK
        Savepoint, // SAVEPOINT ... RELEASE / ROLLBACK TO
    };

    Connection& m_connection;
    Error m_error;
    Role m_role = Role::None;
    bool m_ok = false;
    bool m_done = false; // committed, or the end taken care of
};

} // namespace ospreon::sqlite
