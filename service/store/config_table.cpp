#include "service/store/config_table.h"

#include "service/store/database.h"
#include "service/store/transaction.h"

namespace ospreon::store {

namespace {

constexpr char kGet[] = "SELECT value FROM config WHERE section = ?1 AND name = ?2";
constexpr char kPut[] = "INSERT INTO config(section, name, value) VALUES (?1, ?2, ?3) "
                        "ON CONFLICT(section, name) DO UPDATE SET value = excluded.value";

} // namespace

Result<std::optional<std::string>> ConfigTable::Get(std::string_view section, std::string_view name)
{
    auto lock = m_db.Lock();
    Result<Query> query = m_db.Prepare(kGet);
    if (!query)
        return query.error();
    query->Bind(1, section).Bind(2, name);
    Result<bool> row = query->Step();
    if (!row)
        return row.error();
    if (!*row)
        return std::optional<std::string>();
    return std::optional<std::string>(std::string(query->Text(0)));
}

Result<void> ConfigTable::PutAll(std::string_view section,
                                 const std::vector<std::pair<std::string, std::string>>& values)
{
    auto lock = m_db.Lock();
    Transaction transaction(m_db);
    if (!transaction.ok())
        return transaction.error();
    for (const auto& [name, value] : values) {
        Result<Query> query = m_db.Prepare(kPut);
        if (!query)
            return query.error();
        if (Result<void> done = query->Bind(1, section).Bind(2, name).Bind(3, value).Run(); !done)
            return done.error();
    }
    return transaction.Commit();
}

} // namespace ospreon::store
