#include "service/objects/module_lock.h"

#include <atomic>

#include "service/objects/plugin_objects.h"

namespace ospreon::service {

namespace {
std::atomic<long> g_locks{0};
} // namespace

void LockModule()
{
    ++g_locks;
}

void UnlockModule()
{
    if (--g_locks == 0)
        PluginObjects().ReleaseAll();
}

long ModuleLockCount()
{
    return g_locks.load();
}

} // namespace ospreon::service
