#pragma once
// A class factory that is module data: it lives as long as its module, so AddRef
// and Release do not count, and only LockServer and the objects it makes hold the
// module's lock. `Create` makes the object and hands out the asked interface:
//   constexpr ClassFactory<g_moduleLock, HRESULT (*)(REFIID, void**)> f{&Create<Thing>};

#include <utility>

#include "platform/com/guard.h"
#include "platform/com/module_lock.h"

namespace ospreon::com {

template <ModuleLock& Module, class Create> class ClassFactory final : public IClassFactory
{
public:
    constexpr explicit ClassFactory(Create create) : m_create(std::move(create)) {}

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
        return Guarded([&] {
            if (!object)
                return E_POINTER;
            *object = nullptr;
            if (outer)
                return CLASS_E_NOAGGREGATION;
            return m_create(riid, object);
        });
    }

    HRESULT LockServer(BOOL lock) override
    {
        lock ? Module.Lock() : Module.Unlock();
        return S_OK;
    }

private:
    Create m_create;
};

} // namespace ospreon::com
