#pragma once
// IUserRef: names a record (Provider, Name) for IUserStore's Open, Add and Remove,
// and holds the record (Object, a VT_DISPATCH IUser) after a successful Open or
// Add. Object before that fails with E_UNEXPECTED and an empty VARIANT.

#include <mutex>
#include <string>

#include "interfaces/user.h"
#include "interfaces/user_ref.h"
#include "service/objects/com_object.h"

namespace ospreon::service {

class UserRef final : public ComObject<VtableDispatch<IUserRef>>
{
public:
    // Answered only by this class: lets the store reach the name and provider
    // behind an IUserRef it is handed.
    static constexpr IID kImplementationIid = MakeGuid("2086FB29-9D0C-41E1-9569-719DFE3AAF37");

    HRESULT QueryInterface(REFIID riid, void** object) override;

    HRESULT put_Name(BSTR name) override;
    HRESULT get_Object(VARIANT* record) override;
    HRESULT put_Provider(BSTR provider) override;

    std::string Name() const;
    std::string Provider() const;
    // The record the last Open or Add gave; null clears it.
    void SetRecord(com::ComPtr<IUser> record);

private:
    mutable std::mutex m_mutex;
    std::string m_name;
    std::string m_provider;
    com::ComPtr<IUser> m_record;
};

// The UserRef behind `ref`; null for a reference this library did not make.
com::ComPtr<UserRef> ImplementationOf(IUserRef* ref);

} // namespace ospreon::service
