#pragma once
// The plug-in log: a path expanded with the local date at each write ("%d%m%y"
// gives a file a day), and lines serialised between threads and processes by the
// system-wide lock "LogFileMetux".
//
// Each object keeps the path of its own last Init, and a call of an object writes
// there (ObjectLogScope), so two objects of one module called at once on two
// threads never write into each other's files. Lines written outside any object's
// call go to the module-wide path, which every Init also sets.

#include <cstddef>
#include <string>

namespace ospreon::plugin {

// The longest log path kept; a longer one is cut.
inline constexpr std::size_t kLogPathChars = 1023;

// Appends "T<thread> HH:MM:SS   <message>\r\n" to the current log file. The message
// is cut to 4095 characters. Failures to lock, open or write lose the line silently;
// a lock not had within 200 ms does not stop the line. Never throws: it is called
// from the handlers that contain faults.
void WriteLog(const char* format, ...) noexcept __attribute__((format(printf, 1, 2)));

// Directs the lines this thread writes to `path` while it lives: set around every
// call of an object. An empty path leaves the module-wide path in force. Scopes nest.
class ObjectLogScope
{
public:
    explicit ObjectLogScope(std::string path);
    ~ObjectLogScope();
    ObjectLogScope(const ObjectLogScope&) = delete;
    ObjectLogScope& operator=(const ObjectLogScope&) = delete;

    // Changes the path of the innermost scope (Init, once it has read its record).
    void Redirect(std::string path);

private:
    std::string m_path;
    const std::string* m_previous;
};

// Replaces the module-wide log path (at most 1023 characters are kept).
void SetLogFile(const std::string& path);

// The current log path, unexpanded: $OSPREON_HOME/log/Wardenhost until the first
// SetLogFile.
std::string LogFile();

// The file a line written now on this thread goes to: the path with its date patterns expanded.
std::string ExpandedLogFile();

} // namespace ospreon::plugin
