#include "platform/sqlite/statement.h"

#include "platform/sqlite/connection.h"

namespace ospreon::sqlite {

namespace {

// A null pointer would bind NULL, not an empty text or blob.
const char* TextPointer(std::string_view text)
{
    return text.empty() ? "" : text.data();
}

const void* BlobPointer(std::span<const std::uint8_t> data)
{
    static const std::uint8_t empty = 0;
    return data.empty() ? &empty : data.data();
}

} // namespace

Statement::~Statement()
{
    if (!m_statement)
        return;
    sqlite3_reset(m_statement);
    sqlite3_clear_bindings(m_statement);
}

Statement& Statement::Bind(int index, std::int64_t value)
{
    sqlite3_bind_int64(m_statement, index, value);
    return *this;
}

Statement& Statement::Bind(int index, std::string_view text)
{
    sqlite3_bind_text64(m_statement, index, TextPointer(text), text.size(), SQLITE_TRANSIENT,
                        SQLITE_UTF8);
    return *this;
}

Statement& Statement::BindBlob(int index, std::span<const std::uint8_t> data)
{
    sqlite3_bind_blob64(m_statement, index, BlobPointer(data), data.size(), SQLITE_TRANSIENT);
    return *this;
}

Statement& Statement::BindNoCopy(int index, std::string_view text)
{
    sqlite3_bind_text64(m_statement, index, TextPointer(text), text.size(), SQLITE_STATIC,
                        SQLITE_UTF8);
    return *this;
}

Statement& Statement::BindBlobNoCopy(int index, std::span<const std::uint8_t> data)
{
    sqlite3_bind_blob64(m_statement, index, BlobPointer(data), data.size(), SQLITE_STATIC);
    return *this;
}

Result<bool> Statement::Step()
{
    int rc = sqlite3_step(m_statement);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    return m_connection->Fail(rc);
}

Result<void> Statement::Run()
{
    Result<bool> row = Step();
    if (!row)
        return row.error();
    return {};
}

bool Statement::IsNull(int column) const
{
    return sqlite3_column_type(m_statement, column) == SQLITE_NULL;
}

std::int64_t Statement::Int(int column) const
{
    return sqlite3_column_int64(m_statement, column);
}

std::string_view Statement::Text(int column) const
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_statement, column));
    return text ? std::string_view(text, sqlite3_column_bytes(m_statement, column))
                : std::string_view();
}

std::span<const std::uint8_t> Statement::Blob(int column) const
{
    const auto* data = static_cast<const std::uint8_t*>(sqlite3_column_blob(m_statement, column));
    return data ? std::span<const std::uint8_t>(data, sqlite3_column_bytes(m_statement, column))
                : std::span<const std::uint8_t>();
}

} // namespace ospreon::sqlite
