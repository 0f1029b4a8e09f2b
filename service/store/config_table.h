#pragma once
// Configuration sections: named text values, names without regard to letter case.

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/base/result.h"
#include "service/store/database.h"

namespace ospreon::store {

// The monitor service's section, with its log file, backup file and control
// password.
inline constexpr char kServiceSection[] = "Wardenhost";
inline constexpr char kControlPassName[] = "ControlPass";

class ConfigTable
{
public:
    explicit ConfigTable(Database& database) : m_db(database) {}

    // nullopt when the value was never set.
    [[nodiscard]] Result<std::optional<std::string>> Get(std::string_view section,
                                                         std::string_view name);
    // Stores every (name, value) in one transaction.
    [[nodiscard]] Result<void>
    PutAll(std::string_view section,
           const std::vector<std::pair<std::string, std::string>>& values);

private:
    Database& m_db;
};

} // namespace ospreon::store
