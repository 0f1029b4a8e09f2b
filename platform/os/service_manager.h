#pragma once
// The system's services, read from systemd's manager over the system bus (sd-bus;
// the bus is $DBUS_SYSTEM_BUS_ADDRESS when set). A unit "X.service" is the service
// named "X"; its Description is the display name; it runs when its sub-state is
// "running".

#include <string>
#include <vector>

#include "platform/os/result.h"

namespace ospreon::os {

struct ServiceInfo {
    std::string name;
    std::string displayName;
    bool running = false;
};

// Fails with the bus's errno code (positive) and a message naming the step when no
// system bus answers or the manager's ListUnits call fails.
Result<std::vector<ServiceInfo>> ListServices();

} // namespace ospreon::os
