// The monitor service's objects over a real store in a temporary OSPREON_HOME:
// opening a record and reading a value, writing a value (one committed write), and
// listing 10,000 records with five values each as the console's list fill does.

#include <dlfcn.h>

#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "interfaces/guids.h"
#include "interfaces/user.h"
#include "interfaces/user_ref.h"
#include "interfaces/user_store.h"
#include "platform/com/activation.h"
#include "platform/com/bstr.h"
#include "platform/com/com_ptr.h"
#include "platform/com/variant.h"
#include "service/store/database.h"
#include "service/store/record_table.h"
#include "tests/support/temp_home.h"

namespace {

using ospreon::com::Bstr;
using ospreon::com::ComPtr;
using ospreon::com::Variant;

constexpr const char* kListedKeys[] = {"Status", "Monitor_Result", "Monitor_Parameter",
                                       "Monitor_InterVal (s)", "Monitor_Timeout (s)"};

// A temporary home with the service registered and COM initialised.
class Service
{
public:
    Service()
    {
        void* module = ::dlopen(WARDENHOST_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        auto registerServer =
            module ? reinterpret_cast<DllRegisterServerFn>(::dlsym(module, "DllRegisterServer"))
                   : nullptr;
        m_ok = registerServer && SUCCEEDED(registerServer());
        if (module)
            ::dlclose(module);
        (void)CoInitialize(nullptr);
        m_ok = m_ok && SUCCEEDED(CoCreateInstance(CLSID_UserStore, nullptr, CLSCTX_INPROC_SERVER,
                                                  IID_IUserStore, store.putVoid()));
    }
    ~Service()
    {
        store.reset();
        CoUninitialize();
    }
    bool ok() const { return m_ok; }

    ComPtr<IUserRef> Ref(const std::string& name)
    {
        ComPtr<IUserRef> ref;
        if (FAILED(CoCreateInstance(CLSID_UserRef, nullptr, CLSCTX_INPROC_SERVER, IID_IUserRef,
                                    ref.putVoid())))
            return nullptr;
        Bstr provider(kUserProvider), text(name);
        (void)ref->put_Provider(provider.get());
        (void)ref->put_Name(text.get());
        return ref;
    }

    // `count` records of five values each, written straight into the store.
    bool Fill(int count)
    {
        auto db = ospreon::store::OpenDefault();
        if (!db)
            return false;
        std::vector<ospreon::store::RecordData> records;
        for (int i = 0; i < count; ++i) {
            ospreon::store::RecordData record{
                "Pagewarden of site " + std::to_string(i), "Pagewarden", {}};
            for (const char* key : kListedKeys)
                record.parameters.push_back({key, std::string(key) + " " + std::to_string(i)});
            records.push_back(std::move(record));
        }
        return ospreon::store::RecordTable(**db).Merge(records, 0, "").ok();
    }

    ospreon::test::TempHome home;
    ComPtr<IUserStore> store;

private:
    bool m_ok = false;
};

ComPtr<IUser> RecordOf(IUserRef* ref)
{
    Variant object;
    ComPtr<IUser> record;
    if (SUCCEEDED(ref->get_Object(object.put())) && object.type() == VT_DISPATCH)
        (void)object.get().pdispVal->QueryInterface(IID_IUser, record.putVoid());
    return record;
}

// Open on a store object that is already connected, then one InfoVal get.
void BM_OpenAndGet(benchmark::State& state)
{
    Service service;
    if (!service.ok() || !service.Fill(100)) {
        state.SkipWithError("cannot set up the service");
        return;
    }
    ComPtr<IUserRef> ref = service.Ref("Pagewarden of site 42");
    Bstr key("Monitor_Parameter");
    for (auto _ : state) {
        HRESULT hr = service.store->Open(ref.get());
        ComPtr<IUser> record = RecordOf(ref.get());
        Variant value;
        hr |= record ? record->get_InfoVal(key.get(), value.put()) : E_FAIL;
        if (FAILED(hr)) {
            state.SkipWithError("Open or InfoVal failed");
            break;
        }
    }
}
BENCHMARK(BM_OpenAndGet);

// The console's way: new store and reference objects for the one operation, so the
// store file is opened each time.
void BM_NewObjectsOpenAndGet(benchmark::State& state)
{
    Service service;
    if (!service.ok() || !service.Fill(100)) {
        state.SkipWithError("cannot set up the service");
        return;
    }
    Bstr key("Monitor_Parameter");
    for (auto _ : state) {
        ComPtr<IUserStore> store;
        HRESULT hr = CoCreateInstance(CLSID_UserStore, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IUserStore, store.putVoid());
        ComPtr<IUserRef> ref = service.Ref("Pagewarden of site 42");
        hr |= store && ref ? store->Open(ref.get()) : E_FAIL;
        ComPtr<IUser> record = RecordOf(ref.get());
        Variant value;
        hr |= record ? record->get_InfoVal(key.get(), value.put()) : E_FAIL;
        if (FAILED(hr)) {
            state.SkipWithError("Open or InfoVal failed");
            break;
        }
    }
}
BENCHMARK(BM_NewObjectsOpenAndGet);

// One InfoVal put: one committed write transaction.
void BM_Put(benchmark::State& state)
{
    Service service;
    if (!service.ok() || !service.Fill(100)) {
        state.SkipWithError("cannot set up the service");
        return;
    }
    ComPtr<IUserRef> ref = service.Ref("Pagewarden of site 42");
    (void)service.store->Open(ref.get());
    ComPtr<IUser> record = RecordOf(ref.get());
    Bstr key("Monitor_Result");
    Variant values[] = {Variant("Ok"), Variant("Error")};
    std::size_t turn = 0;
    for (auto _ : state) {
        if (!record || FAILED(record->put_InfoVal(key.get(), values[turn++ % 2].get()))) {
            state.SkipWithError("InfoVal put failed");
            break;
        }
    }
}
BENCHMARK(BM_Put);

// Count, then Item and five InfoVal gets for each of 10,000 records.
void BM_List10000(benchmark::State& state)
{
    constexpr int kRecords = 10'000;
    Service service;
    if (!service.ok() || !service.Fill(kRecords)) {
        state.SkipWithError("cannot set up the service");
        return;
    }
    std::vector<Bstr> keys;
    for (const char* key : kListedKeys)
        keys.emplace_back(key);
    for (auto _ : state) {
        LONG count = 0;
        HRESULT hr = service.store->get_Count(&count);
        for (LONG i = 1; i <= count && SUCCEEDED(hr); ++i) {
            Variant item;
            hr = service.store->get_Item(i, item.put());
            ComPtr<IUser> record;
            if (SUCCEEDED(hr))
                hr = item.get().pdispVal->QueryInterface(IID_IUser, record.putVoid());
            for (const Bstr& key : keys) {
                Variant value;
                if (SUCCEEDED(hr))
                    hr = record->get_InfoVal(key.get(), value.put());
            }
        }
        if (FAILED(hr) || count != kRecords) {
            state.SkipWithError("the listing failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_List10000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
