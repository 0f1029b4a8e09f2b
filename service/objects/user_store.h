#pragma once
// IUserStore: the records of wardenhost.db. Open, Add and Remove act on the record
// an IUserRef of this library names, whose Provider must be the user store's
// ("{1B2D038B-C28B-11D3-9CCC-00A0246E266E}", else WARDEN_E_PROVIDER); Open and Add
// leave the live record in the reference. Count and Item (from 1, creation order)
// list the records.
//
//   Open    WARDEN_E_NORECORD when no record has the name (any letter case)
//   Add     the type is the text before the first " of " in the name (names
//           ignore letter case, so " OF " serves too), matched without regard to
//           case against the catalogue and stored in its spelling
//           (WARDEN_E_UNKNOWNTYPE otherwise); WARDEN_E_NAMETAKEN when the
//           name exists in any letter case; a failed Add changes nothing. The new
//           record holds "Status" = "Disable". A name with a control character is
//           refused (E_INVALIDARG, service/objects/record_text.h). For a type with a plug-in class
//           a new plug-in object gets Init with the record, so that it declares its parameters;
//           when that object cannot be made the record is kept and Add succeeds: the plug-in
//           declares on the first UserFunc instead.
//   Remove  WARDEN_E_NORECORD when no record has the name
//   Item    DISP_E_BADINDEX outside 1..Count
//
// The store is opened at the first call (WARDEN_E_STORE when it cannot be).

#include <memory>
#include <mutex>

#include "interfaces/user_store.h"
#include "platform/base/result.h"
#include "service/objects/com_object.h"
#include "service/store/database.h"
#include "service/store/record_data.h"

namespace ospreon::service {

class UserRef;

class UserStore final : public ComObject<VtableDispatch<IUserStore>>
{
public:
    HRESULT Open(IUserRef* ref) override;
    HRESULT Add(IUserRef* ref) override;
    HRESULT Remove(IUserRef* ref) override;
    HRESULT get_Count(LONG* count) override;
    HRESULT get_Item(LONG index, VARIANT* record) override;

private:
    Result<std::shared_ptr<store::Database>> Connection();
    // The reference's implementation and name, checked.
    HRESULT Named(IUserRef* ref, com::ComPtr<UserRef>& implementation, std::string& name);
    // The id of record `index` (from 1), from the snapshot of ids while no record
    // was added or removed since it was read.
    HRESULT IdAt(store::Database& db, LONG index, store::RecordId& id);

    std::mutex m_mutex;
    std::shared_ptr<store::Database> m_db;
    store::RecordIds m_snapshot;
};

} // namespace ospreon::service
