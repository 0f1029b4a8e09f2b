#pragma once
// The system's services, read from systemd's manager over the system bus (sd-bus;
// the bus is $DBUS_SYSTEM_BUS_ADDRESS when set). A unit "X.service" is the service
// named "X"; its Description is the display name; it runs when its sub-state is
// "running". A unit whose load state is "not-found" has no unit file: it is no
// service, whatever still refers to it.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/base/result.h"

namespace ospreon::os {

struct ServiceInfo
{
    std::string name;
    std::string displayName;
    bool running = false;
};

// A connection to the service manager, in two steps as callers report them:
// opening (the system bus answers and accepts us) and listing (the manager's
// ListUnits call, and the look-up of a unit it does not list). Failures carry the
// errno code (positive) and name the step.
class ServiceManager
{
public:
    static Result<ServiceManager> Open();

    // The services among the units the manager has loaded.
    Result<std::vector<ServiceInfo>> ListServices();

    // The service `name`, also when the manager has unloaded it (a stopped, disabled
    // service is not listed): the manager loads "<name>.service" (LoadUnit) and its
    // unit object gives the rest. Nothing when no such unit exists or `name` is no
    // valid unit name.
    Result<std::optional<ServiceInfo>> FindService(const std::string& name);

    ServiceManager(ServiceManager&&) noexcept;
    ServiceManager& operator=(ServiceManager&&) noexcept;
    ~ServiceManager();

private:
    struct Bus;
    explicit ServiceManager(std::unique_ptr<Bus> bus);
    std::unique_ptr<Bus> m_bus;
};

// Open and list in one call.
Result<std::vector<ServiceInfo>> ListServices();

} // namespace ospreon::os
