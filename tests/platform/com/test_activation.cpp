#include <fstream>
#include <string>

#include <dlfcn.h>
#include <gtest/gtest.h>

#include "platform/com/activation.h"
#include "platform/com/com_ptr.h"
#include "platform/com/type_library.h"
#include "platform/os/host.h"
#include "platform/registry/registry.h"
#include "tests/platform/com/calc.h"
#include "tests/support/temp_home.h"

namespace {

using namespace ospreon::com;
using ospreon::registry::GetString;
using ospreon::registry::Key;
using ospreon::registry::SetString;

bool ModuleIsLoaded()
{
    void* handle = ::dlopen(TEST_CALC_MODULE, RTLD_NOW | RTLD_NOLOAD);
    if (!handle)
        return false;
    ::dlclose(handle);
    return true;
}

// The module as the console registers a monitor type: loaded by hand to call its
// DllRegisterServer, then let go.
HRESULT CallModuleExport(const char* name)
{
    void* handle = ::dlopen(TEST_CALC_MODULE, RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        return CO_E_DLLNOTFOUND;
    auto fn = reinterpret_cast<DllRegisterServerFn>(::dlsym(handle, name));
    HRESULT hr = fn ? fn() : E_FAIL;
    ::dlclose(handle);
    return hr;
}

std::string ReadDefault(const std::string& path)
{
    Key key;
    std::string value;
    if (RegOpenKeyEx(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS ||
        GetString(key.get(), nullptr, value) != ERROR_SUCCESS)
        return "<missing>";
    return value;
}

class Activation : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(CoInitialize(nullptr), S_OK);
        ASSERT_EQ(CallModuleExport("DllRegisterServer"), S_OK);
        CoFreeUnusedLibraries();
        ASSERT_FALSE(ModuleIsLoaded());
    }
    void TearDown() override
    {
        CoUninitialize();
        EXPECT_FALSE(ModuleIsLoaded()) << "the last CoUninitialize frees unused modules";
    }

    ospreon::test::TempHome home;
};

TEST_F(Activation, CreatesByClassIdAndUnloadsAfterTheLastRelease)
{
    ComPtr<ICalc> calc;
    ASSERT_EQ(
        CoCreateInstance(CLSID_Calc, nullptr, CLSCTX_INPROC_SERVER, IID_ICalc, calc.putVoid()),
        S_OK)
        << LastActivationError();
    LONG sum = 0;
    ASSERT_EQ(calc->Add(2, 3, &sum), S_OK);
    EXPECT_EQ(sum, 5);
    EXPECT_TRUE(ModuleIsLoaded());

    ComPtr<ICalc> second;
    ASSERT_EQ(CoCreateInstance(CLSID_Calc, nullptr, CLSCTX_ALL, IID_ICalc, second.putVoid()), S_OK);
    CoFreeUnusedLibraries();
    EXPECT_TRUE(ModuleIsLoaded()) << "objects are alive";

    calc.reset();
    CoFreeUnusedLibraries();
    EXPECT_TRUE(ModuleIsLoaded()) << "one object is still alive";

    second.reset();
    CoFreeUnusedLibraries();
    EXPECT_FALSE(ModuleIsLoaded());
}

TEST_F(Activation, FactoryLockKeepsTheModule)
{
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(CoGetClassObject(CLSID_Calc, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                               factory.putVoid()),
              S_OK);
    ASSERT_EQ(factory->LockServer(1), S_OK);
    factory.reset();
    CoFreeUnusedLibraries();
    EXPECT_TRUE(ModuleIsLoaded());

    ASSERT_EQ(CoGetClassObject(CLSID_Calc, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                               factory.putVoid()),
              S_OK);
    ASSERT_EQ(factory->LockServer(0), S_OK);
    factory.reset();
    CoFreeUnusedLibraries();
    EXPECT_FALSE(ModuleIsLoaded());
}

TEST_F(Activation, QueryInterfaceFollowsTheRules)
{
    ComPtr<IUnknown> unknown;
    ASSERT_EQ(CoCreateInstance(CLSID_Calc, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               unknown.putVoid()),
              S_OK);
    ComPtr<ICalc> calc;
    ComPtr<IMemo> memo;
    ASSERT_EQ(unknown.As(calc), S_OK);
    ASSERT_EQ(unknown.As(memo), S_OK);

    // Identity: IUnknown from any interface is the same pointer.
    EXPECT_EQ(calc.As<IUnknown>().get(), unknown.get());
    EXPECT_EQ(memo.As<IUnknown>().get(), unknown.get());
    // Symmetry and transitivity: what one interface reaches, the other reaches too.
    EXPECT_EQ(memo.As<ICalc>().get(), calc.get());
    EXPECT_EQ(calc.As<IMemo>().get(), memo.get());
    EXPECT_EQ(calc.As<IDispatch>().get(), static_cast<IDispatch*>(calc.get()));
    // Reflexive, and the same object state behind both.
    EXPECT_EQ(memo->Remember(11), S_OK);
    LONG total = 0;
    ASSERT_EQ(calc.As<ICalc>()->get_Total(&total), S_OK);
    EXPECT_EQ(total, 11);

    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(unknown->QueryInterface(IID_IClassFactory, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr) << "a refused interface leaves a null pointer";
}

TEST_F(Activation, ProgIdAndLocalServerName)
{
    CLSID clsid{};
    Bstr progId(kCalcProgId);
    ASSERT_EQ(CLSIDFromProgID(progId.get(), &clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_Calc);
    Bstr unknownId("Ospreon.NoSuchClass");
    EXPECT_EQ(CLSIDFromProgID(unknownId.get(), &clsid), CO_E_CLASSSTRING);

    Bstr local(ospreon::os::LocalHostName());
    COSERVERINFO server{0, local.get(), nullptr, 0};
    MULTI_QI wanted[] = {{&IID_ICalc, nullptr, S_OK}, {&IID_IClassFactory, nullptr, S_OK}};
    EXPECT_EQ(CoCreateInstanceEx(CLSID_Calc, nullptr, CLSCTX_SERVER, &server, 2, wanted),
              CO_S_NOTALLINTERFACES);
    EXPECT_EQ(wanted[0].hr, S_OK);
    EXPECT_EQ(wanted[1].hr, E_NOINTERFACE);
    EXPECT_EQ(wanted[1].pItf, nullptr);
    ComPtr<IUnknown>::Attach(wanted[0].pItf);

    Bstr remote("some-other-host.example");
    COSERVERINFO elsewhere{0, remote.get(), nullptr, 0};
    MULTI_QI one[] = {{&IID_ICalc, nullptr, S_OK}};
    EXPECT_EQ(CoCreateInstanceEx(CLSID_Calc, nullptr, CLSCTX_SERVER, &elsewhere, 1, one),
              HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE));
    EXPECT_EQ(one[0].pItf, nullptr);
    EXPECT_NE(LastActivationError().find("some-other-host.example"), std::string::npos);
}

TEST_F(Activation, FailuresAreClearAndNeverCrash)
{
    const GUID unregistered = MakeGuid("0F0F0F0F-1111-2222-3333-444455556666");
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoCreateInstance(unregistered, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(object, nullptr);

    // A class key without InprocServer32.
    Key bare;
    ASSERT_EQ(RegCreateKeyEx(HKEY_CLASSES_ROOT, ("CLSID\\" + GuidToString(unregistered)).c_str(), 0,
                             nullptr, 0, KEY_ALL_ACCESS, nullptr, bare.put(), nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(CoCreateInstance(unregistered, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
              REGDB_E_CLASSNOTREG);
    EXPECT_NE(LastActivationError().find("InprocServer32"), std::string::npos);

    // Modules that do not load: a missing file, a file that is no module.
    const std::string notAModule = (home.path() / "not-a-module.so").string();
    std::ofstream(notAModule) << "plain text\n";
    for (const std::string& path : {(home.path() / "missing.so").string(), notAModule}) {
        Key server;
        ASSERT_EQ(RegCreateKeyEx(bare.get(), "InprocServer32", 0, nullptr, 0, KEY_ALL_ACCESS,
                                 nullptr, server.put(), nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(SetString(server.get(), nullptr, path), ERROR_SUCCESS);
        EXPECT_EQ(
            CoCreateInstance(unregistered, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
            CO_E_DLLNOTFOUND);
        EXPECT_EQ(object, nullptr);
        EXPECT_NE(LastActivationError().find(path), std::string::npos) << LastActivationError();
    }

    EXPECT_EQ(CoCreateInstance(CLSID_Calc, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, &object),
              REGDB_E_CLASSNOTREG)
        << "only in-process servers exist";
    EXPECT_EQ(CoCreateInstance(CLSID_Calc, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, nullptr),
              E_POINTER);
    EXPECT_EQ(
        CoCreateInstance(CLSID_Calc, nullptr, CLSCTX_INPROC_SERVER, IID_IClassFactory, &object),
        E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
}

TEST(ActivationWithoutInit, RefusesUntilCoInitialize)
{
    ospreon::test::TempHome home;
    void* object = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_Calc, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
              CO_E_NOTINITIALIZED);
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
    CoUninitialize();
    CoUninitialize();
}

TEST_F(Activation, RegistersAndRemovesTheTypeLibrary)
{
    const std::string base = "TypeLib\\" + GuidToString(LIBID_Calc) + "\\1.0";
    const std::string folder = std::filesystem::path(TEST_CALC_MODULE).parent_path().string();
    EXPECT_EQ(ReadDefault(base), "Calc 1.0 Type Library");
    EXPECT_EQ(ReadDefault(base + "\\0\\linux"), TEST_CALC_MODULE);
    EXPECT_EQ(ReadDefault(base + "\\FLAGS"), "0");
    EXPECT_EQ(ReadDefault(base + "\\HELPDIR"), folder);

    ComPtr<ITypeLib> library;
    Bstr path(TEST_CALC_MODULE);
    ASSERT_EQ(LoadTypeLib(path.get(), library.put()), S_OK);
    Bstr name;
    Bstr doc;
    ASSERT_EQ(library->GetDocumentation(-1, name.put(), doc.put(), nullptr, nullptr), S_OK);
    EXPECT_EQ(name.utf8(), "CALCLib");
    EXPECT_EQ(doc.utf8(), "Calc 1.0 Type Library");
    ASSERT_EQ(library->GetTypeInfoCount(), 2u);
    ASSERT_EQ(library->GetDocumentation(1, name.put(), doc.put(), nullptr, nullptr), S_OK);
    EXPECT_EQ(name.utf8(), "ICalc");
    EXPECT_EQ(library->GetDocumentation(2, name.put(), nullptr, nullptr, nullptr), DISP_E_BADINDEX);
    library.reset();

    Bstr missing((home.path() / "nothing.so").string());
    EXPECT_EQ(LoadTypeLib(missing.get(), library.put()), TYPE_E_CANTLOADLIBRARY);

    ASSERT_EQ(CallModuleExport("DllUnregisterServer"), S_OK);
    EXPECT_EQ(ReadDefault(base), "<missing>");
    Key lib;
    EXPECT_EQ(RegOpenKeyEx(HKEY_CLASSES_ROOT, ("TypeLib\\" + GuidToString(LIBID_Calc)).c_str(), 0,
                           KEY_READ, lib.put()),
              ERROR_FILE_NOT_FOUND)
        << "the library's key goes with its last version";
    Key typeLibs;
    EXPECT_EQ(RegOpenKeyEx(HKEY_CLASSES_ROOT, "TypeLib", 0, KEY_READ, typeLibs.put()),
              ERROR_SUCCESS)
        << "only the library's own key goes";
    void* object = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_Calc, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &object),
              REGDB_E_CLASSNOTREG);
}

} // namespace
