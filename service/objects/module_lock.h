#pragma once
// The library's lock count: living objects and factory locks. DllCanUnloadNow
// says S_OK only at zero. When the count falls to zero the plug-in objects kept for
// records are released too, so their modules can unload and nothing outlives the
// last user of the service.

namespace ospreon::service {

void LockModule();
void UnlockModule();
long ModuleLockCount();

} // namespace ospreon::service
