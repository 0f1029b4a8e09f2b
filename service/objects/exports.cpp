// The library's only exported symbols: the four functions of an in-process COM
// server. Everything else is hidden.

#include <string>

#include "platform/com/guard.h"
#include "platform/com/type_descriptor.h"
#include "platform/os/shared_library.h"
#include "service/objects/class_factory.h"

namespace {

// The path of this library's file, registered as InprocServer32.
std::string OwnPath()
{
    return ospreon::os::SharedLibrary::PathOf(reinterpret_cast<const void*>(&OwnPath));
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
