#include "plugins/common/class_factory.h"

#include <memory>
#include <mutex>
#include <new>

#include <dlfcn.h>

#include "plugins/common/module_lock.h"
#include "plugins/common/service_monitor.h"

namespace ospreon::plugin {

namespace {

// Creates ServiceMonitor objects. It is made on the first request and kept for the
// module's life; only LockServer and the objects it makes count in the module lock.
class ClassFactory final : public IClassFactory
{
public:
    explicit ClassFactory(const PluginType& type) : m_type(type) {}

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
        ServiceMonitor* monitor = ServiceMonitor::Create(m_type);
        if (!monitor)
            return E_OUTOFMEMORY;
        HRESULT hr = monitor->QueryInterface(riid, object);
        monitor->Release();
        return hr;
    }

    HRESULT LockServer(BOOL lock) override
    {
        lock ? LockModule() : UnlockModule();
        return S_OK;
    }

private:
    const PluginType& m_type;
};

std::mutex g_factoryMutex;
std::unique_ptr<ClassFactory> g_factory;

} // namespace

HRESULT ModuleGetClassObject(const PluginType& type, REFCLSID clsid, REFIID riid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (clsid != type.clsid)
        return CLASS_E_CLASSNOTAVAILABLE;
    ClassFactory* factory = nullptr;
    {
        std::lock_guard lock(g_factoryMutex);
        if (!g_factory)
            g_factory.reset(new (std::nothrow) ClassFactory(type));
        factory = g_factory.get();
    }
    if (!factory)
        return E_OUTOFMEMORY;
    return factory->QueryInterface(riid, object);
}

HRESULT ModuleCanUnloadNow()
{
    return ModuleLockCount() == 0 ? S_OK : S_FALSE;
}

std::string ModulePathOf(const void* address)
{
    Dl_info info{};
    if (!::dladdr(address, &info) || !info.dli_fname)
        return {};
    return info.dli_fname;
}

} // namespace ospreon::plugin
