#pragma once
// What makes one monitor plug-in: its identity, its parameter declarations and its
// check. Each plug-in module is one PluginType plus its Check; the frame in this
// folder does the rest (COM class, registration, run cycle, log).

#include <memory>
#include <span>

#include "interfaces/user.h"
#include "platform/com/type_descriptor.h"
#include "platform/com/version_info.h"

namespace ospreon::plugin {

// One parameter a plug-in declares on its first Init. `putOnly` writes the value
// without declaring the key's name first; `whenMissing` declares it only when the
// record lacks the key, so a configured value is never replaced.
struct Declaration
{
    const char* key;
    const char* defaultValue;
    bool putOnly = false;
    bool whenMissing = false;
};

// The type's own check, one per plug-in object (it may hold state between calls,
// as the processor counter does).
class Check
{
public:
    virtual ~Check() = default;
    // S_OK: in order; E_FAIL: trouble found or the check could not be made.
    virtual HRESULT Monitor(IUser* user) = 0;
};

struct PluginType
{
    const char* typeName; // "Ramwarden"; also names the log lines and registry keys
    CLSID clsid;
    const char* defaultLogFile; // file name in $OSPREON_HOME/log: "Ramwarden.log"
    std::span<const Declaration> declarations;
    std::unique_ptr<Check> (*makeCheck)();
    const com::TypeLibDesc* typeLibrary;
    const com::ModuleVersionInfo* versionInfo;
    // Told of every IServiceMonitor call before it runs; only the test plug-in sets it.
    void (*traceCall)(const char* method, IUser* user) = nullptr;
};

} // namespace ospreon::plugin
