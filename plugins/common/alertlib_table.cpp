#include "plugins/common/alertlib_table.h"

#include <atomic>

namespace ospreon::plugin {

namespace {

constexpr AlertlibTable kAlertlib{&GetServicePluginKey, &Alert, &SendNotify, &ExecCmd,
                                  &LastAlertError};

std::atomic<const AlertlibTable*> g_table{&kAlertlib};

} // namespace

const AlertlibTable& Alertlib()
{
    return *g_table.load();
}

void SetAlertlibForTesting(const AlertlibTable* table)
{
    g_table = table ? table : &kAlertlib;
}

} // namespace ospreon::plugin
