#include "platform/os/host.h"

#include <climits>

#include <unistd.h>

namespace ospreon::os {

std::string LocalHostName()
{
    char name[HOST_NAME_MAX + 1] = {};
    // An empty name matches no server name, which is the safe answer when the call fails.
    if (::gethostname(name, sizeof name - 1) != 0)
        return {};
    return name;
}

} // namespace ospreon::os
