#pragma once
// A TempHome with the test module TestCalc registered, and one Calc object made
// through CoCreateInstance.

#include <dlfcn.h>

#include <gtest/gtest.h>

#include "platform/com/activation.h"
#include "platform/com/com_ptr.h"
#include "tests/platform/com/calc.h"
#include "tests/support/temp_home.h"

namespace ospreon::test {

inline HRESULT RegisterCalc()
{
    void* handle = ::dlopen(TEST_CALC_MODULE, RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        return CO_E_DLLNOTFOUND;
    auto fn = reinterpret_cast<DllRegisterServerFn>(::dlsym(handle, "DllRegisterServer"));
    HRESULT hr = fn ? fn() : E_FAIL;
    ::dlclose(handle);
    return hr;
}

class CalcTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(CoInitialize(nullptr), S_OK);
        ASSERT_EQ(RegisterCalc(), S_OK);
        ASSERT_EQ(
            CoCreateInstance(CLSID_Calc, nullptr, CLSCTX_INPROC_SERVER, IID_ICalc, calc.putVoid()),
            S_OK);
    }
    void TearDown() override
    {
        calc.reset();
        CoUninitialize();
    }

    TempHome home;
    com::ComPtr<ICalc> calc;
};

} // namespace ospreon::test
