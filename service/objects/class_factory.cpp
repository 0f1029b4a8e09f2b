#include "service/objects/class_factory.h"

#include "interfaces/guids.h"
#include "service/objects/com_object.h"
#include "service/objects/com_support.h"
#include "service/objects/config_store.h"
#include "service/objects/module_lock.h"
#include "service/objects/plugin_catalog.h"
#include "service/objects/plugin_objects.h"
#include "service/objects/service_control.h"
#include "service/objects/user_file.h"
#include "service/objects/user_ref.h"
#include "service/objects/user_store.h"

namespace ospreon::service {

namespace {

template <class T> HRESULT Create(REFIID riid, void** object)
{
    return Guarded([&] {
        com::ComPtr<T> created = MakeObject<T>();
        if (!created)
            return E_OUTOFMEMORY;
        return created->QueryInterface(riid, object);
    });
}

constexpr ServiceClass kClasses[] = {
    {&CLSID_UserStore, "UserStore", &Create<UserStore>},
    {&CLSID_UserRef, "UserRef", &Create<UserRef>},
    {&CLSID_PluginCatalog, "PluginCatalog", &Create<PluginCatalog>},
    {&CLSID_UserFile, "UserFile", &Create<UserFile>},
    {&CLSID_ServiceControl, "ServiceControl", &Create<ServiceControl>},
    {&CLSID_ConfigStore, "ConfigStore", &Create<ConfigStore>},
};

// One static factory per class; only LockServer and the objects it makes count in
// the module lock.
class ClassFactory final : public IClassFactory
{
public:
    explicit constexpr ClassFactory(const ServiceClass& serviceClass) : m_class(serviceClass) {}

    HRESULT QueryInterface(REFIID riid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *object = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }

    HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        return m_class.create(riid, object);
    }

    HRESULT LockServer(BOOL lock) override
    {
        lock ? LockModule() : UnlockModule();
        return S_OK;
    }

private:
    const ServiceClass& m_class;
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
        ClassFactory(kClasses[0]), ClassFactory(kClasses[1]), ClassFactory(kClasses[2]),
        ClassFactory(kClasses[3]), ClassFactory(kClasses[4]), ClassFactory(kClasses[5]),
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
    if (ModuleLockCount() != 0)
        return S_FALSE;
    PluginObjects().ReleaseAll();
    return S_OK;
}

} // namespace ospreon::service
