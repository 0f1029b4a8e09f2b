#include "platform/sqlite/wal_mode.h"

#include <chrono>
#include <string_view>
#include <thread>

namespace ospreon::sqlite {

int EnableWal(sqlite3* db, int timeoutMs)
{
    auto isWal = [](void* found, int, char** values, char**) {
        *static_cast<bool*>(found) = values[0] && std::string_view(values[0]) == "wal";
        return 0;
    };
    bool wal = false;
    int rc = sqlite3_exec(db, "PRAGMA journal_mode", isWal, &wal, nullptr);
    if (rc != SQLITE_OK || wal)
        return rc;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        rc = sqlite3_exec(db, "PRAGMA journal_mode = WAL", nullptr, nullptr, nullptr);
        if ((rc & 0xff) != SQLITE_BUSY && (rc & 0xff) != SQLITE_LOCKED)
            return rc;
        if (std::chrono::steady_clock::now() >= deadline)
            return rc;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

} // namespace ospreon::sqlite
