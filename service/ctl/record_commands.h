#pragma once
// The record commands: list, show, get, set, add, remove, types, import, export.

#include <string>

#include "service/ctl/console_io.h"

namespace ospreon::ctl {

// One line (or JSON object) per record. A record removed meanwhile is left out and
// a value the record lacks is empty; any other failure to read ends the command.
Outcome ListRecords(Console& console, bool json);
Outcome ShowRecord(Console& console, const std::string& name, bool json);
Outcome GetValue(Console& console, const std::string& name, const std::string& key);
Outcome SetValue(Console& console, const std::string& name, const std::string& key,
                 const std::string& value);
// Creates "<TYPE> of <NAME>" (the type in the catalogue's spelling) and prints it.
Outcome AddRecord(Console& console, const std::string& type, const std::string& name);
Outcome RemoveRecord(Console& console, const std::string& name);
Outcome ListTypes(Console& console);
// Import and export fail with bad input (2) for a fault of the file (missing,
// unreadable, unwritable, not a usable monitor file, a file of the store itself, an
// empty name) and with 3 for anything else, the store above all. An import that
// skipped records of unregistered types prints the summary that names them.
Outcome ImportFile(Console& console, const std::string& path);
Outcome ExportFile(Console& console, const std::string& path);

} // namespace ospreon::ctl
