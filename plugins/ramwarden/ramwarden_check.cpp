#include "plugins/ramwarden/ramwarden_check.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "platform/base/ascii.h"
#include "platform/os/memory_status.h"
#include "platform/os/process_list.h"
#include "plugins/common/plugin_log.h"
#include "plugins/common/record_reader.h"

namespace ospreon::ramwarden {

namespace {

using plugin::ParamText;
using plugin::ReadText;
using plugin::WriteLog;

constexpr char kPercentKey[] = "Ext_Maximum Usuage Percentage";
constexpr char kSizeKey[] = "Ext_The Memory Usage Not Extend (Kb)";
// Longest process name looked for; the rest of a longer value is ignored.
constexpr std::size_t kNameChars = 259;

// A stored limit as the unsigned 32-bit number both comparisons use: read as a
// 32-bit long (saturating, like strtol), so "-1" becomes 0xFFFFFFFF and is never
// exceeded.
std::uint32_t UnsignedLimit(const std::string& text)
{
    const long long value =
        std::clamp<long long>(plugin::LeadingNumber(text), std::numeric_limits<std::int32_t>::min(),
                              std::numeric_limits<std::int32_t>::max());
    return static_cast<std::uint32_t>(static_cast<std::int32_t>(value));
}

// Text at or below the two-blank text, compared as unsigned bytes (empty, one or
// two blanks, a leading control character) names no process.
bool NamesNoProcess(const char* name)
{
    return std::strcmp(name, "  ") <= 0;
}

} // namespace

std::uint32_t GetProcessMemSize(const std::string& name)
{
    // Every process is looked at: a fixed room for identifiers would leave processes
    // out on a busy host and raise false "not exists" alarms.
    auto processes = os::ListProcesses();
    if (!processes)
        return 0;
    for (const os::ProcessInfo& process : *processes) {
        // A process whose details cannot be read cannot be opened: it is not running
        // as far as the check goes.
        if (!process.readable)
            continue;
        // Nor can one without an address space (a kernel thread, a zombie): its name
        // comes from comm and may well be a namesake of the daemon looked for.
        if (!process.hasWorkingSet)
            continue;
        if (!StartsWithNoCase(process.name, name))
            continue;
        const std::uint64_t kilobytes = process.workingSetBytes / 1024;
        return static_cast<std::uint32_t>(
            std::min<std::uint64_t>(kilobytes, std::numeric_limits<std::uint32_t>::max()));
    }
    return 0;
}

HRESULT RamwardenCheck::Monitor(IUser* user)
{
    const ParamText percent = ReadText(user, kPercentKey, "0");
    if (!percent.read) {
        WriteLog("Get Parameter [Ext_Maximum Usuage Percentage] failure\n");
    } else if (FAILED(percent.hr)) {
        return percent.hr;
    } else if (const std::uint32_t limit = UnsignedLimit(percent.text); limit == 0) {
        WriteLog("Get Parameter [Ext_Maximum Usuage Percentage] failure,value=%s",
                 percent.text.c_str());
    } else {
        auto load = os::MemoryLoad();
        if (!load) {
            // Without the load the check cannot be made: say why and report trouble.
            WriteLog("Get Memory Usage failure,%s\n", load.error().message.c_str());
            return E_FAIL;
        }
        if (*load > limit) {
            WriteLog("Test failure,the memory usage is %ld percent\n", static_cast<long>(*load));
            return E_FAIL;
        }
    }

    const ParamText target = ReadText(user, "Monitor_Parameter", "");
    if (!target.read)
        return S_OK;
    if (FAILED(target.hr))
        return target.hr;
    // The name is a C string: it ends at an embedded NUL.
    if (NamesNoProcess(target.text.c_str()))
        return S_OK;
    const std::string name = std::string(target.text.c_str()).substr(0, kNameChars);

    const ParamText size = ReadText(user, kSizeKey, "0");
    if (!size.read) {
        WriteLog("Access Memory Usage Parameter Failure\n");
        return E_FAIL;
    }
    if (FAILED(size.hr))
        return size.hr;

    const std::uint32_t kilobytes = GetProcessMemSize(name);
    if (kilobytes == 0) {
        WriteLog("%s not exists\n", name.c_str());
        return E_FAIL;
    }
    if (kilobytes <= UnsignedLimit(size.text))
        return S_OK;
    WriteLog("%s mem size is %u KB, extend the desire\n", name.c_str(), kilobytes);
    return E_FAIL;
}

} // namespace ospreon::ramwarden
