#pragma once
// The module's lock count: living objects and factory locks. DllCanUnloadNow says
// S_OK only at zero.

namespace ospreon::plugin {

void LockModule();
void UnlockModule();
long ModuleLockCount();

// Holds one module lock for an object's life. Declared as an object's first member,
// it is released last, after every other member (module code) is gone.
class ModuleLockHolder
{
public:
    ModuleLockHolder() { LockModule(); }
    ~ModuleLockHolder() { UnlockModule(); }
    ModuleLockHolder(const ModuleLockHolder&) = delete;
    ModuleLockHolder& operator=(const ModuleLockHolder&) = delete;
};

} // namespace ospreon::plugin
