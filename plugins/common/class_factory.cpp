#include "plugins/common/class_factory.h"

#include "platform/com/class_factory.h"
#include "plugins/common/service_monitor.h"

namespace ospreon::plugin {

constinit com::ModuleLock g_moduleLock;

namespace {

struct CreateMonitor
{
    const PluginType* type;
    HRESULT operator()(REFIID riid, void** object) const
    {
        return com::CreateObject<ServiceMonitor>(riid, object, *type);
    }
};

} // namespace

HRESULT ModuleGetClassObject(const PluginType& type, REFCLSID clsid, REFIID riid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (clsid != type.clsid)
        return CLASS_E_CLASSNOTAVAILABLE;
    // A module serves one type: its factory is made on the first request and kept
    // for the module's life.
    static com::ClassFactory<g_moduleLock, CreateMonitor> factory{CreateMonitor{&type}};
    return factory.QueryInterface(riid, object);
}

HRESULT ModuleCanUnloadNow()
{
    return g_moduleLock.CanUnloadNow();
}

} // namespace ospreon::plugin
