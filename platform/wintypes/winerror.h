#pragma once
// Win32 error codes and HRESULTs used across the stand-ins, with their Windows values.

#include "platform/wintypes/wintypes.h"

// Win32 error codes (LSTATUS).
inline constexpr LONG ERROR_SUCCESS = 0;
inline constexpr LONG ERROR_INVALID_FUNCTION = 1;
inline constexpr LONG ERROR_FILE_NOT_FOUND = 2;
inline constexpr LONG ERROR_PATH_NOT_FOUND = 3;
inline constexpr LONG ERROR_ACCESS_DENIED = 5;
inline constexpr LONG ERROR_INVALID_HANDLE = 6;
inline constexpr LONG ERROR_NOT_ENOUGH_MEMORY = 8;
inline constexpr LONG ERROR_INVALID_PARAMETER = 87;
inline constexpr LONG ERROR_DISK_FULL = 112;
inline constexpr LONG ERROR_MORE_DATA = 234;
inline constexpr LONG ERROR_NO_MORE_ITEMS = 259;
inline constexpr LONG ERROR_BADDB = 1009;
inline constexpr LONG ERROR_BADKEY = 1010;
inline constexpr LONG ERROR_CANTOPEN = 1011;
inline constexpr LONG ERROR_CANTREAD = 1012;
inline constexpr LONG ERROR_CANTWRITE = 1013;
inline constexpr LONG ERROR_REGISTRY_CORRUPT = 1015;
inline constexpr LONG ERROR_KEY_DELETED = 1018;
inline constexpr LONG ERROR_TIMEOUT = 1460;
inline constexpr LONG RPC_S_SERVER_UNAVAILABLE = 1722;

constexpr HRESULT MakeHResult(std::uint32_t value)
{
    return static_cast<HRESULT>(value);
}

constexpr HRESULT HRESULT_FROM_WIN32(LONG error)
{
    return error <= 0 ? static_cast<HRESULT>(error)
                      : MakeHResult((static_cast<std::uint32_t>(error) & 0xFFFFu) | 0x80070000u);
}

constexpr bool SUCCEEDED(HRESULT hr)
{
    return hr >= 0;
}
constexpr bool FAILED(HRESULT hr)
{
    return hr < 0;
}

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = MakeHResult(0x80004001);
inline constexpr HRESULT E_NOINTERFACE = MakeHResult(0x80004002);
inline constexpr HRESULT E_POINTER = MakeHResult(0x80004003);
inline constexpr HRESULT E_ABORT = MakeHResult(0x80004004);
inline constexpr HRESULT E_FAIL = MakeHResult(0x80004005);
inline constexpr HRESULT E_UNEXPECTED = MakeHResult(0x8000FFFF);
inline constexpr HRESULT E_ACCESSDENIED = MakeHResult(0x80070005);
inline constexpr HRESULT E_HANDLE = MakeHResult(0x80070006);
inline constexpr HRESULT E_OUTOFMEMORY = MakeHResult(0x8007000E);
inline constexpr HRESULT E_INVALIDARG = MakeHResult(0x80070057);

inline constexpr HRESULT CLASS_E_NOAGGREGATION = MakeHResult(0x80040110);
inline constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = MakeHResult(0x80040111);
inline constexpr HRESULT REGDB_E_READREGDB = MakeHResult(0x80040150);
inline constexpr HRESULT REGDB_E_WRITEREGDB = MakeHResult(0x80040151);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = MakeHResult(0x80040154);
inline constexpr HRESULT CO_E_NOTINITIALIZED = MakeHResult(0x800401F0);
inline constexpr HRESULT CO_E_CLASSSTRING = MakeHResult(0x800401F3);
inline constexpr HRESULT CO_E_DLLNOTFOUND = MakeHResult(0x800401F8);
inline constexpr HRESULT CO_E_ERRORINDLL = MakeHResult(0x800401F9);
inline constexpr HRESULT CO_S_NOTALLINTERFACES = MakeHResult(0x00080012);
inline constexpr HRESULT TYPE_E_CANTLOADLIBRARY = MakeHResult(0x80029C4A);
inline constexpr HRESULT TYPE_E_REGISTRYACCESS = MakeHResult(0x8002801C);
inline constexpr HRESULT TYPE_E_LIBNOTREGISTERED = MakeHResult(0x8002801D);

inline constexpr HRESULT DISP_E_UNKNOWNINTERFACE = MakeHResult(0x80020001);
inline constexpr HRESULT DISP_E_MEMBERNOTFOUND = MakeHResult(0x80020003);
inline constexpr HRESULT DISP_E_PARAMNOTFOUND = MakeHResult(0x80020004);
inline constexpr HRESULT DISP_E_TYPEMISMATCH = MakeHResult(0x80020005);
inline constexpr HRESULT DISP_E_UNKNOWNNAME = MakeHResult(0x80020006);
inline constexpr HRESULT DISP_E_NONAMEDARGS = MakeHResult(0x80020007);
inline constexpr HRESULT DISP_E_BADVARTYPE = MakeHResult(0x80020008);
inline constexpr HRESULT DISP_E_EXCEPTION = MakeHResult(0x80020009);
inline constexpr HRESULT DISP_E_OVERFLOW = MakeHResult(0x8002000A);
inline constexpr HRESULT DISP_E_BADINDEX = MakeHResult(0x8002000B);
inline constexpr HRESULT DISP_E_UNKNOWNLCID = MakeHResult(0x8002000C);
inline constexpr HRESULT DISP_E_ARRAYISLOCKED = MakeHResult(0x8002000D);
inline constexpr HRESULT DISP_E_BADPARAMCOUNT = MakeHResult(0x8002000E);
inline constexpr HRESULT DISP_E_PARAMNOTOPTIONAL = MakeHResult(0x8002000F);
inline constexpr HRESULT DISP_E_BADCALLEE = MakeHResult(0x80020010);
inline constexpr HRESULT DISP_E_NOTACOLLECTION = MakeHResult(0x80020011);
inline constexpr HRESULT DISP_E_DIVBYZERO = MakeHResult(0x80020012);
