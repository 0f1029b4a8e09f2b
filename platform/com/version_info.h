#pragma once
// A module's version record, exported as data under kVersionInfoSymbol so tools can
// read it without creating anything (the counterpart of a version resource).

#include "platform/wintypes/wintypes.h"

namespace ospreon::com {

struct ModuleVersionInfo
{
    const char* fileDescription;  // "Ramwarden Module"
    const char* productName;      // "Ramwarden Module"
    const char* internalName;     // "Ramwarden"
    const char* originalFilename; // "Ramwarden.so"
    WORD fileVersion[4];          // 1, 0, 0, 1
    bool oleSelfRegister;         // the module registers itself (DllRegisterServer)
};

} // namespace ospreon::com

inline constexpr char kVersionInfoSymbol[] = "OspreonVersionInfo";
