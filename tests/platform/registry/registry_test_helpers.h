#pragma once
// Small helpers shared by the registry suites: opening keys with a readable
// failure, listing subkeys, and a direct SQLite look at registry.db.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/registry/registry.h"

namespace ospreon::registry::test {

inline Key CreateKey(HKEY parent, const char* path, DWORD* disposition = nullptr)
{
    Key key;
    LSTATUS status = RegCreateKeyEx(parent, path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                    KEY_ALL_ACCESS, nullptr, key.put(), disposition);
    EXPECT_EQ(status, ERROR_SUCCESS) << path << ": " << RegLastErrorText();
    return key;
}

inline LSTATUS OpenKey(HKEY parent, const char* path, Key& key)
{
    return RegOpenKeyEx(parent, path, 0, KEY_READ, key.put());
}

inline bool KeyExists(HKEY parent, const char* path)
{
    Key key;
    return OpenKey(parent, path, key) == ERROR_SUCCESS;
}

// Every subkey name of `key`, in enumeration order.
inline std::vector<std::string> Subkeys(HKEY key)
{
    std::vector<std::string> names;
    for (DWORD index = 0;; ++index) {
        char name[256];
        DWORD size = sizeof(name);
        LSTATUS status = RegEnumKeyEx(key, index, name, &size, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS)
            return names;
        EXPECT_EQ(status, ERROR_SUCCESS) << RegLastErrorText();
        if (status != ERROR_SUCCESS)
            return names;
        names.emplace_back(name, size);
    }
}

inline std::string ReadString(HKEY key, const char* valueName)
{
    std::string value;
    LSTATUS status = GetString(key, valueName, value);
    EXPECT_EQ(status, ERROR_SUCCESS) << RegLastErrorText();
    return value;
}

// A separate SQLite connection to a database file, for looking behind the API.
class RawDatabase
{
public:
    explicit RawDatabase(const std::filesystem::path& file)
    {
        sqlite3* db = nullptr;
        int rc = sqlite3_open(file.c_str(), &db);
        m_db.reset(db);
        EXPECT_EQ(rc, SQLITE_OK) << file;
        sqlite3_busy_timeout(db, 10'000);
    }

    void Exec(const char* sql)
    {
        char* error = nullptr;
        EXPECT_EQ(sqlite3_exec(m_db.get(), sql, nullptr, nullptr, &error), SQLITE_OK)
            << sql << ": " << (error ? error : "");
        sqlite3_free(error);
    }

    // The first column of the first row of `sql`, as text ("" when none).
    std::string Scalar(const char* sql)
    {
        sqlite3_stmt* raw = nullptr;
        EXPECT_EQ(sqlite3_prepare_v2(m_db.get(), sql, -1, &raw, nullptr), SQLITE_OK)
            << sql << ": " << sqlite3_errmsg(m_db.get());
        std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)> statement(raw,
                                                                             &sqlite3_finalize);
        if (!raw || sqlite3_step(raw) != SQLITE_ROW)
            return {};
        const unsigned char* text = sqlite3_column_text(raw, 0);
        return text ? reinterpret_cast<const char*>(text) : "";
    }

private:
    struct Closer
    {
        void operator()(sqlite3* db) const { sqlite3_close(db); }
    };
    std::unique_ptr<sqlite3, Closer> m_db;
};

} // namespace ospreon::registry::test
