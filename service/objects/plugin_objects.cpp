#include "service/objects/plugin_objects.h"

namespace ospreon::service {

com::ComPtr<IServiceMonitor> PluginObjectCache::Find(const std::string& store, store::RecordId id,
                                                     const CLSID& clsid)
{
    std::lock_guard lock(m_mutex);
    auto found = m_entries.find(Key(store, id));
    if (found == m_entries.end() || found->second.clsid != clsid)
        return nullptr;
    return found->second.object;
}

com::ComPtr<IServiceMonitor> PluginObjectCache::Keep(const std::string& store, store::RecordId id,
                                                     const CLSID& clsid,
                                                     com::ComPtr<IServiceMonitor> object)
{
    com::ComPtr<IServiceMonitor> replaced; // released outside the lock
    std::lock_guard lock(m_mutex);
    Entry& entry = m_entries[Key(store, id)];
    if (entry.object && entry.clsid == clsid)
        return entry.object;
    replaced = std::exchange(entry.object, object);
    entry.clsid = clsid;
    return object;
}

void PluginObjectCache::Forget(const std::string& store, store::RecordId id)
{
    std::map<Key, Entry> released;
    std::lock_guard lock(m_mutex);
    auto found = m_entries.find(Key(store, id));
    if (found != m_entries.end())
        released.insert(m_entries.extract(found));
}

void PluginObjectCache::ReleaseAll()
{
    std::map<Key, Entry> released;
    {
        std::lock_guard lock(m_mutex);
        released.swap(m_entries);
    }
    // A plug-in object's Release runs the plug-in's code: never under the lock.
}

PluginObjectCache& PluginObjects()
{
    static PluginObjectCache cache;
    return cache;
}

} // namespace ospreon::service
