#pragma once
// Object activation: CoCreateInstance and friends. Only in-process servers exist:
// HKCR\CLSID\{clsid}\InprocServer32 names the module, which is loaded once per
// process (dlopen) and asked for its class factory (DllGetClassObject). A module
// is unloaded by CoFreeUnusedLibraries only when its DllCanUnloadNow says S_OK.

#include <string>

#include "platform/com/bstr.h"
#include "platform/com/unknown.h"

inline constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
inline constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
inline constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
inline constexpr DWORD CLSCTX_REMOTE_SERVER = 0x10;
inline constexpr DWORD CLSCTX_SERVER =
    CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;
inline constexpr DWORD CLSCTX_ALL = CLSCTX_SERVER | CLSCTX_INPROC_HANDLER;

inline constexpr DWORD COINIT_APARTMENTTHREADED = 0x2;
inline constexpr DWORD COINIT_MULTITHREADED = 0x0;

struct COSERVERINFO
{
    DWORD dwReserved1;
    OLECHAR* pwszName; // null or the local computer's name
    void* pAuthInfo;
    DWORD dwReserved2;
};

struct MULTI_QI
{
    const IID* pIID;
    IUnknown* pItf;
    HRESULT hr;
};

// Per thread, counted: S_OK the first time on a thread, S_FALSE after.
HRESULT CoInitialize(void* reserved);
HRESULT CoInitializeEx(void* reserved, DWORD coInit);
// The last CoUninitialize of the process frees the modules that can be unloaded.
void CoUninitialize();

// HKCR\<progId>\CLSID; CO_E_CLASSSTRING when absent or malformed.
HRESULT CLSIDFromProgID(LPCOLESTR progId, CLSID* clsid);

HRESULT CoGetClassObject(REFCLSID clsid, DWORD clsContext, void* serverInfo, REFIID riid,
                         void** object);
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD clsContext, REFIID riid,
                         void** object);
// With a server name other than the local computer's: RPC_S_SERVER_UNAVAILABLE
// (0x800706BA), for only local servers exist.
HRESULT CoCreateInstanceEx(REFCLSID clsid, IUnknown* outer, DWORD clsContext,
                           COSERVERINFO* serverInfo, DWORD count, MULTI_QI* results);

void CoFreeUnusedLibraries();

namespace ospreon::com {

// Why the last activation on this thread failed, in words (the module path and the
// loader's own text, the registry key that is missing...); "" after success.
std::string LastActivationError();

// A readable text for an HRESULT: "0x80040154 class not registered".
std::string DescribeHResult(HRESULT hr);

} // namespace ospreon::com
