#pragma once
// Owners of SQLite handles, and Query: one use of a cached prepared statement,
// reset when the use ends so no read transaction stays open behind it.

#include <sqlite3.h>

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <utility>

#include "platform/os/result.h"
#include "platform/wintypes/wintypes.h"

namespace ospreon::registry {

class RegistryConnection;

struct DatabaseCloser
{
    // close_v2 defers the close until the last statement is finalized, so the
    // order in which owners go away does not matter.
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using DatabasePtr = std::unique_ptr<sqlite3, DatabaseCloser>;

struct StatementFinalizer
{
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using StatementPtr = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

class Query
{
public:
    Query(sqlite3_stmt* statement, const RegistryConnection& connection)
        : m_statement(statement), m_connection(&connection)
    {}
    Query(Query&& other) noexcept
        : m_statement(std::exchange(other.m_statement, nullptr)), m_connection(other.m_connection)
    {}
    Query& operator=(Query&&) = delete;
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;
    ~Query();

    // Parameters are numbered from 1. Text and blobs are not copied: they must
    // outlive the query.
    Query& Bind(int index, std::int64_t value);
    Query& Bind(int index, std::string_view text);
    Query& BindBlob(int index, std::span<const BYTE> data);

    // true when a row is ready, false when the statement has finished.
    [[nodiscard]] Result<bool> Step();
    // Runs a statement that returns no rows.
    [[nodiscard]] Result<void> Run();

    bool IsNull(int column) const;
    std::int64_t Int(int column) const;
    std::string_view Text(int column) const;
    std::span<const BYTE> Blob(int column) const;

private:
    sqlite3_stmt* m_statement;
    const RegistryConnection* m_connection;
};

} // namespace ospreon::registry
