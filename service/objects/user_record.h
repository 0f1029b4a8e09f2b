#pragma once
// The IUser record: a live view of one stored record, bound to its identity. Every
// get reads the stored value and every put is one committed write, so other
// objects and other processes see it at once; a record removed meanwhile fails
// every call with WARDEN_E_RECORDGONE and is never recreated.
//
//   UserName get       the stored name; put: E_NOTIMPL (a name carries the type,
//                      so a record is not renamed; remove and add instead)
//   ServiceType get    the type, in the catalogue's spelling
//   InfoNumber get     the number of entries; put: E_NOTIMPL
//   InfoName get/put   the key at a zero-based position (DISP_E_BADINDEX past the
//                      end); put appends the key with an empty value when the record
//                      lacks it and leaves an existing key in place; the index is
//                      ignored
//   UserInfo get/put   the value at a zero-based position
//   InfoVal get/put    the value under a key; get of a key the record lacks fails
//                      with DISP_E_UNKNOWNNAME and leaves the output VT_EMPTY (so a
//                      plug-in's default applies); put of such a key appends it
//   UserFunc get       the plug-in object serving the record (see plugin_objects.h),
//                      given Init with the record each time it is handed out;
//                      CLASS_E_CLASSNOTAVAILABLE for a type no plug-in class
//                      serves; put: E_NOTIMPL
//
// Values are text: a put of another VARIANT type stores its text form. A key with a
// control character is refused by InfoName and InfoVal puts (E_INVALIDARG,
// service/objects/record_text.h); values may hold any text.

#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "interfaces/service_monitor.h"
#include "interfaces/type_info.h"
#include "interfaces/user.h"
#include "platform/com/dispatch_impl.h"
#include "service/objects/com_object.h"
#include "service/store/database.h"
#include "service/store/record_data.h"

namespace ospreon::service {

class UserRecord final : public ComObject<com::DispatchImpl<IUser, kIUserDesc>>
{
public:
    enum class Mode
    {
        Live,
        // A plug-in object's first Init: its declarations fill in the keys the
        // record lacks and leave stored values alone (an InfoVal put writes only a
        // key that is missing or that an InfoName put of this view just added).
        // Every process makes its own plug-in objects, and a new object declares
        // again; without this, each would reset the record's settings to the
        // plug-in's defaults.
        Declaring
    };

    UserRecord(std::shared_ptr<store::Database> database, store::RecordId id,
               Mode mode = Mode::Live);

    // Init of a plug-in object that has not served the record before.
    static void InitNewPluginObject(IServiceMonitor* monitor,
                                    const std::shared_ptr<store::Database>& database,
                                    store::RecordId id);

    HRESULT get_UserName(BSTR* pVal) override;
    HRESULT put_UserName(BSTR newVal) override;
    HRESULT get_ServiceType(BSTR* pVal) override;
    HRESULT get_InfoNumber(LONG* pVal) override;
    HRESULT put_InfoNumber(LONG newVal) override;
    HRESULT get_InfoName(LONG nIndex, BSTR* pVal) override;
    HRESULT put_InfoName(LONG nIndex, BSTR newVal) override;
    HRESULT get_UserInfo(LONG nIndex, VARIANT* pVal) override;
    HRESULT put_UserInfo(LONG nIndex, VARIANT newVal) override;
    HRESULT get_InfoVal(BSTR InfoName, VARIANT* pVal) override;
    HRESULT put_InfoVal(BSTR InfoName, VARIANT newVal) override;
    HRESULT get_UserFunc(IDispatch** pVal) override;
    HRESULT put_UserFunc(IDispatch* newVal) override;

private:
    HRESULT ServingObject(com::ComPtr<IServiceMonitor>& monitor);

    const std::shared_ptr<store::Database> m_db;
    const store::RecordId m_id;
    const Mode m_mode;
    std::mutex m_mutex;
    std::set<std::string> m_declaredKeys; // added through this view (Declaring)
};

} // namespace ospreon::service
