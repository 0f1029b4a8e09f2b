#include "service/ctl/service_access.h"

#include "interfaces/guids.h"
#include "interfaces/plugin_catalog.h"
#include "interfaces/plugin_info.h"
#include "interfaces/plugin_list.h"
#include "interfaces/service_errors.h"
#include "platform/com/activation.h"
#include "platform/com/bstr.h"
#include "platform/com/error_info.h"
#include "platform/com/variant.h"
#include "service/ctl/console_io.h"

namespace ospreon::ctl {

namespace {

constexpr char kSection[] = "Wardenhost";

// A failed service call: `why` is its FailureReason, taken before `what` was built
// (which may call the service again).
Error Failed(const std::string& what, const std::string& why)
{
    return Unavailable(what + ": " + why);
}

Error Failed(const std::string& what, HRESULT hr)
{
    return Failed(what, FailureReason(hr));
}

// A value that has no text form: no service call failed, so no error information.
Error NoText(const std::string& what, HRESULT hr)
{
    return Unavailable(what + " has no text form: " + com::DescribeHResult(hr));
}

} // namespace

std::string FailureReason(HRESULT hr)
{
    com::ErrorText info = com::TakeErrorText();
    return info.description.empty() ? com::DescribeHResult(hr) : std::move(info.description);
}

std::string DescribeFailure(HRESULT hr)
{
    std::string text = com::DescribeHResult(hr);
    if (hr == REGDB_E_CLASSNOTREG)
        return text + " (run `wardenctl setup`)";
    if (std::string reason = com::LastActivationError(); !reason.empty())
        text += ": " + reason;
    return text;
}

Result<ComPtr<IUnknown>> CreateServiceObject(REFCLSID clsid, REFIID iid, const char* what)
{
    IUnknown* object = nullptr;
    HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid,
                                  reinterpret_cast<void**>(&object));
    if (FAILED(hr) || !object)
        return Unavailable(std::string("cannot create ") + what + ": " +
                           DescribeFailure(FAILED(hr) ? hr : E_POINTER));
    return ComPtr<IUnknown>::Attach(object);
}

Result<ComPtr<IUserRef>> ReferenceTo(const std::string& name)
{
    Result<ComPtr<IUserRef>> ref = Create<IUserRef>(CLSID_UserRef, "a record reference");
    if (!ref)
        return ref;
    com::Bstr provider(kUserProvider);
    if (HRESULT hr = (*ref)->put_Provider(provider.get()); FAILED(hr))
        return Failed("the record reference refused its provider", hr);
    com::Bstr text(name);
    if (HRESULT hr = (*ref)->put_Name(text.get()); FAILED(hr))
        return Failed("the record reference refused the name " + Quoted(name), hr);
    return ref;
}

Result<bool> RecordExists(IUserStore* store, const std::string& name)
{
    Result<ComPtr<IUserRef>> ref = ReferenceTo(name);
    if (!ref)
        return ref.error();
    const HRESULT hr = store->Open(ref->get());
    if (SUCCEEDED(hr))
        return true;
    if (hr == WARDEN_E_NORECORD)
        return false;
    return Failed("cannot read the monitor store", hr);
}

Result<ComPtr<IUser>> OpenRecord(IUserStore* store, const std::string& name)
{
    Result<ComPtr<IUserRef>> ref = ReferenceTo(name);
    if (!ref)
        return ref.error();
    if (HRESULT hr = store->Open(ref->get()); FAILED(hr)) {
        if (hr == WARDEN_E_NORECORD)
            return Unavailable("no monitor named " + Quoted(name));
        return Failed("cannot read the monitor store", hr);
    }
    com::Variant object;
    if (HRESULT hr = (*ref)->get_Object(object.put()); FAILED(hr))
        return Failed("the monitor " + Quoted(name) + " gives no record", hr);
    ComPtr<IUser> record = FromVariant<IUser>(object.get());
    if (!record)
        return Unavailable("the monitor " + Quoted(name) + " gives no IUser record");
    return record;
}

Result<std::vector<ComPtr<IUser>>> AllRecords(IUserStore* store)
{
    LONG count = 0;
    if (HRESULT hr = store->get_Count(&count); FAILED(hr))
        return Failed("cannot count the monitors", hr);
    std::vector<ComPtr<IUser>> records;
    records.reserve(count > 0 ? static_cast<std::size_t>(count) : 0);
    for (LONG index = 1; index <= count; ++index) {
        com::Variant item;
        if (HRESULT hr = store->get_Item(index, item.put()); FAILED(hr))
            return Failed("cannot read monitor " + std::to_string(index) + " of " +
                              std::to_string(count),
                          hr);
        ComPtr<IUser> record = FromVariant<IUser>(item.get());
        if (!record)
            return Unavailable("monitor " + std::to_string(index) + " is not an IUser record");
        records.push_back(std::move(record));
    }
    return records;
}

Result<std::vector<std::string>> MonitorTypes()
{
    Result<ComPtr<IPluginCatalog>> catalog =
        Create<IPluginCatalog>(CLSID_PluginCatalog, "the plug-in catalogue");
    if (!catalog)
        return catalog.error();
    Result<ComPtr<IUserRef>> ref = Create<IUserRef>(CLSID_UserRef, "a record reference");
    if (!ref)
        return ref.error();
    com::Bstr listIid(kPluginListIid);
    ComPtr<IUnknown> answer;
    if (HRESULT hr = (*catalog)->Plugins(listIid.get(), ref->get(), answer.put()); FAILED(hr))
        return Failed("the plug-in catalogue gives no list", hr);
    ComPtr<IPluginList> list = answer.As<IPluginList>();
    if (!list)
        return Unavailable("the plug-in catalogue's answer is not a plug-in list");
    LONG count = 0;
    if (HRESULT hr = list->get_Count(&count); FAILED(hr))
        return Failed("cannot count the monitor types", hr);
    std::vector<std::string> types;
    for (LONG index = 1; index <= count; ++index) {
        com::Variant item;
        if (HRESULT hr = list->get_Item(index, item.put()); FAILED(hr))
            return Failed("cannot read monitor type " + std::to_string(index), hr);
        ComPtr<IPluginInfo> info = FromVariant<IPluginInfo>(item.get());
        if (!info)
            return Unavailable("monitor type " + std::to_string(index) + " is not a plug-in info");
        com::Bstr name;
        if (HRESULT hr = info->get_Name(name.put()); FAILED(hr))
            return Failed("cannot read the name of monitor type " + std::to_string(index), hr);
        types.push_back(name.utf8());
    }
    return types;
}

