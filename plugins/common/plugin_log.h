#pragma once
// The plug-in log: one module-wide path, expanded with the local date at each write
// ("%d%m%y" gives a file a day), and lines serialised between threads and processes
// by the system-wide lock "LogFileMetux".

#include <string>

namespace ospreon::plugin {

// Appends "T<thread> HH:MM:SS   <message>\r\n" to the current log file. The message
// is cut to 4095 characters. Failures to lock, open or write lose the line silently;
// a lock not had within 200 ms does not stop the line. Never throws: it is called
// from the handlers that contain faults.
void WriteLog(const char* format, ...) noexcept __attribute__((format(printf, 1, 2)));

// Replaces the module-wide log path (at most 1023 characters are kept).
void SetLogFile(const std::string& path);

// The current log path, unexpanded: $OSPREON_HOME/log/Wardenhost until the first
// SetLogFile.
std::string LogFile();

// The file a line written now goes to: the path with its date patterns expanded.
std::string ExpandedLogFile();

} // namespace ospreon::plugin
