// CoCreateInstance of a class whose module is already loaded: the registry lookup
// of its InprocServer32, the module table, the factory and the object.

#include <dlfcn.h>

#include <benchmark/benchmark.h>

#include "platform/com/activation.h"
#include "platform/com/com_ptr.h"
#include "tests/platform/com/calc.h"
#include "tests/support/temp_home.h"

namespace {

using ospreon::com::ComPtr;

void BM_CoCreateInstanceLoaded(benchmark::State& state)
{
    ospreon::test::TempHome home;
    void* module = ::dlopen(TEST_CALC_MODULE, RTLD_NOW | RTLD_LOCAL);
    auto registerServer =
        module ? reinterpret_cast<DllRegisterServerFn>(::dlsym(module, "DllRegisterServer"))
               : nullptr;
    if (!registerServer || FAILED(registerServer())) {
        state.SkipWithError("cannot register the test module");
        return;
    }
    (void)CoInitialize(nullptr);
    ComPtr<ICalc> keepLoaded;
    (void)CoCreateInstance(CLSID_Calc, nullptr, CLSCTX_INPROC_SERVER, IID_ICalc,
                           keepLoaded.putVoid());
    for (auto _ : state) {
        ComPtr<ICalc> calc;
        HRESULT hr =
            CoCreateInstance(CLSID_Calc, nullptr, CLSCTX_INPROC_SERVER, IID_ICalc, calc.putVoid());
        benchmark::DoNotOptimize(hr);
    }
    keepLoaded.reset();
    CoUninitialize();
    ::dlclose(module);
}
BENCHMARK(BM_CoCreateInstanceLoaded);

} // namespace

BENCHMARK_MAIN();
