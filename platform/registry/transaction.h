#pragma once
// A write transaction: BEGIN IMMEDIATE in the constructor, so a writer waits for
// the database's write lock (up to the busy timeout) before reading anything it
// then changes; rolled back in the destructor unless Commit() succeeded.
//
// A read transaction (BEGIN DEFERRED) gives several reads one snapshot and one
// WAL read lock instead of one per statement; inside a transaction already open
// it does nothing, the outer one serving the same purpose.

#include "platform/os/result.h"

namespace ospreon::registry {

class RegistryConnection;

class Transaction
{
public:
    enum class Kind
    {
        Write,
        Read
    };

    explicit Transaction(RegistryConnection& connection, Kind kind = Kind::Write);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    // Whether BEGIN succeeded (or was not needed); when not, error() tells why.
    bool ok() const { return m_ok; }
    const Error& error() const { return m_error; }

    [[nodiscard]] Result<void> Commit();

private:
    RegistryConnection& m_connection;
    Error m_error;
    bool m_begun = false; // by this object
    bool m_ok = false;
    bool m_committed = false;
};

} // namespace ospreon::registry
