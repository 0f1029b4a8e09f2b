#include "service/daemon/service_records.h"

#include "interfaces/config_store.h"
#include "interfaces/guids.h"
#include "interfaces/user_ref.h"
#include "platform/com/activation.h"
#include "platform/com/bstr.h"
#include "platform/com/variant.h"

namespace ospreon::daemon {

namespace {

template <class T> Result<ComPtr<T>> Create(REFCLSID clsid, const char* what)
{
    ComPtr<T> object;
    if (HRESULT hr =
            CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, uuidof<T>(), object.putVoid());
        FAILED(hr) || !object)
        return Error::HResult(FAILED(hr) ? hr : E_POINTER,
                              std::string("cannot create ") + what + ": " +
                                  com::DescribeHResult(FAILED(hr) ? hr : E_POINTER) + " " +
                                  com::LastActivationError());
    return object;
}

template <class T> ComPtr<T> FromVariant(const VARIANT& value)
{
    IUnknown* object = value.vt == VT_DISPATCH  ? value.pdispVal
                       : value.vt == VT_UNKNOWN ? value.punkVal
                                                : nullptr;
    ComPtr<T> result;
    if (object)
        (void)object->QueryInterface(uuidof<T>(), result.putVoid());
    return result;
}

} // namespace

Result<ComPtr<IUserStore>> OpenUserStore()
{
    return Create<IUserStore>(CLSID_UserStore, "the user store");
}

Result<ComPtr<IUser>> OpenRecord(IUserStore* store, const std::string& name)
{
    Result<ComPtr<IUserRef>> ref = Create<IUserRef>(CLSID_UserRef, "a record reference");
    if (!ref)
        return ref.error();
    com::Bstr provider(kUserProvider);
    com::Bstr text(name);
    HRESULT hr = (*ref)->put_Provider(provider.get());
    if (SUCCEEDED(hr))
        hr = (*ref)->put_Name(text.get());
    if (SUCCEEDED(hr))
        hr = store->Open(ref->get());
    com::Variant object;
    if (SUCCEEDED(hr))
        hr = (*ref)->get_Object(object.put());
    if (FAILED(hr))
        return Error::HResult(hr,
                              "cannot open the monitor " + name + ": " + com::DescribeHResult(hr));
    ComPtr<IUser> record = FromVariant<IUser>(object.get());
    if (!record)
        return Error::HResult(E_NOINTERFACE, "the monitor " + name + " gives no IUser record");
    return record;
}

Result<std::vector<ComPtr<IUser>>> AllRecords(IUserStore* store)
{
    LONG count = 0;
    if (HRESULT hr = store->get_Count(&count); FAILED(hr))
        return Error::HResult(hr, "cannot count the monitors: " + com::DescribeHResult(hr));
    std::vector<ComPtr<IUser>> records;
    for (LONG index = 1; index <= count; ++index) {
        com::Variant item;
        if (HRESULT hr = store->get_Item(index, item.put()); FAILED(hr))
            continue; // removed since it was counted
        if (ComPtr<IUser> record = FromVariant<IUser>(item.get()))
            records.push_back(std::move(record));
    }
    return records;
}

std::optional<std::string> ReadText(IUser* record, const char* key)
{
    com::Bstr name(key);
    com::Variant value;
    if (FAILED(record->get_InfoVal(name.get(), value.put())))
        return std::nullopt;
    std::string text;
    if (FAILED(value.ToString(text)))
        return std::nullopt;
    return text;
}

HRESULT WriteText(IUser* record, const char* key, const std::string& value)
{
    com::Bstr name(key);
    com::Variant text(value);
    return record->put_InfoVal(name.get(), text.get());
}

HRESULT ServingObject(IUser* record, ComPtr<IServiceMonitor>& object)
{
    ComPtr<IDispatch> dispatch;
    if (HRESULT hr = record->get_UserFunc(dispatch.put()); FAILED(hr))
        return hr;
    if (!dispatch)
        return E_POINTER;
    return dispatch->QueryInterface(IID_IServiceMonitor, object.putVoid());
}

std::optional<std::string> ReadConfig(const char* name)
{
    Result<ComPtr<IConfigStore>> config =
        Create<IConfigStore>(CLSID_ConfigStore, "the configuration");
    if (!config)
        return std::nullopt;
    com::Bstr section("Wardenhost");
    if (FAILED((*config)->OpenSection(section.get())))
        return std::nullopt;
    com::Bstr key(name);
    com::Variant value;
    if (FAILED((*config)->get_Value(key.get(), value.put())) || value.type() == VT_EMPTY)
        return std::nullopt;
    std::string text;
    if (FAILED(value.ToString(text)))
        return std::nullopt;
    return text;
}

} // namespace ospreon::daemon
