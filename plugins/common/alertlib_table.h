#pragma once
// The plug-ins reach Alertlib through this table, so a test can put its own
// functions in (a SendNotify answering 256, an ExecCmd that fails).

#include "alertlib/alertlib.h"

namespace ospreon::plugin {

struct AlertlibTable
{
    HKEY (*getServicePluginKey)(const char* serviceName);
    int (*alert)(const char* soundFile);
    int (*sendNotify)(const char* mode, const char* recipients, const char* message);
    int (*execCmd)(const char* commandLine);
    const char* (*lastError)();
};

// The module's current table; Alertlib's own functions unless replaced.
const AlertlibTable& Alertlib();

// Replaces the table (null restores Alertlib's own); for tests.
void SetAlertlibForTesting(const AlertlibTable* table);

} // namespace ospreon::plugin
