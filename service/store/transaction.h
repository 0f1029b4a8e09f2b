#pragma once
// A write transaction: BEGIN IMMEDIATE in the constructor, so a writer waits for
// the database's write lock (up to the busy timeout) before reading anything it
// then changes; rolled back in the destructor unless Commit() succeeded.
//
// A read transaction (BEGIN DEFERRED) gives several reads one snapshot.
// The caller holds Database::Lock() for the transaction's whole life.

#include "platform/os/result.h"

namespace ospreon::store {

class Database;

class Transaction
{
public:
    enum class Kind
    {
        Write,
        Read
    };

    explicit Transaction(Database& database, Kind kind = Kind::Write);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    // Whether BEGIN succeeded; when not, error() tells why.
    bool ok() const { return m_begun; }
    const Error& error() const { return m_error; }

    [[nodiscard]] Result<void> Commit();

private:
    Database& m_database;
    Error m_error;
    bool m_begun = false;
    bool m_committed = false;
};

} // namespace ospreon::store
