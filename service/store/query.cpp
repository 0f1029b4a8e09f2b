#include "service/store/query.h"

#include "service/store/database.h"

namespace ospreon::store {

Query::~Query()
{
    if (!m_statement)
        return;
    sqlite3_reset(m_statement);
    sqlite3_clear_bindings(m_statement);
}

Query& Query::Bind(int index, std::int64_t value)
{
    sqlite3_bind_int64(m_statement, index, value);
    return *this;
}

Query& Query::Bind(int index, std::string_view text)
{
    // A null pointer would bind NULL, not an empty text.
    sqlite3_bind_text64(m_statement, index, text.empty() ? "" : text.data(), text.size(),
                        SQLITE_TRANSIENT, SQLITE_UTF8);
    return *this;
}

Result<bool> Query::Step()
{
    int rc = sqlite3_step(m_statement);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    return m_database->Fail(rc);
}

Result<void> Query::Run()
{
    Result<bool> row = Step();
    if (!row)
        return row.error();
    return {};
}

bool Query::IsNull(int column) const
{
    return sqlite3_column_type(m_statement, column) == SQLITE_NULL;
}

std::int64_t Query::Int(int column) const
{
    return sqlite3_column_int64(m_statement, column);
}

std::string_view Query::Text(int column) const
{
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_statement, column));
    return text ? std::string_view(text, sqlite3_column_bytes(m_statement, column))
                : std::string_view();
}

} // namespace ospreon::store
