#pragma once
// The monitor type modules built with the system, copied into $OSPREON_HOME/plugins
// (the program folder of monitor types) and registered from there.

#include <filesystem>

#include "platform/base/result.h"

namespace ospreon::ctl {

// The modules of the built-in plug-in types, by file name.
inline constexpr const char* kBundledPlugins[] = {
    "Ramwarden.so", "Loadwarden.so", "Daemonwarden.so", "Relaywarden.so", "Mailboxwarden.so"};

// Copies `source` to `target` unless `target` already has the same size and bytes.
// The copy is written beside the target and renamed over it, so a module in use is
// never seen half written. True when it copied.
Result<bool> CopyIfChanged(const std::filesystem::path& source,
                           const std::filesystem::path& target);

} // namespace ospreon::ctl
