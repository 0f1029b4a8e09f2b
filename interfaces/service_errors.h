#pragma once
// The monitor service's own failure codes (facility 0x031), returned by its COM
// objects to every caller and carried as HResult errors by the store. Other
// failures use the standard codes: DISP_E_UNKNOWNNAME (a key the record lacks), DISP_E_BADINDEX (a
// position or item out of range), E_ACCESSDENIED (Reload with a wrong password), E_INVALIDARG,
// E_UNEXPECTED (a call out of order), E_NOTIMPL, CLASS_E_CLASSNOTAVAILABLE (a type without a
// serving object) and the Win32 codes of file errors (HRESULT_FROM_WIN32).

#include "platform/wintypes/winerror.h"

// No record of that name.
inline constexpr HRESULT WARDEN_E_NORECORD = MakeHResult(0x80310001);
// The record was removed after it was opened.
inline constexpr HRESULT WARDEN_E_RECORDGONE = MakeHResult(0x80310002);
// A record of that name (without regard to letter case) exists already.
inline constexpr HRESULT WARDEN_E_NAMETAKEN = MakeHResult(0x80310003);
// The name's type (the text before " of ") is not in the catalogue.
inline constexpr HRESULT WARDEN_E_UNKNOWNTYPE = MakeHResult(0x80310004);
// The reference names another provider than the user store.
inline constexpr HRESULT WARDEN_E_PROVIDER = MakeHResult(0x80310005);
// wardenhost.db cannot be opened or used: not a database, not ours, of a newer
// schema, damaged, or an I/O error.
inline constexpr HRESULT WARDEN_E_STORE = MakeHResult(0x80310006);
// Another process kept the store locked beyond the busy timeout.
inline constexpr HRESULT WARDEN_E_BUSY = MakeHResult(0x80310007);
// Not a monitor file of a known format and version, or a damaged one.
inline constexpr HRESULT WARDEN_E_BADFILE = MakeHResult(0x80310008);
