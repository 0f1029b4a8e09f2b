#pragma once
// The monitor service's COM objects as wardenctl uses them, the same way the
// console does: each object created for one operation, every HRESULT checked, and
// every failure turned into an Error that names what was unavailable.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "interfaces/config_store.h"
#include "interfaces/user.h"
#include "interfaces/user_ref.h"
#include "interfaces/user_store.h"
#include "platform/base/result.h"
#include "platform/com/com_ptr.h"

namespace ospreon::ctl {

using com::ComPtr;

// CoCreateInstance of a service class; `what` names it in the message ("the user
// store"). An unregistered class points at `wardenctl setup`.
Result<ComPtr<IUnknown>> CreateServiceObject(REFCLSID clsid, REFIID iid, const char* what);

template <class T> Result<ComPtr<T>> Create(REFCLSID clsid, const char* what)
{
    Result<ComPtr<IUnknown>> object = CreateServiceObject(clsid, uuidof<T>(), what);
    if (!object)
        return object.error();
    return ComPtr<T>::Attach(static_cast<T*>(object->detach()));
}

// An IUserRef naming the record `name` (Provider set first, as the console does).
Result<ComPtr<IUserRef>> ReferenceTo(const std::string& name);

// The record `name`, opened live through IUserStore.Open.
Result<ComPtr<IUser>> OpenRecord(IUserStore* store, const std::string& name);

// Whether the store holds a record `name`; an Error when the store cannot be read.
Result<bool> RecordExists(IUserStore* store, const std::string& name);

// Every record, in the store's order (Item 1..Count).
Result<std::vector<ComPtr<IUser>>> AllRecords(IUserStore* store);

// The monitor types of the plug-in catalogue, in its order.
Result<std::vector<std::string>> MonitorTypes();

// A record as the listings show it: its name, its type and the values of the keys
// asked for, in their order; a key the record lacks reads as empty.
struct ListedRecord
{
    std::string name;
    std::string type;
    std::vector<std::string> values;
};

// Reads `record` for a listing: nullopt when the record was removed meanwhile
// (WARDEN_E_RECORDGONE), so the listing leaves it out; an Error naming the record
// and what could not be read for any other failure.
Result<std::optional<ListedRecord>> ReadListed(IUser* record, const std::vector<std::string>& keys);

// The functions below take the record's name for their messages: a record removed
// meanwhile no longer tells it.

// The record's value of `key` as text; nullopt when the record lacks the key.
Result<std::optional<std::string>> ReadValue(IUser* record, const std::string& name,
                                             const std::string& key);

// Puts `value` (a string) under `key`: one committed write. A key the service
// refuses (E_INVALIDARG: a control character in it) is bad input.
Result<void> WriteValue(IUser* record, const std::string& name, const std::string& key,
                        const std::string& value);

// The ordered parameter list of the record.
Result<std::vector<std::pair<std::string, std::string>>> Parameters(IUser* record,
                                                                    const std::string& name);

// The configuration section "Wardenhost", opened.
Result<ComPtr<IConfigStore>> OpenConfig();

// A configuration value; nullopt when it was never set.
Result<std::optional<std::string>> ReadConfig(IConfigStore* config, const std::string& name);

// "0x80040154 class not registered", with the activation's reason when it has one.
std::string DescribeFailure(HRESULT hr);

// Why the service call that just failed with `hr` failed: the description it left
// as the thread's error information (taken, so it is read once), else the code
// ("0x80310006"). Call it right after the failing call, before any other.
std::string FailureReason(HRESULT hr);

// An interface pointer held in a VARIANT (VT_DISPATCH or VT_UNKNOWN), queried for T.
template <class T> ComPtr<T> FromVariant(const VARIANT& value)
{
    IUnknown* object = nullptr;
    if (value.vt == VT_DISPATCH)
        object = value.pdispVal;
    else if (value.vt == VT_UNKNOWN)
        object = value.punkVal;
    ComPtr<T> result;
    if (object)
        (void)object->QueryInterface(uuidof<T>(), result.putVoid());
    return result;
}

} // namespace ospreon::ctl
