#pragma once
// Whole-file reads and replacements for monitor files.

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/os/result.h"

namespace ospreon::service {

// The content of the regular file at `path`. Failures carry an HRESULT:
// HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), E_ACCESSDENIED,
// HRESULT_FROM_WIN32(ERROR_CANTREAD) (a folder, an I/O error), WARDEN_E_BADFILE
// (larger than `limit`).
[[nodiscard]] Result<std::string> ReadFileText(const std::filesystem::path& path,
                                               std::size_t limit);

// Replaces the file at `path` with `content` (mode 0600) so that a reader, or a
// crash at any moment, finds the old file or the new one whole, never a part: a
// temporary file in the same folder is written, synced and renamed over the target,
// then the folder is synced. Failures: HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND) (no
// such folder), E_ACCESSDENIED, HRESULT_FROM_WIN32(ERROR_DISK_FULL),
// HRESULT_FROM_WIN32(ERROR_CANTWRITE); the target is then unchanged.
[[nodiscard]] Result<void> ReplaceFile(const std::filesystem::path& path, std::string_view content);

} // namespace ospreon::service
