#pragma once
// The frame of a COM object: atomic reference counting and QueryInterface over the
// interfaces it derives from. The first base answers IUnknown, the first base
// that is an IDispatch answers IDispatch, and every base answers its own Iid:
//   class CUser final : public Object<DispatchImpl<IUser, kIUserDesc>> { ... };
// The virtual destructor comes after the interfaces' slots, so the COM layout is
// unchanged; the last Release deletes the object.

#include <atomic>
#include <cassert>
#include <new>
#include <type_traits>
#include <utility>

#include "platform/com/com_ptr.h"
#include "platform/com/dispatch.h"

namespace ospreon::com {

template <class First, class... Others> class Object : public First, public Others...
{
public:
    HRESULT QueryInterface(REFIID riid, void** object) override
    {
        if (!object)
            return E_POINTER;
        *object = Find(riid);
        if (!*object)
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return m_refs.fetch_add(1, std::memory_order_relaxed) + 1; }
    ULONG Release() override
    {
        const ULONG before = m_refs.fetch_sub(1, std::memory_order_acq_rel);
        assert(before != 0 && "Release of a COM object that holds no reference");
        if (before == 1)
            delete this;
        return before - 1;
    }

protected:
    Object() = default;
    virtual ~Object() = default;
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;

    // The interface pointer of this object for `riid`, or null.
    void* Find(REFIID riid)
    {
        if (riid == IID_IUnknown)
            return static_cast<IUnknown*>(static_cast<First*>(this));
        if (riid == IID_IDispatch) {
            void* dispatch = AsDispatch<First>();
            ((dispatch = dispatch ? dispatch : AsDispatch<Others>()), ...);
            return dispatch;
        }
        void* found = AsOwn<First>(riid);
        ((found = found ? found : AsOwn<Others>(riid)), ...);
        return found;
    }

private:
    template <class Base> void* AsDispatch()
    {
        if constexpr (std::is_base_of_v<IDispatch, Base>)
            return static_cast<IDispatch*>(static_cast<Base*>(this));
        else
            return nullptr;
    }
    template <class Base> void* AsOwn(REFIID riid)
    {
        return riid == Base::Iid ? static_cast<Base*>(this) : nullptr;
    }

    std::atomic<ULONG> m_refs{1};
};

// A new object with the one reference the caller owns; null when memory runs out.
// Its constructor may throw: call it where exceptions are caught (Guarded).
template <class T, class... Args> ComPtr<T> MakeObject(Args&&... args)
{
    return ComPtr<T>::Attach(new (std::nothrow) T(std::forward<Args>(args)...));
}

// Makes a T and hands out its `riid` interface: the body of a class factory's
// CreateInstance.
template <class T, class... Args> HRESULT CreateObject(REFIID riid, void** object, Args&&... args)
{
    ComPtr<T> created = MakeObject<T>(std::forward<Args>(args)...);
    if (!created)
        return E_OUTOFMEMORY;
    return created->QueryInterface(riid, object);
}

} // namespace ospreon::com