Result<std::optional<ListedRecord>> ReadListed(IUser* record, const std::vector<std::string>& keys)
{
    const std::optional<ListedRecord> gone;
    com::Bstr name;
    HRESULT hr = record->get_UserName(name.put());
    if (hr == WARDEN_E_RECORDGONE)
        return gone;
    if (FAILED(hr))
        return Failed("cannot read the name of a monitor", hr);
    ListedRecord listed{name.utf8(), {}, {}};
    com::Bstr type;
    hr = record->get_ServiceType(type.put());
    if (hr == WARDEN_E_RECORDGONE)
        return gone;
    if (FAILED(hr))
        return Failed("cannot read the type of " + Quoted(listed.name), hr);
    listed.type = type.utf8();
    for (const std::string& key : keys) {
        com::Bstr text(key);
        com::Variant value;
        hr = record->get_InfoVal(text.get(), value.put());
        if (hr == WARDEN_E_RECORDGONE)
            return gone;
        if (hr == DISP_E_UNKNOWNNAME) {
            listed.values.emplace_back();
            continue;
        }
        if (FAILED(hr))
            return Failed("cannot read " + Quoted(key) + " of " + Quoted(listed.name), hr);
        std::string converted;
        if (HRESULT toText = value.ToString(converted); FAILED(toText))
            return NoText("the value " + Quoted(key) + " of " + Quoted(listed.name), toText);
        listed.values.push_back(std::move(converted));
    }
    return std::optional<ListedRecord>(std::move(listed));
}

Result<std::optional<std::string>> ReadValue(IUser* record, const std::string& name,
                                             const std::string& key)
{
    com::Bstr text(key);
    com::Variant value;
    HRESULT hr = record->get_InfoVal(text.get(), value.put());
    if (hr == DISP_E_UNKNOWNNAME)
        return std::optional<std::string>();
    if (FAILED(hr))
        return Failed("cannot read " + Quoted(key) + " of " + Quoted(name), hr);
    std::string converted;
    if (HRESULT toText = value.ToString(converted); FAILED(toText))
        return NoText("the value " + Quoted(key) + " of " + Quoted(name), toText);
    return std::optional<std::string>(std::move(converted));
}

Result<void> WriteValue(IUser* record, const std::string& name, const std::string& key,
                        const std::string& value)
{
    com::Bstr text(key);
    com::Variant converted(value);
    if (HRESULT hr = record->put_InfoVal(text.get(), converted.get()); FAILED(hr)) {
        const std::string what = "cannot write " + Quoted(key) + " of " + Quoted(name);
        if (hr == E_INVALIDARG)
            return BadInput(what + ": " + FailureReason(hr));
        return Failed(what, hr);
    }
    return {};
}

Result<std::vector<std::pair<std::string, std::string>>> Parameters(IUser* record,
                                                                    const std::string& name)
{
    LONG count = 0;
    if (HRESULT hr = record->get_InfoNumber(&count); FAILED(hr))
        return Failed("cannot count the values of " + Quoted(name), hr);
    std::vector<std::pair<std::string, std::string>> parameters;
    for (LONG index = 0; index < count; ++index) {
        com::Bstr key;
        if (HRESULT hr = record->get_InfoName(index, key.put()); FAILED(hr))
            return Failed("cannot read key " + std::to_string(index) + " of " + Quoted(name), hr);
        com::Variant value;
        if (HRESULT hr = record->get_UserInfo(index, value.put()); FAILED(hr))
            return Failed("cannot read value " + std::to_string(index) + " of " + Quoted(name), hr);
        std::string text;
        if (HRESULT hr = value.ToString(text); FAILED(hr))
            return NoText("the value " + Quoted(key.utf8()) + " of " + Quoted(name), hr);
        parameters.emplace_back(key.utf8(), std::move(text));
    }
    return parameters;
}

Result<ComPtr<IConfigStore>> OpenConfig()
{
    Result<ComPtr<IConfigStore>> config =
        Create<IConfigStore>(CLSID_ConfigStore, "the configuration store");
    if (!config)
        return config;
    com::Bstr section(kSection);
    if (HRESULT hr = (*config)->OpenSection(section.get()); FAILED(hr))
        return Failed(std::string("cannot open the configuration section ") + Quoted(kSection), hr);
    return config;
}

Result<std::optional<std::string>> ReadConfig(IConfigStore* config, const std::string& name)
{
    com::Bstr key(name);
    com::Variant value;
    HRESULT hr = config->get_Value(key.get(), value.put());
    if (hr == DISP_E_UNKNOWNNAME)
        return std::optional<std::string>();
    if (FAILED(hr))
        return Failed("cannot read the configuration value " + Quoted(name), hr);
    std::string text;
    if (HRESULT converted = value.ToString(text); FAILED(converted))
        return NoText("the configuration value " + Quoted(name), converted);
    return std::optional<std::string>(std::move(text));
}

} // namespace ospreon::ctl
