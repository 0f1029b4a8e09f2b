#include "service/store/meta_table.h"

#include "platform/sqlite/transaction.h"
#include "service/store/config_table.h"
#include "service/store/database.h"

namespace ospreon::store {

namespace {

constexpr char kGeneration[] = "SELECT value FROM meta WHERE name = 'generation'";
constexpr char kBumpGeneration[] = "UPDATE meta SET value = value + 1 WHERE name = 'generation'";
constexpr char kRecordsVersion[] = "SELECT value FROM meta WHERE name = 'records_version'";
constexpr char kBumpRecordsVersion[] =
    "UPDATE meta SET value = value + 1 WHERE name = 'records_version'";
constexpr char kControlPass[] = "SELECT value FROM config WHERE section = ?1 AND name = ?2";
constexpr char kSetMeta[] = "INSERT INTO meta(name, value) VALUES (?1, ?2) "
                            "ON CONFLICT(name) DO UPDATE SET value = excluded.value";
constexpr char kImportSummary[] = "SELECT name, value FROM meta WHERE name IN "
                                  "('last_import_applied', 'last_import_skipped', 'last_import')";

// The number a statement reads; 0 when it finds no row.
Result<std::int64_t> ReadNumber(Database& db, const char* sql)
{
    Result<std::optional<std::int64_t>> number = db.QueryInt(sql);
    if (!number)
        return number.error();
    return number->value_or(0);
}

} // namespace

Result<std::int64_t> MetaTable::Generation()
{
    auto lock = m_db.Lock();
    return ReadNumber(m_db, kGeneration);
}

Result<bool> MetaTable::Reload(std::string_view password)
{
    auto lock = m_db.Lock();
    sqlite::Transaction transaction(m_db);
    if (!transaction.ok())
        return transaction.error();
    Result<std::optional<bool>> matches = m_db.QueryRow(
        kControlPass,
        [password](const sqlite::Statement& row) {
            // An empty stored password lets nobody in.
            return !row.Text(0).empty() && row.Text(0) == password;
        },
        kServiceSection, kControlPassName);
    if (!matches)
        return matches.error();
    if (!matches->value_or(false)) // no password stored lets nobody in either
        return false;
    if (Result<void> bumped = m_db.Run(kBumpGeneration); !bumped)
        return bumped.error();
    if (Result<void> committed = transaction.Commit(); !committed)
        return committed.error();
    return true;
}

Result<ImportSummary> MetaTable::LastImport()
{
    auto lock = m_db.Lock();
    Result<sqlite::Statement> query = m_db.Prepare(kImportSummary);
    if (!query)
        return query.error();
    ImportSummary summary;
    for (;;) {
        Result<bool> row = query->Step();
        if (!row)
            return row.error();
        if (!*row)
            break;
        const std::string_view name = query->Text(0);
        if (name == "last_import_applied")
            summary.applied = query->Int(1);
        else if (name == "last_import_skipped")
            summary.skipped = query->Int(1);
        else
            summary.text = query->Text(1);
    }
    return summary;
}

Result<std::int64_t> MetaTable::RecordsVersion(Database& database)
{
    return ReadNumber(database, kRecordsVersion);
}

Result<void> MetaTable::BumpRecordsVersion(Database& database)
{
    return database.Run(kBumpRecordsVersion);
}

Result<void> MetaTable::StoreImportSummary(Database& database, const ImportSummary& summary)
{
    if (Result<void> done = database.Run(kSetMeta, "last_import_applied", summary.applied); !done)
        return done;
    if (Result<void> done = database.Run(kSetMeta, "last_import_skipped", summary.skipped); !done)
        return done;
    return database.Run(kSetMeta, "last_import", summary.text);
}

} // namespace ospreon::store
