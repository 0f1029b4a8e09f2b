#pragma once
// registry.db: the registry's tables on the SQLite layer, and the Win32 errors for
// SQLite's result codes.

#include <filesystem>
#include <memory>

#include "platform/base/result.h"
#include "platform/sqlite/connection.h"

namespace ospreon::registry {

// Opens or creates the registry database `file` (see sqlite::Connection::Open);
// failures carry Win32 error codes.
Result<std::unique_ptr<sqlite::Connection>> OpenRegistryDatabase(const std::filesystem::path& file);

} // namespace ospreon::registry
