// GetServicePluginKey: one open handle per service name, kept for the life of the
// process, so callers that never close what they are given leak nothing.

#include <exception>
#include <mutex>
#include <string>
#include <unordered_map>

#include "alertlib/alertlib.h"
#include "alertlib/text_util.h"

namespace ospreon::alert {

namespace {

constexpr char kServicesKey[] = "SOFTWARE\\Brackwater\\RELAYMOOR\\Services\\";

class ServiceKeyCache
{
public:
    // Never destroyed: a plug-in may still ask from a static destructor, and the
    // handles stay reachable from here, so leak checkers do not report them.
    static ServiceKeyCache& Instance()
    {
        static ServiceKeyCache* const cache = new ServiceKeyCache();
        return *cache;
    }

    HKEY Get(const std::string& serviceName)
    {
        // Registry names compare without regard to ASCII case; so does the cache.
        const std::string id = ToLowerAscii(serviceName);
        std::lock_guard<std::mutex> lock(m_mutex);
        auto found = m_keys.find(id);
        if (found != m_keys.end()) {
            if (!IsStale(found->second))
                return found->second;
            (void)RegCloseKey(found->second);
            m_keys.erase(found);
        }
        const std::string path = kServicesKey + serviceName;
        HKEY key = nullptr;
        if (RegOpenKeyEx(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
            return nullptr;
        try {
            m_keys.emplace(id, key);
        } catch (...) {
            (void)RegCloseKey(key);
            throw;
        }
        return key;
    }

private:
    ServiceKeyCache() = default;

    // A handle whose key was deleted (and maybe created again), or that belongs to
    // a registry.db of an earlier $OSPREON_HOME, no longer names the service's key.
    static bool IsStale(HKEY key)
    {
        const LSTATUS status = RegQueryValueEx(key, nullptr, nullptr, nullptr, nullptr, nullptr);
        return status == ERROR_KEY_DELETED || status == ERROR_INVALID_HANDLE;
    }

    std::mutex m_mutex;
    std::unordered_map<std::string, HKEY> m_keys;
};

} // namespace

} // namespace ospreon::alert

extern "C" HKEY GetServicePluginKey(const char* serviceName)
{
    if (!serviceName || !*serviceName)
        return nullptr;
    try {
        return ospreon::alert::ServiceKeyCache::Instance().Get(serviceName);
    } catch (...) {
        return nullptr;
    }
}
