// A small in-process server for the COM tests: one class (ICalc dual + IMemo), its
// class factory, the four module exports and a type library descriptor.

#include <string>

#include <dlfcn.h>

#include "platform/com/activation.h"
#include "platform/com/class_factory.h"
#include "platform/com/dispatch_impl.h"
#include "platform/com/dispatch_thunk.h"
#include "platform/com/out_param.h"
#include "platform/com/type_library.h"
#include "platform/registry/registry.h"
#include "tests/platform/com/calc.h"

namespace {

using namespace ospreon::com;

constinit ModuleLock g_moduleLock;

constexpr MemberDesc kCalcMembers[] = {
    {"Label", 1, MemberKind::PropertyGet, "property Label", &DispatchThunk<&ICalc::get_Label>},
    {"Label", 1, MemberKind::PropertyPut, "property Label", &DispatchThunk<&ICalc::put_Label>},
    {"Add", 2, MemberKind::Method, "method Add", &DispatchThunk<&ICalc::Add>},
    {"Total", 3, MemberKind::PropertyGet, "property Total", &DispatchThunk<&ICalc::get_Total>},
    {"Describe", 4, MemberKind::Method, "method Describe", &DispatchThunk<&ICalc::Describe>},
    {"Divide", 5, MemberKind::Method, "method Divide", &DispatchThunk<&ICalc::Divide>},
};
constexpr InterfaceDesc kCalcDesc{"ICalc", IID_ICalc, "ICalc Interface", kCalcMembers};
constexpr CoClassDesc kCoClasses[] = {{"Calc", CLSID_Calc, "Calc Class", &kCalcDesc}};
constexpr const InterfaceDesc* kInterfaces[] = {&kCalcDesc};

class Calc final : public ModuleObject<g_moduleLock, DispatchImpl<ICalc, kCalcDesc>, IMemo>
{
public:
    HRESULT get_Label(BSTR* pVal) override
    {
        return Guarded([&] {
            if (!pVal)
                return E_POINTER;
            *pVal = Bstr(std::u16string_view(m_label)).detach();
            return S_OK;
        });
    }
    HRESULT put_Label(BSTR newVal) override
    {
        return Guarded([&] {
            m_label.assign(newVal ? newVal : u"", SysStringLen(newVal));
            return S_OK;
        });
    }
    HRESULT Add(LONG a, LONG b, LONG* sum) override
    {
        return Guarded([&] {
            if (!sum)
                return E_POINTER;
            *sum = a + b;
            m_total += *sum;
            return S_OK;
        });
    }
    HRESULT get_Total(LONG* pVal) override
    {
        return Guarded([&] {
            if (!pVal)
                return E_POINTER;
            *pVal = m_total;
            return S_OK;
        });
    }
    HRESULT Describe(VARIANT value, BSTR* text) override
    {
        return Guarded([&] {
            std::string described;
            HRESULT hr = VariantToString(value, described);
            return FAILED(hr) ? hr : CopyOut(described, text);
        });
    }
    HRESULT Divide(LONG a, LONG b, LONG* quotient) override
    {
        return Guarded([&] {
            if (!quotient)
                return E_POINTER;
            if (b == 0)
                return FailWith(E_INVALIDARG, kCalcProgId, kDivideByZero);
            *quotient = a / b;
            return S_OK;
        });
    }
    HRESULT Remember(LONG value) override
    {
        return Guarded([&] {
            m_total = value;
            return S_OK;
        });
    }

private:
    std::u16string m_label;
    LONG m_total = 0;
};

ClassFactory<g_moduleLock, HRESULT (*)(REFIID, void**)> g_factory{&CreateObject<Calc>};

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
    return g_moduleLock.CanUnloadNow();
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
    ComPtr<ITypeLib> library;
    Bstr widePath(path);
    HRESULT hr = LoadTypeLib(widePath.get(), library.put());
    if (FAILED(hr))
        return hr;
    return RegisterTypeLib(library.get(), widePath.get(), nullptr);
}

extern "C" OSPREON_EXPORT HRESULT DllUnregisterServer()
{
    (void)RegDeleteTree(HKEY_CLASSES_ROOT, ("CLSID\\" + GuidToString(CLSID_Calc)).c_str());
    (void)RegDeleteTree(HKEY_CLASSES_ROOT, kCalcProgId);
    (void)UnRegisterTypeLib(LIBID_Calc, 1, 0, 0, SYS_WIN32);
    return S_OK;
}
