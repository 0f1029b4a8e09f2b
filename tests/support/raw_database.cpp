#include "tests/support/raw_database.h"

#include <gtest/gtest.h>

namespace ospreon::test {

RawDatabase::RawDatabase(const std::filesystem::path& file)
{
    sqlite3* db = nullptr;
    int rc = sqlite3_open(file.c_str(), &db);
    m_db.reset(db);
    EXPECT_EQ(rc, SQLITE_OK) << file;
    sqlite3_busy_timeout(db, 10'000);
}

void RawDatabase::Exec(const char* sql)
{
    char* error = nullptr;
    EXPECT_EQ(sqlite3_exec(m_db.get(), sql, nullptr, nullptr, &error), SQLITE_OK)
        << sql << ": " << (error ? error : "");
    sqlite3_free(error);
}

std::string RawDatabase::Scalar(const char* sql)
{
    sqlite3_stmt* raw = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(m_db.get(), sql, -1, &raw, nullptr), SQLITE_OK)
        << sql << ": " << sqlite3_errmsg(m_db.get());
    std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)> statement(raw, &sqlite3_finalize);
    if (!raw || sqlite3_step(raw) != SQLITE_ROW)
        return {};
    const unsigned char* text = sqlite3_column_text(raw, 0);
    return text ? reinterpret_cast<const char*>(text) : "";
}

} // namespace ospreon::test
