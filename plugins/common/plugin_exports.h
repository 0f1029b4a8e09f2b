#pragma once
// The exports of a plug-in module, defined once for its PluginType:
//
//   OSPREON_PLUGIN_MODULE(kRamwarden)
//
// gives DllGetClassObject, DllCanUnloadNow, DllRegisterServer, DllUnregisterServer
// with C linkage. The module also defines its type library and version records
// under their export names, for which OSPREON_PLUGIN_RECORDS writes the usual ones:
//
//   OSPREON_PLUGIN_RECORDS(Ramwarden, RAMWARDEN, kClsid, kLibid)
//
// defines OspreonTypeLibrary ("RAMWARDENLib", "RamwardenMonitor 1.0 Type Library",
// coclass RamwardenMonitor with IServiceMonitor as its default interface, and IUser)
// and OspreonVersionInfo ("Ramwarden Module", "Ramwarden.so", 1.0.0.1).

#include "interfaces/type_info.h"
#include "plugins/common/class_factory.h"
#include "plugins/common/registrar.h"

#define OSPREON_PLUGIN_RECORDS(Name, NAME, clsid, libid)                                           \
    namespace {                                                                                    \
    constexpr ospreon::com::CoClassDesc kPluginCoClasses[] = {                                     \
        {#Name "Monitor", clsid, #Name "Monitor Class", &ospreon::kIServiceMonitorDesc}};          \
    constexpr const ospreon::com::InterfaceDesc* kPluginInterfaces[] = {                           \
        &ospreon::kIServiceMonitorDesc, &ospreon::kIUserDesc};                                     \
    }                                                                                              \
    extern "C" OSPREON_EXPORT const ospreon::com::TypeLibDesc OspreonTypeLibrary{                  \
        #NAME "Lib",      libid, 1, 0, 0x409, #Name "Monitor 1.0 Type Library", kPluginCoClasses,  \
        kPluginInterfaces};                                                                        \
    extern "C" OSPREON_EXPORT const ospreon::com::ModuleVersionInfo OspreonVersionInfo{            \
        #Name " Module", #Name " Module", #Name, #Name ".so", {1, 0, 0, 1}, true};

#define OSPREON_PLUGIN_MODULE(type)                                                                \
    extern "C" OSPREON_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid,               \
                                                        void** object)                             \
    {                                                                                              \
        return ospreon::plugin::ModuleGetClassObject(type, clsid, riid, object);                   \
    }                                                                                              \
    extern "C" OSPREON_EXPORT HRESULT DllCanUnloadNow()                                            \
    {                                                                                              \
        return ospreon::plugin::ModuleCanUnloadNow();                                              \
    }                                                                                              \
    extern "C" OSPREON_EXPORT HRESULT DllRegisterServer()                                          \
    {                                                                                              \
        return ospreon::plugin::RegisterModule(type,                                               \
                                               reinterpret_cast<const void*>(&DllRegisterServer)); \
    }                                                                                              \
    extern "C" OSPREON_EXPORT HRESULT DllUnregisterServer()                                        \
    {                                                                                              \
        return ospreon::plugin::UnregisterModule(type);                                            \
    }
