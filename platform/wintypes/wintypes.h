#pragma once
// The Win32 scalar types that the stand-in APIs are written against, sized as
// on Windows (LONG is 32 bits there, whatever the Linux ABI's long is).

#include <cstdint>

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using UINT = std::uint32_t;
using INT = std::int32_t;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using SHORT = std::int16_t;
using USHORT = std::uint16_t;
using CHAR = char;
using LONGLONG = std::int64_t;
using ULONGLONG = std::uint64_t;
using FLOAT = float;
using DOUBLE = double;
using BOOL = std::int32_t;
using LCID = DWORD;
using REGSAM = DWORD;
using LSTATUS = LONG;
using HRESULT = std::int32_t;
using SCODE = HRESULT;
