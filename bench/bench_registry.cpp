// Registry reads as the COM layer makes them: a value of an open key, and the
// open, read and close of a class's InprocServer32 key; and one value write.

#include <benchmark/benchmark.h>

#include <string>

#include "platform/registry/registry.h"
#include "tests/support/temp_home.h"

namespace {

using ospreon::registry::Key;

constexpr char kServerKey[] = "CLSID\\{7816BA25-2BA3-40A6-B521-E735D4A4FD16}\\InprocServer32";
constexpr char kModule[] = "/usr/lib/ospreon/plugins/Ramwarden.so";

// A registry with one class registered, as setup leaves it.
Key RegisterClass(benchmark::State& state)
{
    Key key;
    if (RegCreateKeyEx(HKEY_CLASSES_ROOT, kServerKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                       key.put(), nullptr) != ERROR_SUCCESS ||
        ospreon::registry::SetString(key.get(), nullptr, kModule) != ERROR_SUCCESS ||
        ospreon::registry::SetString(key.get(), "ThreadingModel", "Both") != ERROR_SUCCESS)
        state.SkipWithError(RegLastErrorText().c_str());
    return key;
}

void BM_QueryValueOfOpenKey(benchmark::State& state)
{
    ospreon::test::TempHome home;
    Key key = RegisterClass(state);
    char buffer[256];
    for (auto _ : state) {
        DWORD type = 0;
        DWORD size = sizeof(buffer);
        LSTATUS status = RegQueryValueEx(key.get(), nullptr, nullptr, &type,
                                         reinterpret_cast<BYTE*>(buffer), &size);
        if (status != ERROR_SUCCESS) {
            state.SkipWithError(RegLastErrorText().c_str());
            break;
        }
        benchmark::DoNotOptimize(buffer);
    }
}
BENCHMARK(BM_QueryValueOfOpenKey);

void BM_OpenQueryCloseFourLevels(benchmark::State& state)
{
    ospreon::test::TempHome home;
    Key registered = RegisterClass(state);
    char buffer[256];
    for (auto _ : state) {
        HKEY key = nullptr;
        LSTATUS status = RegOpenKeyEx(HKEY_CLASSES_ROOT, kServerKey, 0, KEY_READ, &key);
        DWORD type = 0;
        DWORD size = sizeof(buffer);
        if (status == ERROR_SUCCESS)
            status = RegQueryValueEx(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buffer),
                                     &size);
        if (key)
            (void)RegCloseKey(key);
        if (status != ERROR_SUCCESS) {
            state.SkipWithError(RegLastErrorText().c_str());
            break;
        }
        benchmark::DoNotOptimize(buffer);
    }
}
BENCHMARK(BM_OpenQueryCloseFourLevels);

// One IMMEDIATE transaction per call: the cost of a committed write in WAL mode.
void BM_SetStringValue(benchmark::State& state)
{
    ospreon::test::TempHome home;
    Key key = RegisterClass(state);
    const std::string value = "Monitor_Result: ok";
    for (auto _ : state) {
        if (ospreon::registry::SetString(key.get(), "Result", value) != ERROR_SUCCESS) {
            state.SkipWithError(RegLastErrorText().c_str());
            break;
        }
    }
}
BENCHMARK(BM_SetStringValue);

} // namespace

BENCHMARK_MAIN();
