#include "service/store/config_table.h"

#include "platform/sqlite/transaction.h"
#include "service/store/database.h"

namespace ospreon::store {

namespace {

constexpr char kGet[] = "SELECT value FROM config WHERE section = ?1 AND name = ?2";
constexpr char kPut[] = "INSERT INTO config(section, name, value) VALUES (?1, ?2, ?3) "
                        "ON CONFLICT(section, name) DO UPDATE SET value = excluded.value";

} // namespace

Result<std::optional<std::string>> ConfigTable::Get(std::string_view section, std::string_view name)
{
    auto lock = m_db.Lock();
    return m_db.QueryRow(
        kGet, [](const sqlite::Statement& row) { return std::string(row.Text(0)); }, section, name);
}

Result<void> ConfigTable::PutAll(std::string_view section,
                                 const std::vector<std::pair<std::string, std::string>>& values)
{
    auto lock = m_db.Lock();
    sqlite::Transaction transaction(m_db);
    if (!transaction.ok())
        return transaction.error();
    for (const auto& [name, value] : values) {
        if (Result<void> done = m_db.Run(kPut, section, name, value); !done)
            return done.error();
    }
    return transaction.Commit();
}

} // namespace ospreon::store
