#include "plugins/daemonwarden/daemonwarden_check.h"

#include <cstdio>
#include <string>
#include <string_view>

#include "platform/base/ascii.h"
#include "platform/os/service_manager.h"
#include "plugins/common/plugin_log.h"
#include "plugins/common/record_reader.h"

namespace ospreon::daemonwarden {

namespace {

using plugin::WriteLog;

// The target when the record faulted: it matches no service.
constexpr char kNoTarget[] = "MMMMMMMXXXX";
// A service's "%s --- %s" text is cut to this many characters before comparing.
constexpr std::size_t kTextChars = 1023;

std::string ServiceText(const os::ServiceInfo& service)
{
    std::string text = service.name + " --- " + service.displayName;
    if (text.size() > kTextChars)
        text.resize(kTextChars);
    return text;
}

} // namespace

HRESULT DaemonwardenCheck::Monitor(IUser* user)
{
    // Opening the manager comes first and is reported before the record is read.
    // The whole list is taken, however long: a fixed buffer would fail on a host with
    // many units.
    auto manager = os::ServiceManager::Open();
    if (!manager) {
        WriteLog("Open service manager failure,err code=%x\n",
                 static_cast<unsigned>(manager.error().code));
        return E_FAIL;
    }

    const plugin::ParamText parameter = plugin::ReadText(user, "Monitor_Parameter", "Wardenhost");
    if (parameter.read && FAILED(parameter.hr))
        return parameter.hr;
    // The target is a C string: it ends at an embedded NUL.
    const std::string target = parameter.read ? parameter.text.c_str() : kNoTarget;

    const auto services = manager->ListServices();
    if (!services) {
        WriteLog("Emum service list failure,err code=%x\n",
                 static_cast<unsigned>(services.error().code));
        return E_FAIL;
    }
    for (const os::ServiceInfo& service : *services) {
        if (!EqualsNoCase(ServiceText(service), target))
            continue;
        // The first service with the text decides.
        if (service.running)
            return S_OK;
        WriteLog("%s Exists,but not running\n", target.c_str());
        return E_FAIL;
    }
    WriteLog("active %s does not exists in the service list\n", target.c_str());
    return E_FAIL;
}

} // namespace ospreon::daemonwarden
