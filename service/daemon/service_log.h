#pragma once
// The service log: the configuration's "LogFile" with its date patterns expanded at
// each line (a daily pattern gives a file a day), one line per event, serialised
// with the plug-ins' lines by the lock "LogFileMetux". In the foreground each line
// also goes to standard error.

#include <mutex>
#include <string>

namespace ospreon::daemon {

class ServiceLog
{
public:
    explicit ServiceLog(bool echo) : m_echo(echo) {}

    // Takes the path from the configuration ("LogFile"); the setup's default
    // $OSPREON_HOME/log/Wardenhost%d%m%y.log when it has none.
    void Configure();
    void Write(const std::string& message);

private:
    const bool m_echo;
    std::mutex m_mutex;
    std::string m_path;
};

} // namespace ospreon::daemon
