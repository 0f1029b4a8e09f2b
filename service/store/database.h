#pragma once
// Opening wardenhost.db. A store is an sqlite::Connection with the store's schema:
// every operation holds its Lock() across its statements and its transaction, and
// its failures carry the service's HRESULTs with a text that names the file.

#include <filesystem>
#include <memory>

#include "platform/base/result.h"
#include "platform/sqlite/connection.h"

namespace ospreon::store {

using Database = sqlite::Connection;

// $OSPREON_HOME/wardenhost.db.
std::filesystem::path DefaultPath();

// Opens `file`, creating it (mode 0600) and its folder (mode 0700) when missing,
// and brings its schema up to date. Fails with WARDEN_E_STORE for a file that is
// not a store of this program (or of a newer one).
Result<std::shared_ptr<Database>> Open(const std::filesystem::path& file);
Result<std::shared_ptr<Database>> OpenDefault();

} // namespace ospreon::store
