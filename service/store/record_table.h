#pragma once
// The records and their ordered parameter lists. Every method is one complete
// operation: it holds the connection's lock, and every change is one committed
// write transaction (BEGIN IMMEDIATE). Names compare without regard to ASCII
// letter case, keys exactly.
//
// Failures carry the service's HRESULTs: WARDEN_E_NORECORD (no record of that
// name), WARDEN_E_RECORDGONE (the id no longer names a record: never recreated),
// WARDEN_E_NAMETAKEN, DISP_E_BADINDEX (a position out of range), E_INVALIDARG
// (a record with a key twice), WARDEN_E_BUSY and WARDEN_E_STORE.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/result.h"
#include "service/store/database.h"
#include "service/store/record_data.h"

namespace ospreon::store {

class RecordTable
{
public:
    explicit RecordTable(Database& database) : m_db(database) {}

    [[nodiscard]] Result<RecordId> Add(const RecordData& record);
    [[nodiscard]] Result<RecordId> Find(std::string_view name);
    // The id the record had.
    [[nodiscard]] Result<RecordId> Remove(std::string_view name);

    [[nodiscard]] Result<std::int64_t> Count();
    [[nodiscard]] Result<RecordIds> Ids();
    // Moves with every Add, Remove and Import.
    [[nodiscard]] Result<std::int64_t> RecordsVersion();

    struct Head
    {
        std::string name;
        std::string type;
    };
    [[nodiscard]] Result<Head> ReadHead(RecordId id);

    [[nodiscard]] Result<std::int64_t> ParameterCount(RecordId id);
    // The entry at a zero-based position.
    [[nodiscard]] Result<Parameter> ParameterAt(RecordId id, std::int64_t position);
    [[nodiscard]] Result<void> PutAt(RecordId id, std::int64_t position, std::string_view value);

    // The value under `key`; nullopt when the record lacks it.
    [[nodiscard]] Result<std::optional<std::string>> Value(RecordId id, std::string_view key);

    enum class PutMode
    {
        Replace,     // an existing key takes the new value
        KeepExisting // an existing key keeps its value (a declaration)
    };
    // A key the record lacks is appended at the end of its list. True when the
    // value was written (false: kept by PutMode::KeepExisting).
    [[nodiscard]] Result<bool> Put(RecordId id, std::string_view key, std::string_view value,
                                   PutMode mode = PutMode::Replace);
    // Appends `key` with an empty value unless the record has it; true when it did.
    [[nodiscard]] Result<bool> AddKey(RecordId id, std::string_view key);

    // Every record in creation order, read in one snapshot.
    [[nodiscard]] Result<std::vector<RecordData>> ReadAll();

    // Applies `records` in one transaction: a record whose name exists (without
    // regard to case) is replaced in place, keeping its identity (name spelling,
    // type and whole parameter list from `records`); the others are added. The
    // import summary is stored with them (MetaTable::LastImport).
    [[nodiscard]] Result<void> Merge(const std::vector<RecordData>& records, std::int64_t skipped,
                                     std::string_view summary);

private:
    Database& m_db;
};

} // namespace ospreon::store
