#include "service/objects/user_ref.h"

#include "service/objects/com_support.h"

namespace ospreon::service {

HRESULT UserRef::QueryInterface(REFIID riid, void** object)
{
    if (object && riid == kImplementationIid) {
        *object = static_cast<IUserRef*>(this);
        AddRef();
        return S_OK;
    }
    return ComObject<VtableDispatch<IUserRef>>::QueryInterface(riid, object);
}

HRESULT UserRef::put_Name(BSTR name)
{
    return Guarded([&] {
        std::string text = com::BstrToUtf8(name);
        std::lock_guard lock(m_mutex);
        m_name = std::move(text);
        return S_OK;
    });
}

HRESULT UserRef::put_Provider(BSTR provider)
{
    return Guarded([&] {
        std::string text = com::BstrToUtf8(provider);
        std::lock_guard lock(m_mutex);
        m_provider = std::move(text);
        return S_OK;
    });
}

HRESULT UserRef::get_Object(VARIANT* record)
{
    return Guarded([&] {
        if (!record)
            return E_POINTER;
        VariantInit(record);
        std::lock_guard lock(m_mutex);
        if (!m_record)
            return Fail(E_UNEXPECTED, "the record reference holds no record: open or add it first");
        MoveOut(m_record, record);
        return S_OK;
    });
}

std::string UserRef::Name() const
{
    std::lock_guard lock(m_mutex);
    return m_name;
}

std::string UserRef::Provider() const
{
    std::lock_guard lock(m_mutex);
    return m_provider;
}

void UserRef::SetRecord(com::ComPtr<IUser> record)
{
    std::lock_guard lock(m_mutex);
    std::swap(m_record, record); // the old one is released after the lock
}

com::ComPtr<UserRef> ImplementationOf(IUserRef* ref)
{
    com::ComPtr<IUserRef> found;
    if (!ref || FAILED(ref->QueryInterface(UserRef::kImplementationIid, found.putVoid())))
        return nullptr;
    return com::ComPtr<UserRef>::Attach(static_cast<UserRef*>(found.detach()));
}

} // namespace ospreon::service
