#include "service/store/monitor_state.h"

#include "platform/sqlite/transaction.h"

namespace ospreon::store {

namespace {

constexpr char kRead[] = "SELECT s.failures, s.alarm, s.recovery_due, s.last_check "
                         "FROM monitor_state s JOIN records r ON r.id = s.record "
                         "WHERE r.name = ?1";
constexpr char kReadAll[] = "SELECT r.name, s.failures, s.alarm, s.recovery_due, s.last_check "
                            "FROM monitor_state s JOIN records r ON r.id = s.record ORDER BY r.id";
constexpr char kWrite[] =
    "INSERT INTO monitor_state(record, failures, alarm, recovery_due, last_check) "
    "SELECT id, ?2, ?3, ?4, ?5 FROM records WHERE name = ?1 "
    "ON CONFLICT(record) DO UPDATE SET failures = excluded.failures, alarm = excluded.alarm, "
    "recovery_due = excluded.recovery_due, last_check = excluded.last_check";
constexpr char kSettingsVersion[] = "SELECT value FROM meta WHERE name = 'settings_version'";
constexpr char kDataVersion[] = "PRAGMA data_version";

MonitorState StateAt(const sqlite::Statement& row, int first)
{
    return MonitorState{row.Int(first), row.Int(first + 1) != 0, row.Int(first + 2) != 0,
                        row.Int(first + 3)};
}

} // namespace

Result<std::optional<MonitorState>> MonitorStateTable::Read(std::string_view name)
{
    auto lock = m_db.Lock();
    return m_db.QueryRow(
        kRead, [](const sqlite::Statement& row) { return StateAt(row, 0); }, name);
}

Result<std::vector<std::pair<std::string, MonitorState>>> MonitorStateTable::ReadAll()
{
    auto lock = m_db.Lock();
    Result<sqlite::Statement> query = m_db.Prepare(kReadAll);
    if (!query)
        return query.error();
    std::vector<std::pair<std::string, MonitorState>> states;
    for (;;) {
        Result<bool> row = query->Step();
        if (!row)
            return row.error();
        if (!*row)
            return states;
        states.emplace_back(std::string(query->Text(0)), StateAt(*query, 1));
    }
}

Result<void>
MonitorStateTable::Write(const std::vector<std::pair<std::string, MonitorState>>& states)
{
    auto lock = m_db.Lock();
    sqlite::Transaction transaction(m_db);
    if (!transaction.ok())
        return transaction.error();
    for (const auto& [name, state] : states) {
        Result<void> written =
            m_db.Run(kWrite, name, state.failures, static_cast<std::int64_t>(state.alarm),
                     static_cast<std::int64_t>(state.recoveryDue), state.lastCheckMs);
        if (!written)
            return written;
    }
    return transaction.Commit();
}

Result<std::int64_t> MonitorStateTable::SettingsVersion()
{
    auto lock = m_db.Lock();
    Result<std::optional<std::int64_t>> version = m_db.QueryInt(kSettingsVersion);
    if (!version)
        return version.error();
    return version->value_or(0);
}

Result<std::int64_t> MonitorStateTable::DataVersion()
{
    auto lock = m_db.Lock();
    Result<std::optional<std::int64_t>> version = m_db.QueryInt(kDataVersion);
    if (!version)
        return version.error();
    return version->value_or(0);
}

} // namespace ospreon::store
