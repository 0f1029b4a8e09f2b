#pragma once
// Statement: one use of a cached prepared statement, reset when the use ends so no
// read transaction stays open behind it.
//
// Binds come in two kinds, named apart: Bind copies the text or blob into SQLite,
// BindNoCopy hands SQLite the caller's bytes, which must then outlive the use.

#include <sqlite3.h>

#include <cstdint>
#include <span>
#include <string_view>
#include <type_traits>
#include <utility>

#include "platform/base/result.h"

namespace ospreon::sqlite {

class Connection;

class Statement
{
public:
    Statement(sqlite3_stmt* statement, const Connection& connection)
        : m_statement(statement), m_connection(&connection)
    {}
    Statement(Statement&& other) noexcept
        : m_statement(std::exchange(other.m_statement, nullptr)), m_connection(other.m_connection)
    {}
    Statement& operator=(Statement&&) = delete;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    ~Statement();

    // Parameters are numbered from 1.
    Statement& Bind(int index, std::int64_t value);
    Statement& Bind(int index, std::string_view text);
    Statement& BindBlob(int index, std::span<const std::uint8_t> data);
    Statement& BindNoCopy(int index, std::string_view text);
    Statement& BindBlobNoCopy(int index, std::span<const std::uint8_t> data);

    // Binds `args` to parameters 1, 2, ...: integers as integers, anything else as
    // text without a copy (the arguments outlive the call they are passed to).
    template <class... Args> Statement& BindAll(const Args&... args)
    {
        int index = 0;
        (BindArgument(++index, args), ...);
        return *this;
    }

    // true when a row is ready, false when the statement has finished.
    [[nodiscard]] Result<bool> Step();
    // Runs a statement that returns no rows.
    [[nodiscard]] Result<void> Run();

    bool IsNull(int column) const;
    std::int64_t Int(int column) const;
    // Valid until the next Step or the end of the use.
    std::string_view Text(int column) const;
    std::span<const std::uint8_t> Blob(int column) const;

private:
    template <class T> void BindArgument(int index, const T& value)
    {
        if constexpr (std::is_integral_v<T> || std::is_enum_v<T>)
            Bind(index, static_cast<std::int64_t>(value));
        else
            BindNoCopy(index, std::string_view(value));
    }

    sqlite3_stmt* m_statement;
    const Connection* m_connection;
};

} // namespace ospreon::sqlite
