// The /proc readings a monitor makes on each run, against the running kernel.

#include <benchmark/benchmark.h>

#include "platform/os/cpu_counter.h"
#include "platform/os/memory_status.h"
#include "platform/os/process_list.h"

namespace {

void BM_ListProcesses(benchmark::State& state)
{
    std::size_t count = 0;
    for (auto _ : state) {
        auto list = ospreon::os::ListProcesses();
        if (!list.ok()) {
            state.SkipWithError(list.error().message.c_str());
            return;
        }
        count = list->size();
        benchmark::DoNotOptimize(list);
    }
    state.counters["processes"] = static_cast<double>(count);
}
BENCHMARK(BM_ListProcesses)->Unit(benchmark::kMicrosecond);

void BM_MemoryLoad(benchmark::State& state)
{
    for (auto _ : state) {
        auto load = ospreon::os::MemoryLoad();
        benchmark::DoNotOptimize(load);
    }
}
BENCHMARK(BM_MemoryLoad)->Unit(benchmark::kMicrosecond);

void BM_CpuCounterCollect(benchmark::State& state)
{
    ospreon::os::CpuCounter counter;
    for (auto _ : state) {
        auto status = counter.Collect();
        benchmark::DoNotOptimize(status);
    }
}
BENCHMARK(BM_CpuCounterCollect)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
