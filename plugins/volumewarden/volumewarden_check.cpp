#include "plugins/volumewarden/volumewarden_check.h"

#include "platform/os/free_space.h"
#include "plugins/common/plugin_log.h"
#include "plugins/common/record_reader.h"

namespace ospreon::volumewarden {

namespace {

using plugin::ParamText;
using plugin::ReadText;
using plugin::WriteLog;

constexpr std::uint64_t kMegabyte = 1024 * 1024;

} // namespace

HRESULT VolumewardenCheck::Monitor(IUser* user)
{
    const ParamText path = ReadText(user, "Monitor_Parameter", "/");
    if (!path.read)
        return E_FAIL;
    if (FAILED(path.hr))
        return path.hr;
    const ParamText threshold = ReadText(user, "Ext_Free space threshold (Mb)", "10");
    if (!threshold.read)
        return E_FAIL;
    if (FAILED(threshold.hr))
        return threshold.hr;

    const long long wanted = plugin::LeadingNumber(threshold.text);
    Result<std::uint64_t> available = os::AvailableBytes(path.text);
    if (!available) {
        WriteLog("Free space of %s expected at least %lld Mb, cannot be read: %s\n",
                 path.text.c_str(), wanted, available.error().message.c_str());
        return E_FAIL;
    }
    const std::uint64_t megabytes = *available / kMegabyte;
    if (wanted <= 0 || megabytes >= static_cast<std::uint64_t>(wanted))
        return S_OK;
    WriteLog("Free space of %s is %llu Mb, expected at least %lld Mb\n", path.text.c_str(),
             static_cast<unsigned long long>(megabytes), wanted);
    return E_FAIL;
}

} // namespace ospreon::volumewarden
