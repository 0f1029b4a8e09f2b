#pragma once
// ComPtr<T>: one counted reference to a COM interface, released when it goes.

#include <cstddef>
#include <utility>

#include "platform/com/unknown.h"

namespace ospreon::com {

template <class T> class ComPtr
{
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Takes a new reference to `pointer` (AddRef).
    explicit ComPtr(T* pointer) : m_pointer(pointer)
    {
        if (m_pointer)
            m_pointer->AddRef();
    }
    ComPtr(const ComPtr& other) : ComPtr(other.m_pointer) {}
    ComPtr(ComPtr&& other) noexcept : m_pointer(std::exchange(other.m_pointer, nullptr)) {}
    ComPtr& operator=(ComPtr other) noexcept
    {
        std::swap(m_pointer, other.m_pointer);
        return *this;
    }
    ~ComPtr() { reset(); }

    // Adopts a reference the caller already owns (no AddRef).
    static ComPtr Attach(T* pointer)
    {
        ComPtr result;
        result.m_pointer = pointer;
        return result;
    }

    T* get() const { return m_pointer; }
    T* operator->() const { return m_pointer; }
    explicit operator bool() const { return m_pointer != nullptr; }

    // Out-parameters: release what is held first.
    T** put()
    {
        reset();
        return &m_pointer;
    }
    void** putVoid() { return reinterpret_cast<void**>(put()); }

    T* detach() { return std::exchange(m_pointer, nullptr); }
    void reset()
    {
        if (T* old = std::exchange(m_pointer, nullptr))
            old->Release();
    }

    // QueryInterface for U.
    template <class U> HRESULT As(ComPtr<U>& other) const
    {
        if (!m_pointer) {
            other.reset();
            return E_POINTER;
        }
        return m_pointer->QueryInterface(uuidof<U>(), other.putVoid());
    }

    template <class U> ComPtr<U> As() const
    {
        ComPtr<U> other;
        (void)As(other);
        return other;
    }

private:
    T* m_pointer = nullptr;
};

} // namespace ospreon::com
