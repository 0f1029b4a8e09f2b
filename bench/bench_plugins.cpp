// One Monitor call of the memory and the processor checks against the running
// kernel, as the service makes it on every check interval.

#include <benchmark/benchmark.h>

#include "plugins/common/plugin_log.h"
#include "plugins/loadwarden/loadwarden_check.h"
#include "plugins/ramwarden/ramwarden_check.h"
#include "tests/support/fake_user.h"
#include "tests/support/temp_home.h"

namespace {

using ospreon::test::FakeUser;

// Ramwarden over the real process list: a name that no process has makes it look at
// every process and write its "not exists" line; the benchmark's own name is found
// wherever it stands in the list.
void BM_RamwardenMonitor(benchmark::State& state, const char* target)
{
    ospreon::test::TempHome home;
    ospreon::plugin::SetLogFile((home.path() / "Ramwarden.log").string());
    auto user = FakeUser::Create("Ramwarden of bench", "Ramwarden");
    user->Set("Ext_Maximum Usuage Percentage", "100");
    user->Set("Monitor_Parameter", target);
    user->Set("Ext_The Memory Usage Not Extend (Kb)", "-1");
    ospreon::ramwarden::RamwardenCheck check;
    for (auto _ : state) {
        benchmark::DoNotOptimize(check.Monitor(user.get()));
        user->ClearCalls();
    }
}
BENCHMARK_CAPTURE(BM_RamwardenMonitor, missing, "no-such-process-here")
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_RamwardenMonitor, self, "bench_plugins")->Unit(benchmark::kMicrosecond);

// Loadwarden: one sample of the processor counter and the threshold read.
void BM_LoadwardenMonitor(benchmark::State& state)
{
    ospreon::test::TempHome home;
    ospreon::plugin::SetLogFile((home.path() / "Loadwarden.log").string());
    auto user = FakeUser::Create("Loadwarden of bench", "Loadwarden");
    user->Set("Monitor_Parameter", "9999");
    ospreon::loadwarden::LoadwardenCheck check;
    if (!check.ready()) {
        state.SkipWithError("the processor counter cannot be read");
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(check.Monitor(user.get()));
        user->ClearCalls();
    }
}
BENCHMARK(BM_LoadwardenMonitor)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
