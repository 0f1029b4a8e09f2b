#pragma once
// Whole files: read at once, and replaced atomically. Failures carry errno (EFBIG
// for a file over the limit, EISDIR for something that is not a regular file) and
// a text that names the file.

#include <sys/types.h>

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/base/result.h"

namespace ospreon::os {

// The content of the regular file at `path`, refused when larger than `limit`.
[[nodiscard]] Result<std::string> ReadWholeFile(const std::filesystem::path& path,
                                                std::size_t limit);

// Replaces the file at `path` with `content` so that a reader, or a crash at any
// moment, finds the old file or the new one whole, never a part: a temporary file in
// the same folder is written, synced and renamed over the target, then the folder is
// synced. The new file has `mode`. On failure the target is unchanged.
[[nodiscard]] Result<void> ReplaceFileAtomically(const std::filesystem::path& path,
                                                 std::string_view content, mode_t mode = 0600);

} // namespace ospreon::os
