#include "service/objects/class_factory.h"

#include "interfaces/guids.h"
#include "platform/com/class_factory.h"
#include "service/objects/com_object.h"
#include "service/objects/com_support.h"
#include "service/objects/config_store.h"
#include "service/objects/plugin_catalog.h"
#include "service/objects/plugin_objects.h"
#include "service/objects/service_control.h"
#include "service/objects/user_file.h"
#include "service/objects/user_ref.h"
#include "service/objects/user_store.h"

namespace ospreon::service {

constinit com::ModuleLock g_moduleLock{[] { PluginObjects().ReleaseAll(); }};

namespace {

template <class T> HRESULT Create(REFIID riid, void** object)
{
    return com::CreateObject<T>(riid, object);
}

using ClassFactory = com::ClassFactory<g_moduleLock, HRESULT (*)(REFIID, void**)>;

constexpr ServiceClass kClasses[] = {
    {&CLSID_UserStore, "UserStore", &Create<UserStore>},
    {&CLSID_UserRef, "UserRef", &Create<UserRef>},
    {&CLSID_PluginCatalog, "PluginCatalog", &Create<PluginCatalog>},
    {&CLSID_UserFile, "UserFile", &Create<UserFile>},
    {&CLSID_ServiceControl, "ServiceControl", &Create<ServiceControl>},
    {&CLSID_ConfigStore, "ConfigStore", &Create<ConfigStore>},
};

} // namespace

std::span<const ServiceClass> ServiceClasses()
{
    return kClasses;
}

HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    static ClassFactory factories[] = {
        ClassFactory(kClasses[0].create), ClassFactory(kClasses[1].create),
        ClassFactory(kClasses[2].create), ClassFactory(kClasses[3].create),
        ClassFactory(kClasses[4].create), ClassFactory(kClasses[5].create),
    };
    static_assert(std::size(factories) == std::size(kClasses));
    for (std::size_t i = 0; i < std::size(kClasses); ++i) {
        if (*kClasses[i].clsid == clsid)
            return factories[i].QueryInterface(riid, object);
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT CanUnloadNow()
{
    if (g_moduleLock.Count() != 0)
        return S_FALSE;
    PluginObjects().ReleaseAll();
    return S_OK;
}

} // namespace ospreon::service
