#pragma once
// A separate SQLite connection to a database file, for looking behind an API or
// making files as another program would.

#include <sqlite3.h>

#include <filesystem>
#include <memory>
#include <string>

namespace ospreon::test {

class RawDatabase
{
public:
    explicit RawDatabase(const std::filesystem::path& file);

    // Runs `sql`, failing the test when it fails.
    void Exec(const char* sql);
    // The first column of the first row of `sql`, as text ("" when none).
    std::string Scalar(const char* sql);
    sqlite3* handle() const { return m_db.get(); }

private:
    struct Closer
    {
        void operator()(sqlite3* db) const { sqlite3_close(db); }
    };
    std::unique_ptr<sqlite3, Closer> m_db;
};

} // namespace ospreon::test
