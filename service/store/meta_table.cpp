#include "service/store/meta_table.h"

#include "service/store/config_table.h"
#include "service/store/database.h"
#include "service/store/transaction.h"

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

Result<std::int64_t> ReadNumber(Database& db, const char* sql)
{
    Result<Query> query = db.Prepare(sql);
    if (!query)
        return query.error();
    Result<bool> row = query->Step();
    if (!row)
        return row.error();
    return *row ? query->Int(0) : 0;
}

Result<void> RunPlain(Database& db, const char* sql)
{
    Result<Query> query = db.Prepare(sql);
    if (!query)
        return query.error();
    return query->Run();
}

template <class Value> Result<void> SetMeta(Database& db, std::string_view name, Value value)
{
    Result<Query> query = db.Prepare(kSetMeta);
    if (!query)
        return query.error();
    return query->Bind(1, name).Bind(2, value).Run();
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
    Transaction transaction(m_db);
    if (!transaction.ok())
        return transaction.error();
    {
        Result<Query> query = m_db.Prepare(kControlPass);
        if (!query)
            return query.error();
        query->Bind(1, std::string_view(kServiceSection))
            .Bind(2, std::string_view(kControlPassName));
        Result<bool> row = query->Step();
        if (!row)
            return row.error();
        // No password stored, or an empty one, lets nobody in.
        if (!*row || query->Text(0).empty() || query->Text(0) != password)
            return false;
    }
    if (Result<void> bumped = RunPlain(m_db, kBumpGeneration); !bumped)
        return bumped.error();
    if (Result<void> committed = transaction.Commit(); !committed)
        return committed.error();
    return true;
}

Result<ImportSummary> MetaTable::LastImport()
{
    auto lock = m_db.Lock();
    Result<Query> query = m_db.Prepare(kImportSummary);
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
    return RunPlain(database, kBumpRecordsVersion);
}

Result<void> MetaTable::StoreImportSummary(Database& database, const ImportSummary& summary)
{
    if (Result<void> done = SetMeta(database, "last_import_applied", summary.applied); !done)
        return done;
    if (Result<void> done = SetMeta(database, "last_import_skipped", summary.skipped); !done)
        return done;
    return SetMeta(database, "last_import", std::string_view(summary.text));
}

} // namespace ospreon::store
