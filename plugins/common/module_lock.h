#pragma once
// The module's lock count: living objects and factory locks. DllCanUnloadNow says
// S_OK only at zero.

namespace ospreon::plugin {

void LockModule();
void UnlockModule();
long ModuleLockCount();

} // namespace ospreon::plugin
