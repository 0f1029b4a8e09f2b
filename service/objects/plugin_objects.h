#pragma once
// The plug-in objects that serve records in this process, one per record: the
// object a record's UserFunc hands out, kept so that every later request gets the
// same one (a plug-in object keeps state between calls, and declares its
// parameters only on its first Init). Keyed by the store file and the record's
// identity; released when the record is removed here and when the last object of
// this library goes away.

#include <map>
#include <mutex>
#include <string>
#include <utility>

#include "interfaces/service_monitor.h"
#include "platform/com/com_ptr.h"
#include "service/store/record_data.h"

namespace ospreon::service {

class PluginObjectCache
{
public:
    // The object kept for the record, when it was made for `clsid`.
    com::ComPtr<IServiceMonitor> Find(const std::string& store, store::RecordId id,
                                      const CLSID& clsid);
    // Keeps `object` for the record unless another thread kept one for the same
    // class first; returns the one kept.
    com::ComPtr<IServiceMonitor> Keep(const std::string& store, store::RecordId id,
                                      const CLSID& clsid, com::ComPtr<IServiceMonitor> object);
    void Forget(const std::string& store, store::RecordId id);
    void ReleaseAll();

private:
    struct Entry
    {
        CLSID clsid;
        com::ComPtr<IServiceMonitor> object;
    };
    using Key = std::pair<std::string, store::RecordId>;

    std::mutex m_mutex;
    std::map<Key, Entry> m_entries;
};

PluginObjectCache& PluginObjects();

} // namespace ospreon::service
