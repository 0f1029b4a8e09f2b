#pragma once
// The six creatable classes of the library, their factories, and the bodies of
// the library's four exports.

#include <span>
#include <string>

#include "platform/com/unknown.h"

namespace ospreon::service {

struct ServiceClass
{
    const CLSID* clsid;
    const char* name; // "UserStore": registered as "UserStore Class"
    HRESULT (*create)(REFIID riid, void** object);
};

std::span<const ServiceClass> ServiceClasses();

HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** object);
HRESULT CanUnloadNow();

// HKCR\CLSID\{clsid} = "<Name> Class" with InprocServer32 = `modulePath` and
// ThreadingModel "Both", for each class; SELFREG_E_CLASS when a key cannot be
// written.
HRESULT RegisterServer(const std::string& modulePath);
// Removes those CLSID keys.
HRESULT UnregisterServer();

} // namespace ospreon::service
