#pragma once
// Query: one use of a cached prepared statement, reset when the use ends so no
// read transaction stays open behind it.

#include <sqlite3.h>

#include <cstdint>
#include <string_view>
#include <utility>

#include "platform/os/result.h"

namespace ospreon::store {

class Database;

class Query
{
public:
    Query(sqlite3_stmt* statement, const Database& database)
        : m_statement(statement), m_database(&database)
    {}
    Query(Query&& other) noexcept
        : m_statement(std::exchange(other.m_statement, nullptr)), m_database(other.m_database)
    {}
    Query& operator=(Query&&) = delete;
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;
    ~Query();

    // Parameters are numbered from 1; text is copied by SQLite.
    Query& Bind(int index, std::int64_t value);
    Query& Bind(int index, std::string_view text);

    // true when a row is ready, false when the statement has finished.
    [[nodiscard]] Result<bool> Step();
    // Runs a statement that returns no rows.
    [[nodiscard]] Result<void> Run();

    bool IsNull(int column) const;
    std::int64_t Int(int column) const;
    // Valid until the next Step or the end of the query.
    std::string_view Text(int column) const;

private:
    sqlite3_stmt* m_statement;
    const Database* m_database;
};

} // namespace ospreon::store
