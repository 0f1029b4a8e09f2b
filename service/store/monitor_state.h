#pragma once
// What the daemon keeps of each monitor beside its record: the consecutive
// failures, whether an alarm was raised for the current outage, whether a
// recovery call is due, and when the monitor was last checked. Not parameters:
// they are not settings and never go into monitor files. Removed with the record.
//
// Rows are found by the record's name (without regard to case, as records are);
// writes to a name that no record has change nothing.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/base/result.h"
#include "service/store/database.h"

namespace ospreon::store {

struct MonitorState
{
    std::int64_t failures = 0;    // consecutive failed checks
    bool alarm = false;           // the alarm of the current outage was raised
    bool recoveryDue = false;     // NotifySucc is owed for an outage that ended
    std::int64_t lastCheckMs = 0; // end of the last check, ms since the epoch; 0: never
    bool operator==(const MonitorState&) const = default;
};

class MonitorStateTable
{
public:
    explicit MonitorStateTable(Database& database) : m_db(database) {}

    // The state of the record `name`; nullopt when none was kept.
    [[nodiscard]] Result<std::optional<MonitorState>> Read(std::string_view name);
    // Every kept state, by record name.
    [[nodiscard]] Result<std::vector<std::pair<std::string, MonitorState>>> ReadAll();
    // Writes the states in one committed transaction.
    [[nodiscard]] Result<void>
    Write(const std::vector<std::pair<std::string, MonitorState>>& states);

    // Moves with every change of records and parameters except "Monitor_Result".
    [[nodiscard]] Result<std::int64_t> SettingsVersion();
    // SQLite's data_version of this connection: moves when another connection
    // commits, so an unchanged value answers "nothing changed" without a query.
    [[nodiscard]] Result<std::int64_t> DataVersion();

private:
    Database& m_db;
};

} // namespace ospreon::store
