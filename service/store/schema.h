#pragma once
// The store's tables, versioned by SQLite's user_version and marked as ours by its
// application_id. Opening a store brings an older schema up to date, one migration
// per version, inside one write transaction; a newer or foreign file is refused
// without being changed.
//
//   meta     (name, value): "generation" (moved by Reload, watched by the daemon),
//            "records_version" (moved by every Add, Remove and Import, so a listing
//            knows when its snapshot of record ids is stale), and the summary of
//            the last import
//   records  (id, name, type): id is the record's stable identity, never reused;
//            name unique without regard to ASCII letter case
//   params   (record, position, key, value): the ordered parameter list, positions
//            0..n-1, keys unique per record and compared exactly; every value text
//   config   (section, name, value): configuration sections, names without regard
//            to case
//   monitor_state (record, failures, alarm, recovery_due, last_check): what the
//            daemon keeps of each monitor beside its settings (monitor_state.h);
//            removed with its record
//   meta "settings_version" moves with every change of records and parameters
//            except "Monitor_Result", by triggers

#include <cstdint>

#include "platform/sqlite/connection.h"

namespace ospreon::store {

inline constexpr std::int64_t kSchemaVersion = 2;
inline constexpr std::int64_t kApplicationId = 0x4F535748; // "OSWH"

// The store's schema for the SQLite layer; failures carry the service's HRESULTs.
extern const sqlite::Schema kStoreSchema;

} // namespace ospreon::store
