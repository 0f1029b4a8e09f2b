#pragma once
// The lock count of one module: its living objects and its factories' LockServer
// calls. DllCanUnloadNow of the module says S_OK only at zero. Each module defines
// its own ModuleLock (module data, hidden), so one module's objects never keep
// another loaded:
//   ospreon::com::ModuleLock g_moduleLock;
//   class Thing final : public ModuleObject<g_moduleLock, IThing> { ... };

#include <atomic>
#include <cassert>

#include "platform/com/object.h"

namespace ospreon::com {

class ModuleLock
{
public:
    // `onIdle` runs each time the count falls to zero (the service releases the
    // plug-in objects it keeps then).
    constexpr explicit ModuleLock(void (*onIdle)() = nullptr) : m_onIdle(onIdle) {}
    ModuleLock(const ModuleLock&) = delete;
    ModuleLock& operator=(const ModuleLock&) = delete;

    void Lock() noexcept { m_count.fetch_add(1, std::memory_order_relaxed); }
    void Unlock() noexcept
    {
        const long before = m_count.fetch_sub(1, std::memory_order_acq_rel);
        assert(before > 0 && "module unlocked more often than locked");
        if (before == 1 && m_onIdle)
            m_onIdle();
    }
    long Count() const noexcept { return m_count.load(std::memory_order_acquire); }
    HRESULT CanUnloadNow() const noexcept { return Count() == 0 ? S_OK : S_FALSE; }

private:
    std::atomic<long> m_count{0};
    void (*m_onIdle)();
};

// An object that keeps its module loaded while it lives. The lock is taken before
// the object's members are made and given back after they are gone.
template <ModuleLock& Module, class... Interfaces> class ModuleObject : public Object<Interfaces...>
{
protected:
    ModuleObject() { Module.Lock(); }
    ~ModuleObject() override { Module.Unlock(); }
};

} // namespace ospreon::com
