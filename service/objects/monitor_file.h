#pragma once
// Monitor files (".Mnt"): every record with its name, type and ordered parameters,
// as UTF-8 JSON.
//
//   {
//     "format": "ospreon-monitors",
//     "version": 1,
//     "monitors": [
//       {
//         "name": "Ramwarden of mail server",
//         "type": "Ramwarden",
//         "parameters": [
//           ["Status", "Disable"],
//           ["DisplayName", "Process(Service) Name"]
//         ]
//       }
//     ]
//   }
//
// Records and parameters are in store order (creation order; list order). Every
// value is a JSON string, so any text round-trips byte for byte (line breaks,
// quotes, non-ASCII text, NUL characters, long values). Members other than these
// are ignored on reading, so a later version 1 writer may add some.
//
// A file is refused whole (WARDEN_E_BADFILE) when it is not JSON (empty, truncated,
// damaged, not UTF-8, nested deeper than the format: refused as it is read), names
// another format, has a version other than 1, or when a
// monitor lacks a non-empty "name", a "type" string or a "parameters" list of
// [key, value] string pairs, has a name or key with a control character
// (service/objects/record_text.h), has a name whose text before its first " of " is not
// its "type" (both without regard to letter case), lists a key twice, or shares its
// name (without regard to letter case) with another monitor of the file.

#include <string>
#include <string_view>
#include <vector>

#include "platform/base/result.h"
#include "service/store/record_data.h"

namespace ospreon::service {

inline constexpr char kMonitorFileFormat[] = "ospreon-monitors";
inline constexpr int kMonitorFileVersion = 1;

[[nodiscard]] Result<std::vector<store::RecordData>> ParseMonitorFile(std::string_view text);
[[nodiscard]] Result<std::string> FormatMonitorFile(const std::vector<store::RecordData>& records);

} // namespace ospreon::service
