#pragma once
// Owners of SQLite handles.

#include <sqlite3.h>

#include <memory>

namespace ospreon::store {

struct DatabaseCloser
{
    // close_v2 defers the close until the last statement is finalized, so the
    // order in which owners go away does not matter.
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using DatabasePtr = std::unique_ptr<sqlite3, DatabaseCloser>;

struct StatementFinalizer
{
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using StatementPtr = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

} // namespace ospreon::store
