#include "plugins/common/module_lock.h"

#include <atomic>

namespace ospreon::plugin {

namespace {
std::atomic<long> g_locks{0};
} // namespace

void LockModule()
{
    ++g_locks;
}
void UnlockModule()
{
    --g_locks;
}
long ModuleLockCount()
{
    return g_locks.load();
}

} // namespace ospreon::plugin
