#pragma once
// The frame of every object of this library: reference counting, QueryInterface for
// its one interface, and the module lock (an object alive keeps the library loaded).
// The service interfaces other than IUser are called through their vtables only:
// their IDispatch part is com::VtableDispatch.

#include <atomic>
#include <new>
#include <utility>

#include "platform/com/com_ptr.h"
#include "platform/com/dispatch_impl.h"
#include "service/objects/module_lock.h"

namespace ospreon::service {

using com::VtableDispatch;

// `Base` is the interface with its IDispatch part (VtableDispatch<IUserStore>,
// DispatchImpl<IUser, kIUserDesc>). The virtual destructor comes after the
// interface's slots, so the COM layout is unchanged.
template <class Base> class ComObject : public Base
{
public:
    HRESULT QueryInterface(REFIID riid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == Base::Iid) {
            *object = static_cast<Base*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++m_refs; }
    ULONG Release() override
    {
        const ULONG refs = --m_refs;
        if (refs == 0)
            delete this;
        return refs;
    }

protected:
    ComObject() { LockModule(); }
    virtual ~ComObject() { UnlockModule(); }

private:
    std::atomic<ULONG> m_refs{1};
};

// A new object with the one reference the caller owns; null when memory runs out.
// Its constructor may throw: call it where exceptions are caught.
template <class T, class... Args> com::ComPtr<T> MakeObject(Args&&... args)
{
    return com::ComPtr<T>::Attach(new (std::nothrow) T(std::forward<Args>(args)...));
}

} // namespace ospreon::service
