#include "service/objects/user_store.h"

#include "interfaces/guids.h"
#include "interfaces/service_errors.h"
#include "platform/com/activation.h"
#include "service/objects/com_support.h"
#include "service/objects/monitor_types.h"
#include "service/objects/plugin_objects.h"
#include "service/objects/record_text.h"
#include "service/objects/user_record.h"
#include "service/objects/user_ref.h"
#include "service/store/record_table.h"

namespace ospreon::service {

namespace {

bool IsUserProvider(const std::string& provider)
{
    static const std::optional<GUID> expected = com::GuidFromString(kUserProvider);
    return com::GuidFromString(provider) == expected;
}

// Gives the plug-in of a new record the chance to declare its parameters. Failures
// leave the record as it is: it is still a valid record of its type.
void Declare(const MonitorType& type, const std::shared_ptr<store::Database>& db,
             store::RecordId id)
{
    if (!type.clsid)
        return;
    com::ComPtr<IServiceMonitor> monitor;
    if (FAILED(CoCreateInstance(*type.clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IServiceMonitor,
                                monitor.putVoid())) ||
        !monitor)
        return;
    UserRecord::InitNewPluginObject(monitor.get(), db, id);
}

} // namespace

Result<std::shared_ptr<store::Database>> UserStore::Connection()
{
    std::lock_guard lock(m_mutex);
    if (!m_db) {
        Result<std::shared_ptr<store::Database>> opened = store::OpenDefault();
        if (!opened)
            return opened;
        m_db = std::move(*opened);
    }
    return m_db;
}

HRESULT UserStore::Named(IUserRef* ref, com::ComPtr<UserRef>& implementation, std::string& name)
{
    if (!ref)
        return E_POINTER;
    implementation = ImplementationOf(ref);
    if (!implementation)
        return Fail(E_INVALIDARG, "the record reference was not made by the monitor service");
    if (!IsUserProvider(implementation->Provider()))
        return Fail(WARDEN_E_PROVIDER,
                    "the record reference names another provider: " + implementation->Provider());
    name = implementation->Name();
    return name.empty() ? Fail(E_INVALIDARG, "the record reference names no record") : S_OK;
}

HRESULT UserStore::Open(IUserRef* ref)
{
    return Guarded([&] {
        com::ComPtr<UserRef> implementation;
        std::string name;
        if (HRESULT hr = Named(ref, implementation, name); FAILED(hr))
            return hr;
        implementation->SetRecord(nullptr);
        Result<std::shared_ptr<store::Database>> db = Connection();
        if (!db)
            return Fail(db.error());
        Result<store::RecordId> id = store::RecordTable(**db).Find(name);
        if (!id)
            return Fail(id.error());
        com::ComPtr<UserRecord> record = MakeObject<UserRecord>(*db, *id);
        if (!record)
            return E_OUTOFMEMORY;
        implementation->SetRecord(com::ComPtr<IUser>(record.get()));
        return S_OK;
    });
}

HRESULT UserStore::Add(IUserRef* ref)
{
    return Guarded([&] {
        com::ComPtr<UserRef> implementation;
        std::string name;
        if (HRESULT hr = Named(ref, implementation, name); FAILED(hr))
            return hr;
        implementation->SetRecord(nullptr);
        if (Result<void> checked = CheckRecordName(name); !checked)
            return Fail(checked.error());
        const std::optional<std::string_view> named = TypeInName(name);
        if (!named)
            return Fail(WARDEN_E_UNKNOWNTYPE, "the name " + name + " states no type (no \" of \")");
        Result<std::vector<MonitorType>> types = ReadMonitorTypes();
        if (!types)
            return Fail(types.error());
        const MonitorType* type = FindMonitorType(*types, *named);
        if (!type)
            return Fail(WARDEN_E_UNKNOWNTYPE,
                        "the monitor type " + std::string(*named) + " is not registered");
        Result<std::shared_ptr<store::Database>> db = Connection();
        if (!db)
            return Fail(db.error());
        Result<store::RecordId> id = store::RecordTable(**db).Add(
            store::RecordData{name, type->name, {{"Status", "Disable"}}});
        if (!id)
            return Fail(id.error());
        Declare(*type, *db, *id);
        com::ComPtr<UserRecord> record = MakeObject<UserRecord>(*db, *id);
        if (!record)
            return E_OUTOFMEMORY;
        implementation->SetRecord(com::ComPtr<IUser>(record.get()));
        return S_OK;
    });
}

HRESULT UserStore::Remove(IUserRef* ref)
{
    return Guarded([&] {
        com::ComPtr<UserRef> implementation;
        std::string name;
        if (HRESULT hr = Named(ref, implementation, name); FAILED(hr))
            return hr;
        implementation->SetRecord(nullptr);
        Result<std::shared_ptr<store::Database>> db = Connection();
        if (!db)
            return Fail(db.error());
        Result<store::RecordId> id = store::RecordTable(**db).Remove(name);
        if (!id)
            return Fail(id.error());
        PluginObjects().Forget((*db)->path(), *id);
        return S_OK;
    });
}

HRESULT UserStore::get_Count(LONG* count)
{
    return Guarded([&] {
        if (!count)
            return E_POINTER;
        *count = 0;
        Result<std::shared_ptr<store::Database>> db = Connection();
        if (!db)
            return Fail(db.error());
        Result<std::int64_t> records = store::RecordTable(**db).Count();
        if (!records)
            return Fail(records.error());
        *count = static_cast<LONG>(*records);
        return S_OK;
    });
}

HRESULT UserStore::IdAt(store::Database& db, LONG index, store::RecordId& id)
{
    store::RecordTable table(db);
    Result<std::int64_t> version = table.RecordsVersion();
    if (!version)
        return Fail(version.error());
    std::lock_guard lock(m_mutex);
    if (*version != m_snapshot.version) {
        Result<store::RecordIds> ids = table.Ids();
        if (!ids)
            return Fail(ids.error());
        m_snapshot = std::move(*ids);
    }
    if (index < 1 || static_cast<std::size_t>(index) > m_snapshot.ids.size())
        return Fail(DISP_E_BADINDEX, "no record at " + std::to_string(index) + " of " +
                                         std::to_string(m_snapshot.ids.size()));
    id = m_snapshot.ids[static_cast<std::size_t>(index) - 1];
    return S_OK;
}

HRESULT UserStore::get_Item(LONG index, VARIANT* record)
{
    return Guarded([&] {
        if (!record)
            return E_POINTER;
        VariantInit(record);
        Result<std::shared_ptr<store::Database>> db = Connection();
        if (!db)
            return Fail(db.error());
        store::RecordId id = 0;
        if (HRESULT hr = IdAt(**db, index, id); FAILED(hr))
            return hr;
        com::ComPtr<UserRecord> item = MakeObject<UserRecord>(*db, id);
        if (!item)
            return E_OUTOFMEMORY;
        MoveOut(std::move(item), record);
        return S_OK;
    });
}

} // namespace ospreon::service
