#pragma once
// The system's services, read from systemd's manager over the system bus (sd-bus;
// the bus is $DBUS_SYSTEM_BUS_ADDRESS when set). A unit "X.service" is the service
// named "X"; its Description is the display name; it runs when its sub-state is
// "running".

#include <memory>
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
// ListUnits call). Failures carry the errno code (positive) and name the step.
class ServiceManager
{
public:
    static Result<ServiceManager> Open();

    Result<std::vector<ServiceInfo>> ListServices();

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
