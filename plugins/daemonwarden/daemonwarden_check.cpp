#include "plugins/daemonwarden/daemonwarden_check.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

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

constexpr std::string_view kSeparator = " --- ";

std::string ServiceText(const os::ServiceInfo& service)
{
    std::string text = service.name + std::string(kSeparator) + service.displayName;
    if (text.size() > kTextChars)
        text.resize(kTextChars);
    return text;
}

// The decision once `service` has the target's text.
HRESULT Decide(const os::ServiceInfo& service, const std::string& target)
{
    if (service.running)
        return S_OK;
    WriteLog("%s Exists,but not running\n", target.c_str());
    return E_FAIL;
}

bool Listed(const std::vector<os::ServiceInfo>& services, std::string_view name)
{
    return std::any_of(services.begin(), services.end(),
                       [&](const os::ServiceInfo& service) { return service.name == name; });
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
        // The first service with the text decides.
        if (EqualsNoCase(ServiceText(service), target))
            return Decide(service, target);
    }

    // The manager lists only the units it has loaded; a stopped service it unloaded
    // (a disabled one) is asked for by the name before the separator. A target
    // without the separator matches no service's text and needs no question.
    const std::size_t separator = target.find(kSeparator);
    if (separator != std::string::npos && separator > 0 &&
        !Listed(*services, std::string_view(target).substr(0, separator))) {
        const auto found = manager->FindService(target.substr(0, separator));
        if (!found) {
            WriteLog("Emum service list failure,err code=%x\n",
                     static_cast<unsigned>(found.error().code));
            return E_FAIL;
        }
        if (*found && EqualsNoCase(ServiceText(**found), target))
            return Decide(**found, target);
    }
    WriteLog("active %s does not exists in the service list\n", target.c_str());
    return E_FAIL;
}

} // namespace ospreon::daemonwarden
