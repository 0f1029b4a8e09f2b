// wardenctl types, register and unregister: a type module added and removed again.

#include <fstream>

#include <gtest/gtest.h>

#include "tests/service/ctl/ctl_fixture.h"

namespace ospreon::test {
namespace {

using CtlTypes = ServiceHomeTest;

bool Lists(const std::string& lines, const std::string& type)
{
    return ("\n" + lines).find("\n" + type + "\n") != std::string::npos;
}

TEST_F(CtlTypes, RegisterAndUnregister)
{
    const std::string module = TestwardenModule().string();
    const std::string types = MustRun({"types"});
    EXPECT_TRUE(Lists(types, "Testwarden")) << types;
    EXPECT_TRUE(Lists(types, "Pagewarden")) << types; // a bundled type

    RunSteps({
        {{"unregister", "testwarden"}, 0, "unregistered testwarden (" + module + ")\n", ""},
        {{"unregister", "Testwarden"},
         2,
         "",
         "wardenctl: no plug-in monitor type named \"Testwarden\" is registered\n"},
        {{"add", "Testwarden", "x"},
         2,
         "",
         "wardenctl: no monitor type named \"Testwarden\" (see `wardenctl types`)\n"},
    });
    EXPECT_FALSE(Lists(MustRun({"types"}), "Testwarden"));

    RunSteps({
        {{"register", module}, 0, "registered " + module + "\n", ""},
        {{"add", "Testwarden", "x"}, 0, "Testwarden of x\n", ""},
    });
    EXPECT_TRUE(Lists(MustRun({"types"}), "Testwarden"));
}

TEST_F(CtlTypes, ModulesThatCannotRegister)
{
    const std::filesystem::path text = home() / "notes.so";
    std::ofstream(text) << "not a module\n";
    const std::string missing = (home() / "missing.so").string();
    RunSteps({
        {{"register", missing},
         2,
         "",
         "wardenctl: cannot register \"" + missing + "\": no such file\n"},
        {{"register", text.string()}, 2, "", "wardenctl: cannot load \"" + text.string() + "\": *"},
        // A shared library that is no monitor module.
        {{"register", (BuildDir() / "lib" / "libospreon_os.so").string()},
         2,
         "",
         "wardenctl: \"{build}/lib/libospreon_os.so\" has no DllRegisterServer: it is not a "
         "self-registering module\n"},
    });
}

} // namespace
} // namespace ospreon::test
