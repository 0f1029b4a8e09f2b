#include "platform/com/activation.h"

#include <atomic>
#include <optional>

#include "platform/base/ascii.h"
#include "platform/com/bstr.h"
#include "platform/com/com_ptr.h"
#include "platform/com/module_table.h"
#include "platform/os/host.h"
#include "platform/registry/registry.h"

namespace {

using ospreon::com::BstrToUtf8;
using ospreon::com::ComPtr;
using ospreon::com::GuidFromString;
using ospreon::com::GuidToString;
using ospreon::registry::GetString;
using ospreon::registry::Key;

thread_local int t_initCount = 0;
thread_local std::string t_lastError;
std::atomic<int> g_initializedThreads{0};

HRESULT Fail(HRESULT hr, std::string text)
{
    t_lastError = std::move(text);
    return hr;
}

std::string Utf16ToUtf8(LPCOLESTR text)
{
    std::size_t length = 0;
    while (text[length])
        ++length;
    return BstrToUtf8(text, length);
}

// The module path registered for a class, or a failure naming what is missing.
HRESULT InprocServerPath(REFCLSID clsid, std::string& path)
{
    const std::string keyPath = "CLSID\\" + GuidToString(clsid) + "\\InprocServer32";
    Key key;
    LSTATUS status = RegOpenKeyEx(HKEY_CLASSES_ROOT, keyPath.c_str(), 0, KEY_READ, key.put());
    if (status == ERROR_FILE_NOT_FOUND)
        return Fail(REGDB_E_CLASSNOTREG, "class " + GuidToString(clsid) +
                                             " is not registered (no HKEY_CLASSES_ROOT\\" +
                                             keyPath + ")");
    if (status != ERROR_SUCCESS)
        return Fail(REGDB_E_READREGDB, "cannot read the registry: " + RegLastErrorText());
    if (GetString(key.get(), nullptr, path) != ERROR_SUCCESS || path.empty())
        return Fail(REGDB_E_CLASSNOTREG, "class " + GuidToString(clsid) +
                                             " has no module path in HKEY_CLASSES_ROOT\\" +
                                             keyPath);
    return S_OK;
}

HRESULT CheckActivation(DWORD clsContext)
{
    if (t_initCount == 0)
        return Fail(CO_E_NOTINITIALIZED, "CoInitialize has not been called on this thread");
    if (!(clsContext & CLSCTX_INPROC_SERVER))
        return Fail(REGDB_E_CLASSNOTREG, "only in-process servers exist");
    return S_OK;
}

bool IsLocalServer(const COSERVERINFO* info)
{
    if (!info || !info->pwszName || !info->pwszName[0])
        return true;
    return ospreon::EqualsNoCase(Utf16ToUtf8(info->pwszName), ospreon::os::LocalHostName());
}

} // namespace

HRESULT CoInitialize(void* reserved)
{
    return CoInitializeEx(reserved, COINIT_APARTMENTTHREADED);
}

HRESULT CoInitializeEx(void*, DWORD)
{
    if (t_initCount++ > 0)
        return S_FALSE;
    g_initializedThreads.fetch_add(1);
    return S_OK;
}

void CoUninitialize()
{
    if (t_initCount == 0 || --t_initCount > 0)
        return;
    if (g_initializedThreads.fetch_sub(1) == 1)
        CoFreeUnusedLibraries();
}

HRESULT CLSIDFromProgID(LPCOLESTR progId, CLSID* clsid)
{
    if (!progId || !clsid)
        return E_INVALIDARG;
    const std::string name = Utf16ToUtf8(progId);
    Key key;
    std::string text;
    if (name.empty() || name.find('\\') != std::string::npos ||
        RegOpenKeyEx(HKEY_CLASSES_ROOT, (name + "\\CLSID").c_str(), 0, KEY_READ, key.put()) !=
            ERROR_SUCCESS ||
        GetString(key.get(), nullptr, text) != ERROR_SUCCESS)
        return Fail(CO_E_CLASSSTRING, "no class is registered under the name \"" + name + "\"");
    std::optional<GUID> guid = GuidFromString(text);
    if (!guid)
        return Fail(CO_E_CLASSSTRING, "the class of \"" + name + "\" is malformed: " + text);
    *clsid = *guid;
    return S_OK;
}

HRESULT CoGetClassObject(REFCLSID clsid, DWORD clsContext, void* serverInfo, REFIID riid,
                         void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (!IsLocalServer(static_cast<COSERVERINFO*>(serverInfo)))
        return Fail(HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE),
                    "only the local computer serves classes");
    if (HRESULT hr = CheckActivation(clsContext); FAILED(hr))
        return hr;
    std::string path;
    if (HRESULT hr = InprocServerPath(clsid, path); FAILED(hr))
        return hr;
    std::string error;
    HRESULT hr = ospreon::com::UseModule(
        path, [&](DllGetClassObjectFn get) { return get(clsid, riid, object); }, error);
    if (FAILED(hr))
        return Fail(hr, error.empty() ? path + " refused the class object" : error);
    t_lastError.clear();
    return hr;
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD clsContext, REFIID riid,
                         void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (outer)
        return Fail(CLASS_E_NOAGGREGATION, "aggregation is not supported");
    if (HRESULT hr = CheckActivation(clsContext); FAILED(hr))
        return hr;
    std::string path;
    if (HRESULT hr = InprocServerPath(clsid, path); FAILED(hr))
        return hr;
    std::string error;
    HRESULT hr = ospreon::com::UseModule(
        path,
        [&](DllGetClassObjectFn get) {
            ComPtr<IClassFactory> factory;
            HRESULT result = get(clsid, IID_IClassFactory, factory.putVoid());
            if (FAILED(result) || !factory)
                return FAILED(result) ? result : E_POINTER;
            return factory->CreateInstance(nullptr, riid, object);
        },
        error);
    if (FAILED(hr))
        return Fail(hr, error.empty() ? "the class factory of " + path +
                                            " failed: " + ospreon::com::DescribeHResult(hr)
                                      : error);
    t_lastError.clear();
    return hr;
}

HRESULT CoCreateInstanceEx(REFCLSID clsid, IUnknown* outer, DWORD clsContext,
                           COSERVERINFO* serverInfo, DWORD count, MULTI_QI* results)
{
    if (!results || count == 0)
        return E_INVALIDARG;
    for (DWORD i = 0; i < count; ++i) {
        results[i].pItf = nullptr;
        results[i].hr = E_NOINTERFACE;
    }
    if (!IsLocalServer(serverInfo))
        return Fail(HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE),
                    "the server \"" + Utf16ToUtf8(serverInfo->pwszName) +
                        "\" is not reachable: only the local computer serves classes");
    ComPtr<IUnknown> object;
    HRESULT hr = CoCreateInstance(clsid, outer, clsContext, IID_IUnknown, object.putVoid());
    if (FAILED(hr))
        return hr;
    DWORD found = 0;
    for (DWORD i = 0; i < count; ++i) {
        if (!results[i].pIID)
            continue;
        results[i].hr =
            object->QueryInterface(*results[i].pIID, reinterpret_cast<void**>(&results[i].pItf));
        if (SUCCEEDED(results[i].hr))
            ++found;
    }
    if (found == 0)
        return E_NOINTERFACE;
    return found == count ? S_OK : CO_S_NOTALLINTERFACES;
}

void CoFreeUnusedLibraries()
{
    ospreon::com::FreeUnusedModules();
}

namespace ospreon::com {

std::string LastActivationError()
{
    return t_lastError;
}

} // namespace ospreon::com
