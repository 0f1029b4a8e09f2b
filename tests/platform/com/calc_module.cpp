// A small in-process server for the COM tests: one class (ICalc dual + IMemo), its
// class factory, the four module exports and a type library descriptor.

#include <atomic>
#include <mutex>
#include <new>
#include <string>

#include <dlfcn.h>

#include "platform/com/activation.h"
#include "platform/com/dispatch_impl.h"
#include "platform/com/dispatch_thunk.h"
#include "platform/com/type_library.h"
#include "platform/registry/registry.h"
#include "tests/platform/com/calc.h"

namespace {

using namespace ospreon::com;

std::atomic<long> g_locks{0};

constexpr MemberDesc kCalcMembers[] = {
    {"Label", 1, MemberKind::PropertyGet, "property Label", &DispatchThunk<&ICalc::get_Label>},
    {"Label", 1, MemberKind::PropertyPut, "property Label", &DispatchThunk<&ICalc::put_Label>},
    {"Add", 2, MemberKind::Method, "method Add", &DispatchThunk<&ICalc::Add>},
    {"Total", 3, MemberKind::PropertyGet, "property Total", &DispatchThunk<&ICalc::get_Total>},
    {"Describe", 4, MemberKind::Method, "method Describe", &DispatchThunk<&ICalc::Describe>},
};
constexpr InterfaceDesc kCalcDesc{"ICalc", IID_ICalc, "ICalc Interface", kCalcMembers};
constexpr CoClassDesc kCoClasses[] = {{"Calc", CLSID_Calc, "Calc Class", &kCalcDesc}};
constexpr const InterfaceDesc* kInterfaces[] = {&kCalcDesc};

class Calc final : public DispatchImpl<ICalc, kCalcDesc>, public IMemo
{
public:
    Calc() { ++g_locks; }

    HRESULT QueryInterface(REFIID riid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_ICalc)
            *object = static_cast<ICalc*>(this);
        else if (riid == IID_IMemo)
            *object = static_cast<IMemo*>(this);
        else {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++m_refs; }
    ULONG Release() override
    {
        ULONG refs = --m_refs;
        if (refs == 0)
            delete this;
        return refs;
    }

    HRESULT get_Label(BSTR* pVal) override
    {
        if (!pVal)
            return E_POINTER;
        *pVal = SysAllocStringLen(m_label.data(), static_cast<UINT>(m_label.size()));
        return S_OK;
    }
    HRESULT put_Label(BSTR newVal) override
    {
        m_label.assign(newVal ? newVal : u"", SysStringLen(newVal));
        return S_OK;
    }
    HRESULT Add(LONG a, LONG b, LONG* sum) override
    {
        if (!sum)
            return E_POINTER;
        *sum = a + b;
        m_total += *sum;
        return S_OK;
    }
    HRESULT get_Total(LONG* pVal) override
    {
        if (!pVal)
            return E_POINTER;
        *pVal = m_total;
        return S_OK;
    }
    HRESULT Describe(VARIANT value, BSTR* text) override
    {
        if (!text)
            return E_POINTER;
        Variant copy;
        (void)VariantCopy(copy.ptr(), &value);
        std::string described;
        HRESULT hr = copy.ToString(described);
        if (FAILED(hr))
            return hr;
        *text = Utf8ToBstr(described);
        return S_OK;
    }
    HRESULT Remember(LONG value) override
    {
        m_total = value;
        return S_OK;
    }

private:
    ~Calc() { --g_locks; }

    std::atomic<ULONG> m_refs{1};
    std::u16string m_label;
    LONG m_total = 0;
};

class CalcFactory final : public IClassFactory
{
public:
    HRESULT QueryInterface(REFIID riid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *object = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    // The factory is module data, kept for the module's life.
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }
    HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        Calc* calc = new (std::nothrow) Calc;
        if (!calc)
            return E_OUTOFMEMORY;
        HRESULT hr = calc->QueryInterface(riid, object);
        calc->Release();
        return hr;
    }
    HRESULT LockServer(BOOL lock) override
    {
        lock ? ++g_locks : --g_locks;
        return S_OK;
    }
};

CalcFactory g_factory;

std::string ModulePath()
{
    Dl_info info{};
    ::dladdr(reinterpret_cast<void*>(&g_factory), &info);
    return info.dli_fname ? info.dli_fname : "";
}

} // namespace

extern "C" OSPREON_EXPORT const TypeLibDesc OspreonTypeLibrary{
    "CALCLib", LIBID_Calc, 1, 0, 0x409, "Calc 1.0 Type Library", kCoClasses, kInterfaces};

extern "C" OSPREON_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (clsid != CLSID_Calc)
        return CLASS_E_CLASSNOTAVAILABLE;
    return g_factory.QueryInterface(riid, object);
}

extern "C" OSPREON_EXPORT HRESULT DllCanUnloadNow()
{
    return g_locks == 0 ? S_OK : S_FALSE;
}

extern "C" OSPREON_EXPORT HRESULT DllRegisterServer()
{
    using ospreon::registry::Key;
    using ospreon::registry::SetString;
    const std::string clsid = GuidToString(CLSID_Calc);
    const std::string path = ModulePath();
    Key server;
    Key progId;
    if (RegCreateKeyEx(HKEY_CLASSES_ROOT, ("CLSID\\" + clsid + "\\InprocServer32").c_str(), 0,
                       nullptr, 0, KEY_ALL_ACCESS, nullptr, server.put(),
                       nullptr) != ERROR_SUCCESS ||
        SetString(server.get(), nullptr, path) != ERROR_SUCCESS ||
        SetString(server.get(), "ThreadingModel", "Both") != ERROR_SUCCESS ||
        RegCreateKeyEx(HKEY_CLASSES_ROOT, (std::string(kCalcProgId) + "\\CLSID").c_str(), 0,
                       nullptr, 0, KEY_ALL_ACCESS, nullptr, progId.put(),
                       nullptr) != ERROR_SUCCESS ||
        SetString(progId.get(), nullptr, clsid) != ERROR_SUCCESS)
        return REGDB_E_WRITEREGDB;
    ITypeLib* library = nullptr;
    Bstr widePath(path);
    HRESULT hr = LoadTypeLib(widePath.get(), &library);
    if (FAILED(hr))
        return hr;
    hr = RegisterTypeLib(library, widePath.get(), nullptr);
    library->Release();
    return hr;
}

extern "C" OSPREON_EXPORT HRESULT DllUnregisterServer()
{
    (void)RegDeleteTree(HKEY_CLASSES_ROOT, ("CLSID\\" + GuidToString(CLSID_Calc)).c_str());
    (void)RegDeleteTree(HKEY_CLASSES_ROOT, kCalcProgId);
    (void)UnRegisterTypeLib(LIBID_Calc, 1, 0, 0, SYS_WIN32);
    return S_OK;
}
