#pragma once
// The store's own numbers: the reload generation that the daemon watches, the
// records version that tells a listing its snapshot is stale, and the summary of
// the last import.

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/base/result.h"
#include "service/store/database.h"

namespace ospreon::store {

struct ImportSummary
{
    std::int64_t applied = 0; // records added or replaced
    std::int64_t skipped = 0; // records of a type that is not registered
    std::string text;         // "2 records imported, 1 skipped (type not registered): ..."
};

class MetaTable
{
public:
    explicit MetaTable(Database& database) : m_db(database) {}

    // Complete operations.
    [[nodiscard]] Result<std::int64_t> Generation();
    // Moves the generation when `password` is the stored, non-empty "ControlPass"
    // of section "Wardenhost" (true); otherwise changes nothing (false).
    [[nodiscard]] Result<bool> Reload(std::string_view password);
    [[nodiscard]] Result<ImportSummary> LastImport();

    // Steps of an operation whose lock (and, for the writes, transaction) the
    // caller holds.
    [[nodiscard]] static Result<std::int64_t> RecordsVersion(Database& database);
    [[nodiscard]] static Result<void> BumpRecordsVersion(Database& database);
    [[nodiscard]] static Result<void> StoreImportSummary(Database& database,
                                                         const ImportSummary& summary);

private:
    Database& m_db;
};

} // namespace ospreon::store
