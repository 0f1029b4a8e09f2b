#include "service/store/record_table.h"

#include <set>

#include "interfaces/service_errors.h"
#include "platform/sqlite/transaction.h"
#include "service/store/database.h"
#include "service/store/meta_table.h"

namespace ospreon::store {

namespace {

constexpr char kFindByName[] = "SELECT id FROM records WHERE name = ?1";
constexpr char kInsertRecord[] = "INSERT INTO records(name, type) VALUES (?1, ?2) RETURNING id";
constexpr char kUpdateRecord[] = "UPDATE records SET name = ?2, type = ?3 WHERE id = ?1";
constexpr char kDeleteRecord[] = "DELETE FROM records WHERE id = ?1";
constexpr char kDeleteParams[] = "DELETE FROM params WHERE record = ?1";
constexpr char kInsertParam[] =
    "INSERT INTO params(record, position, key, value) VALUES (?1, ?2, ?3, ?4)";
constexpr char kCount[] = "SELECT count(*) FROM records";
constexpr char kIds[] = "SELECT id FROM records ORDER BY id";
constexpr char kHead[] = "SELECT name, type FROM records WHERE id = ?1";
constexpr char kExists[] = "SELECT 1 FROM records WHERE id = ?1";
constexpr char kParamCount[] =
    "SELECT (SELECT count(*) FROM params WHERE record = ?1) FROM records WHERE id = ?1";
// One row while the record exists; its columns are NULL when it lacks the entry.
constexpr char kParamAt[] = "SELECT p.key, p.value FROM records r LEFT JOIN params p "
                            "ON p.record = r.id AND p.position = ?2 WHERE r.id = ?1";
constexpr char kValue[] = "SELECT p.value FROM records r LEFT JOIN params p "
                          "ON p.record = r.id AND p.key = ?2 WHERE r.id = ?1";
constexpr char kUpdateValue[] = "UPDATE params SET value = ?3 WHERE record = ?1 AND key = ?2";
constexpr char kUpdateAt[] = "UPDATE params SET value = ?3 WHERE record = ?1 AND position = ?2";
constexpr char kAppend[] = "INSERT INTO params(record, position, key, value) "
                           "SELECT ?1, coalesce(max(position) + 1, 0), ?2, ?3 "
                           "FROM params WHERE record = ?1";
constexpr char kAllRecords[] = "SELECT id, name, type FROM records ORDER BY id";
constexpr char kAllParams[] = "SELECT record, key, value FROM params ORDER BY record, position";

Error Gone(RecordId id)
{
    return Error::HResult(WARDEN_E_RECORDGONE, "record " + std::to_string(id) + " was removed");
}

Error NoEntryAt(RecordId id, std::int64_t position)
{
    return Error::HResult(DISP_E_BADINDEX, "record " + std::to_string(id) + " has no entry at " +
                                               std::to_string(position));
}

bool HasDuplicateKeys(const RecordData& record)
{
    std::set<std::string_view> keys;
    for (const Parameter& parameter : record.parameters) {
        if (!keys.insert(parameter.key).second)
            return true;
    }
    return false;
}

// The id of the record named `name`, or nullopt.
Result<std::optional<RecordId>> FindId(Database& db, std::string_view name)
{
    return db.QueryInt(kFindByName, name);
}

Result<void> InsertParameters(Database& db, RecordId id, const std::vector<Parameter>& parameters)
{
    std::int64_t position = 0;
    for (const Parameter& parameter : parameters) {
        if (Result<void> done =
                db.Run(kInsertParam, id, position++, parameter.key, parameter.value);
            !done)
            return done.error();
    }
    return {};
}

Result<RecordId> InsertRecord(Database& db, const RecordData& record)
{
    Result<std::optional<RecordId>> id = db.QueryInt(kInsertRecord, record.name, record.type);
    if (!id)
        return id.error();
    if (Result<void> done = InsertParameters(db, **id, record.parameters); !done)
        return done.error();
    return **id;
}

// What a record holds under a key: nothing at all (the record is gone), no such
// entry, or the value.
enum class Lookup
{
    Gone,
    Missing,
    Present
};

Result<Lookup> LookUp(Database& db, RecordId id, std::string_view key, std::string* value)
{
    Result<std::optional<Lookup>> found = db.QueryRow(
        kValue,
        [value](const sqlite::Statement& row) {
            if (row.IsNull(0))
                return Lookup::Missing;
            if (value)
                *value = row.Text(0);
            return Lookup::Present;
        },
        id, key);
    if (!found)
        return found.error();
    return found->value_or(Lookup::Gone);
}

} // namespace

Result<RecordId> RecordTable::Add(const RecordData& record)
{
    if (HasDuplicateKeys(record))
        return Error::HResult(E_INVALIDARG, "record " + record.name + " lists a key twice");
    auto lock = m_db.Lock();
    sqlite::Transaction transaction(m_db);
    if (!transaction.ok())
        return transaction.error();
    Result<std::optional<RecordId>> existing = FindId(m_db, record.name);
    if (!existing)
        return existing.error();
    if (*existing)
        return Error::HResult(WARDEN_E_NAMETAKEN, "a record named " + record.name + " exists");
    Result<RecordId> id = InsertRecord(m_db, record);
    if (!id)
        return id.error();
    if (Result<void> bumped = MetaTable::BumpRecordsVersion(m_db); !bumped)
        return bumped.error();
    if (Result<void> committed = transaction.Commit(); !committed)
        return committed.error();
    return id;
}

Result<RecordId> RecordTable::Find(std::string_view name)
{
    auto lock = m_db.Lock();
    Result<std::optional<RecordId>> id = FindId(m_db, name);
    if (!id)
        return id.error();
    if (!*id)
        return Error::HResult(WARDEN_E_NORECORD, "no record named " + std::string(name));
    return **id;
}

Result<RecordId> RecordTable::Remove(std::string_view name)
{
    auto lock = m_db.Lock();
    sqlite::Transaction transaction(m_db);
    if (!transaction.ok())
        return transaction.error();
    Result<std::optional<RecordId>> id = FindId(m_db, name);
    if (!id)
        return id.error();
    if (!*id)
        return Error::HResult(WARDEN_E_NORECORD, "no record named " + std::string(name));
    for (const char* sql : {kDeleteParams, kDeleteRecord}) {
        if (Result<void> done = m_db.Run(sql, **id); !done)
            return done.error();
    }
    if (Result<void> bumped = MetaTable::BumpRecordsVersion(m_db); !bumped)
        return bumped.error();
    if (Result<void> committed = transaction.Commit(); !committed)
        return committed.error();
    return **id;
}

Result<std::int64_t> RecordTable::Count()
{
    auto lock = m_db.Lock();
    Result<std::optional<std::int64_t>> count = m_db.QueryInt(kCount);
    if (!count)
        return count.error();
    return count->value_or(0);
}

Result<RecordIds> RecordTable::Ids()
{
    auto lock = m_db.Lock();
    sqlite::Transaction snapshot(m_db, sqlite::Transaction::Kind::Deferred);
    if (!snapshot.ok())
        return snapshot.error();
    RecordIds result;
    Result<std::int64_t> version = MetaTable::RecordsVersion(m_db);
    if (!version)
        return version.error();
    result.version = *version;
    Result<sqlite::Statement> query = m_db.Prepare(kIds);
    if (!query)
        return query.error();
    for (;;) {
        Result<bool> row = query->Step();
        if (!row)
            return row.error();
        if (!*row)
            break;
        result.ids.push_back(query->Int(0));
    }
    return result;
}

Result<std::int64_t> RecordTable::RecordsVersion()
{
    auto lock = m_db.Lock();
    return MetaTable::RecordsVersion(m_db);
}

Result<RecordTable::Head> RecordTable::ReadHead(RecordId id)
{
    auto lock = m_db.Lock();
    Result<std::optional<Head>> head = m_db.QueryRow(
        kHead,
        [](const sqlite::Statement& row) {
            return Head{std::string(row.Text(0)), std::string(row.Text(1))};
        },
        id);
    if (!head)
        return head.error();
    if (!*head)
        return Gone(id);
    return std::move(**head);
}

Result<std::int64_t> RecordTable::ParameterCount(RecordId id)
{
    auto lock = m_db.Lock();
    Result<std::optional<std::int64_t>> count = m_db.QueryInt(kParamCount, id);
    if (!count)
        return count.error();
    if (!*count)
        return Gone(id);
    return **count;
}

Result<Parameter> RecordTable::ParameterAt(RecordId id, std::int64_t position)
{
    auto lock = m_db.Lock();
    Result<std::optional<std::optional<Parameter>>> entry = m_db.QueryRow(
        kParamAt,
        [](const sqlite::Statement& row) -> std::optional<Parameter> {
            if (row.IsNull(0))
                return std::nullopt;
            return Parameter{std::string(row.Text(0)), std::string(row.Text(1))};
        },
        id, position);
    if (!entry)
        return entry.error();
    if (!*entry)
        return Gone(id);
    if (!**entry)
        return NoEntryAt(id, position);
    return std::move(***entry);
}

Result<void> RecordTable::PutAt(RecordId id, std::int64_t position, std::string_view value)
{
    auto lock = m_db.Lock();
    sqlite::Transaction transaction(m_db);
    if (!transaction.ok())
        return transaction.error();
    if (Result<void> done = m_db.Run(kUpdateAt, id, position, value); !done)
        return done.error();
    if (m_db.Changes() == 0) {
        Result<std::optional<std::int64_t>> exists = m_db.QueryInt(kExists, id);
        if (!exists)
            return exists.error();
        if (!*exists)
            return Gone(id);
        return NoEntryAt(id, position);
    }
    return transaction.Commit();
}

Result<std::optional<std::string>> RecordTable::Value(RecordId id, std::string_view key)
{
    auto lock = m_db.Lock();
    std::string value;
    Result<Lookup> found = LookUp(m_db, id, key, &value);
    if (!found)
        return found.error();
    if (*found == Lookup::Gone)
        return Gone(id);
    if (*found == Lookup::Missing)
        return std::optional<std::string>();
    return std::optional<std::string>(std::move(value));
}

Result<bool> RecordTable::Put(RecordId id, std::string_view key, std::string_view value,
                              PutMode mode)
{
    auto lock = m_db.Lock();
    sqlite::Transaction transaction(m_db);
    if (!transaction.ok())
        return transaction.error();
    Result<Lookup> found = LookUp(m_db, id, key, nullptr);
    if (!found)
        return found.error();
    Result<void> done;
    switch (*found) {
    case Lookup::Gone:
        return Gone(id);
    case Lookup::Missing:
        done = m_db.Run(kAppend, id, key, value);
        break;
    case Lookup::Present:
        if (mode == PutMode::KeepExisting)
            return false;
        done = m_db.Run(kUpdateValue, id, key, value);
        break;
    }
    if (!done)
        return done.error();
    if (Result<void> committed = transaction.Commit(); !committed)
        return committed.error();
    return true;
}

Result<bool> RecordTable::AddKey(RecordId id, std::string_view key)
{
    auto lock = m_db.Lock();
    sqlite::Transaction transaction(m_db);
    if (!transaction.ok())
        return transaction.error();
    Result<Lookup> found = LookUp(m_db, id, key, nullptr);
    if (!found)
        return found.error();
    if (*found == Lookup::Gone)
        return Gone(id);
    if (*found == Lookup::Present)
        return false;
    if (Result<void> done = m_db.Run(kAppend, id, key, ""); !done)
        return done.error();
    if (Result<void> committed = transaction.Commit(); !committed)
        return committed.error();
    return true;
}

Result<std::vector<RecordData>> RecordTable::ReadAll()
{
    auto lock = m_db.Lock();
    sqlite::Transaction snapshot(m_db, sqlite::Transaction::Kind::Deferred);
    if (!snapshot.ok())
        return snapshot.error();
    std::vector<RecordData> records;
    std::vector<RecordId> ids;
    {
        Result<sqlite::Statement> query = m_db.Prepare(kAllRecords);
        if (!query)
            return query.error();
        for (;;) {
            Result<bool> row = query->Step();
            if (!row)
                return row.error();
            if (!*row)
                break;
            ids.push_back(query->Int(0));
            records.push_back(
                RecordData{std::string(query->Text(1)), std::string(query->Text(2)), {}});
        }
    }
    Result<sqlite::Statement> query = m_db.Prepare(kAllParams);
    if (!query)
        return query.error();
    // Both lists are ordered by record id: walk them side by side.
    std::size_t index = 0;
    for (;;) {
        Result<bool> row = query->Step();
        if (!row)
            return row.error();
        if (!*row)
            break;
        const RecordId owner = query->Int(0);
        while (index < ids.size() && ids[index] < owner)
            ++index;
        if (index == ids.size())
            break;
        if (ids[index] == owner)
            records[index].parameters.push_back(
                Parameter{std::string(query->Text(1)), std::string(query->Text(2))});
    }
    return records;
}

Result<void> RecordTable::Merge(const std::vector<RecordData>& records, std::int64_t skipped,
                                std::string_view summary)
{
    for (const RecordData& record : records) {
        if (HasDuplicateKeys(record))
            return Error::HResult(E_INVALIDARG, "record " + record.name + " lists a key twice");
    }
    auto lock = m_db.Lock();
    sqlite::Transaction transaction(m_db);
    if (!transaction.ok())
        return transaction.error();
    for (const RecordData& record : records) {
        Result<std::optional<RecordId>> existing = FindId(m_db, record.name);
        if (!existing)
            return existing.error();
        if (!*existing) {
            if (Result<RecordId> id = InsertRecord(m_db, record); !id)
                return id.error();
            continue;
        }
        const RecordId id = **existing;
        if (Result<void> done = m_db.Run(kUpdateRecord, id, record.name, record.type); !done)
            return done.error();
        if (Result<void> done = m_db.Run(kDeleteParams, id); !done)
            return done.error();
        if (Result<void> done = InsertParameters(m_db, id, record.parameters); !done)
            return done.error();
    }
    if (Result<void> bumped = MetaTable::BumpRecordsVersion(m_db); !bumped)
        return bumped.error();
    const ImportSummary stored{static_cast<std::int64_t>(records.size()), skipped,
                               std::string(summary)};
    if (Result<void> noted = MetaTable::StoreImportSummary(m_db, stored); !noted)
        return noted.error();
    return transaction.Commit();
}

} // namespace ospreon::store
