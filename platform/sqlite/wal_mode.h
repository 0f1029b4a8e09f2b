#pragma once
// What every SQLite database of Ospreon's needs besides its own schema.

#include <sqlite3.h>

namespace ospreon::sqlite {

// Puts the database into WAL mode. The switch takes an exclusive lock, which SQLite
// does not wait for through the busy handler: when another process opening the
// same new file holds a lock, it is tried again until `timeoutMs` runs out. A file
// already in WAL mode is left alone. Returns SQLite's result code.
int EnableWal(sqlite3* db, int timeoutMs);

} // namespace ospreon::sqlite
