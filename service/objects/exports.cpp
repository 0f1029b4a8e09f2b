// The library's only exported symbols: the four functions of an in-process COM
// server. Everything else is hidden.

#include <dlfcn.h>

#include <string>

#include "platform/com/guard.h"
#include "platform/com/type_descriptor.h"
#include "service/objects/class_factory.h"

namespace {

// The full path of this library (dladdr), registered as InprocServer32.
std::string OwnPath()
{
    Dl_info info{};
    if (!::dladdr(reinterpret_cast<const void*>(&OwnPath), &info) || !info.dli_fname)
        return {};
    return info.dli_fname;
}

} // namespace

extern "C" OSPREON_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void** object)
{
    return ospreon::service::GetClassObject(clsid, riid, object);
}

extern "C" OSPREON_EXPORT HRESULT DllCanUnloadNow()
{
    return ospreon::service::CanUnloadNow();
}

extern "C" OSPREON_EXPORT HRESULT DllRegisterServer()
{
    return ospreon::com::Guarded([] { return ospreon::service::RegisterServer(OwnPath()); });
}

extern "C" OSPREON_EXPORT HRESULT DllUnregisterServer()
{
    return ospreon::com::Guarded([] { return ospreon::service::UnregisterServer(); });
}
