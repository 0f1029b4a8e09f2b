#include "service/objects/user_record.h"

#include "platform/com/activation.h"
#include "service/objects/com_support.h"
#include "service/objects/monitor_types.h"
#include "service/objects/plugin_objects.h"
#include "service/objects/record_text.h"
#include "service/store/record_table.h"

namespace ospreon::service {

using store::RecordTable;

UserRecord::UserRecord(std::shared_ptr<store::Database> database, store::RecordId id, Mode mode)
    : m_db(std::move(database)), m_id(id), m_mode(mode)
{}

void UserRecord::InitNewPluginObject(IServiceMonitor* monitor,
                                     const std::shared_ptr<store::Database>& database,
                                     store::RecordId id)
{
    com::ComPtr<UserRecord> declaring = MakeObject<UserRecord>(database, id, Mode::Declaring);
    if (declaring)
        (void)monitor->Init(declaring.get());
}

HRESULT UserRecord::get_UserName(BSTR* pVal)
{
    return Guarded([&] {
        if (!pVal)
            return E_POINTER;
        *pVal = nullptr;
        Result<RecordTable::Head> head = RecordTable(*m_db).ReadHead(m_id);
        return head ? CopyOut(head->name, pVal) : Fail(head.error());
    });
}

HRESULT UserRecord::put_UserName(BSTR)
{
    return Guarded([] { return E_NOTIMPL; });
}

HRESULT UserRecord::get_ServiceType(BSTR* pVal)
{
    return Guarded([&] {
        if (!pVal)
            return E_POINTER;
        *pVal = nullptr;
        Result<RecordTable::Head> head = RecordTable(*m_db).ReadHead(m_id);
        return head ? CopyOut(head->type, pVal) : Fail(head.error());
    });
}

HRESULT UserRecord::get_InfoNumber(LONG* pVal)
{
    return Guarded([&] {
        if (!pVal)
            return E_POINTER;
        *pVal = 0;
        Result<std::int64_t> count = RecordTable(*m_db).ParameterCount(m_id);
        if (!count)
            return Fail(count.error());
        *pVal = static_cast<LONG>(*count);
        return S_OK;
    });
}

HRESULT UserRecord::put_InfoNumber(LONG)
{
    return Guarded([] { return E_NOTIMPL; });
}

HRESULT UserRecord::get_InfoName(LONG nIndex, BSTR* pVal)
{
    return Guarded([&] {
        if (!pVal)
            return E_POINTER;
        *pVal = nullptr;
        Result<store::Parameter> entry = RecordTable(*m_db).ParameterAt(m_id, nIndex);
        return entry ? CopyOut(entry->key, pVal) : Fail(entry.error());
    });
}

HRESULT UserRecord::put_InfoName(LONG, BSTR newVal)
{
    return Guarded([&] {
        std::string key = com::BstrToUtf8(newVal);
        if (Result<void> checked = CheckParameterKey(key); !checked)
            return Fail(checked.error());
        Result<bool> added = RecordTable(*m_db).AddKey(m_id, key);
        if (!added)
            return Fail(added.error());
        if (*added && m_mode == Mode::Declaring) {
            std::lock_guard lock(m_mutex);
            m_declaredKeys.insert(std::move(key));
        }
        return S_OK;
    });
}

HRESULT UserRecord::get_UserInfo(LONG nIndex, VARIANT* pVal)
{
    return Guarded([&] {
        if (!pVal)
            return E_POINTER;
        VariantInit(pVal);
        Result<store::Parameter> entry = RecordTable(*m_db).ParameterAt(m_id, nIndex);
        return entry ? CopyOut(entry->value, pVal) : Fail(entry.error());
    });
}

HRESULT UserRecord::put_UserInfo(LONG nIndex, VARIANT newVal)
{
    return Guarded([&] {
        std::string text;
        if (HRESULT hr = com::VariantToString(newVal, text); FAILED(hr))
            return hr;
        Result<void> put = RecordTable(*m_db).PutAt(m_id, nIndex, text);
        return put ? S_OK : Fail(put.error());
    });
}

HRESULT UserRecord::get_InfoVal(BSTR InfoName, VARIANT* pVal)
{
    return Guarded([&] {
        if (!pVal)
            return E_POINTER;
        VariantInit(pVal);
        Result<std::optional<std::string>> value =
            RecordTable(*m_db).Value(m_id, com::BstrToUtf8(InfoName));
        if (!value)
            return Fail(value.error());
        if (!*value)
            return Fail(DISP_E_UNKNOWNNAME, "the record has no value " + com::BstrToUtf8(InfoName));
        return CopyOut(**value, pVal);
    });
}

HRESULT UserRecord::put_InfoVal(BSTR InfoName, VARIANT newVal)
{
    return Guarded([&] {
        std::string text;
        if (HRESULT hr = com::VariantToString(newVal, text); FAILED(hr))
            return hr;
        const std::string key = com::BstrToUtf8(InfoName);
        if (Result<void> checked = CheckParameterKey(key); !checked)
            return Fail(checked.error());
        auto mode = RecordTable::PutMode::Replace;
        if (m_mode == Mode::Declaring) {
            std::lock_guard lock(m_mutex);
            if (!m_declaredKeys.contains(key))
                mode = RecordTable::PutMode::KeepExisting;
        }
        Result<bool> put = RecordTable(*m_db).Put(m_id, key, text, mode);
        return put ? S_OK : Fail(put.error());
    });
}

HRESULT UserRecord::ServingObject(com::ComPtr<IServiceMonitor>& monitor)
{
    Result<RecordTable::Head> head = RecordTable(*m_db).ReadHead(m_id);
    if (!head)
        return Fail(head.error());
    Result<std::vector<MonitorType>> types = ReadMonitorTypes();
    if (!types)
        return Fail(types.error());
    const MonitorType* type = FindMonitorType(*types, head->type);
    if (!type || !type->clsid)
        return Fail(CLASS_E_CLASSNOTAVAILABLE,
                    "no plug-in class serves the type " + head->type + " of " + head->name);
    const CLSID clsid = *type->clsid;

    PluginObjectCache& cache = PluginObjects();
    monitor = cache.Find(m_db->path(), m_id, clsid);
    if (monitor) {
        (void)monitor->Init(this);
        return S_OK;
    }
    com::ComPtr<IServiceMonitor> created;
    HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IServiceMonitor,
                                  created.putVoid());
    if (FAILED(hr))
        return Fail(hr, "cannot make the plug-in object of " + head->name + ": " +
                            com::LastActivationError());
    if (!created)
        return E_NOINTERFACE;
    InitNewPluginObject(created.get(), m_db, m_id);
    monitor = cache.Keep(m_db->path(), m_id, clsid, created);
    if (monitor.get() != created.get())
        (void)monitor->Init(this); // another thread made the record's object first
    return S_OK;
}

HRESULT UserRecord::get_UserFunc(IDispatch** pVal)
{
    return Guarded([&] {
        if (!pVal)
            return E_POINTER;
        *pVal = nullptr;
        com::ComPtr<IServiceMonitor> monitor;
        if (HRESULT hr = ServingObject(monitor); FAILED(hr))
            return hr;
        return monitor->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(pVal));
    });
}

HRESULT UserRecord::put_UserFunc(IDispatch*)
{
    return Guarded([] { return E_NOTIMPL; });
}

} // namespace ospreon::service
