// The bundled monitor types as `wardenctl setup` installs them from the build:
// registered once, left removed when the user removed one, and their checks run
// through `wardenctl test`.

#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "tests/service/ctl/ctl_fixture.h"
#include "tests/support/http_stub.h"

namespace ospreon::test {
namespace {

using CtlBundled = ServiceHomeTest;

constexpr const char* kBundledTypes[] = {"Ramwarden", "Loadwarden", "Daemonwarden", "Pagewarden",
                                         "Volumewarden"};

bool Lists(const std::string& lines, const std::string& type)
{
    return ("\n" + lines).find("\n" + type + "\n") != std::string::npos;
}

std::string ReadText(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST_F(CtlBundled, SetupRegistersTheBundledTypesAndLeavesARemovedOneRemoved)
{
    const std::string types = MustRun({"types"});
    for (const char* type : kBundledTypes)
        EXPECT_TRUE(Lists(types, type)) << type << " in\n" << types;

    const std::string module = (home() / "plugins" / "Pagewarden.so").string();
    RunSteps({{{"unregister", "Pagewarden"}, 0, "unregistered Pagewarden (" + module + ")\n", ""}});
    const std::string again = MustRun({"setup"});
    EXPECT_NE(again.find("plug-in Pagewarden.so: removed by the user, left unregistered\n"),
              std::string::npos)
        << again;
    EXPECT_NE(again.find("plug-in Volumewarden.so: registered"), std::string::npos) << again;
    EXPECT_FALSE(Lists(MustRun({"types"}), "Pagewarden"));

    RunSteps({{{"register", module}, 0, "registered " + module + "\n", ""}});
    EXPECT_TRUE(Lists(MustRun({"types"}), "Pagewarden"));
    const std::string third = MustRun({"setup"});
    EXPECT_NE(third.find("plug-in Pagewarden.so: registered " + module + "\n"), std::string::npos)
        << third;
    EXPECT_TRUE(Lists(MustRun({"types"}), "Pagewarden"));
}

TEST_F(CtlBundled, PagewardenPassesAndFailsForTheRightReasons)
{
    HttpStub server;
    const std::string page = "<html>abc</html>";
    const std::string url = server.BaseUrl() + "/status";
    const std::string log = (home() / "log" / "page.log").string();
    MustRun({"add", "Pagewarden", "site"});
    const std::string name = "Pagewarden of site";
    MustRun({"set", name, "Monitor_Parameter", url});
    MustRun({"set", name, "Monitor_LogFile", log});
    MustRun({"set", name, "Monitor_Timeout (s)", "5"});

    struct Case
    {
        int status;
        std::string flag;
        bool ok;
        std::string line; // the end of the log line written; empty: none
    };
    const Case cases[] = {
        {200, "SIZE:16", true, ""},
        {200, "SIZE:15", false, "Page " + url + " size is 16 bytes, expected 15 bytes\n"},
        {200, "SUM:1459", true, ""},
        {200, "SUM:1460", false, "Page " + url + " byte sum is 1459, expected 1460\n"},
        {200, "STR:abc", true, ""},
        {200, "STR:xyz", false, "Page " + url + " does not contain \"xyz\" (16 bytes read)\n"},
        {500, "STR:", false,
         "Page " + url + " answered with HTTP status 500, expected a status below 400\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.flag + " on " + std::to_string(c.status));
        server.SetResponse(HttpResponse{c.status, page, {}});
        std::filesystem::remove(log);
        MustRun({"set", name, "MonitorExt_SuccessFlag", c.flag});
        RunSteps({{{"test", name}, c.ok ? 0 : 1, c.ok ? "Ok\n" : "Error\n", ""}});
        const std::string written = ReadText(log);
        if (c.line.empty())
            EXPECT_EQ(written, "");
        else
            EXPECT_TRUE(written.ends_with("   " + c.line + "\r\n")) << written;
    }
}

TEST_F(CtlBundled, VolumewardenPassesAndFailsForTheRightReasons)
{
    const std::string log = (home() / "log" / "disk.log").string();
    const std::string missing = (home() / "no such folder").string();
    MustRun({"add", "Volumewarden", "disk"});
    const std::string name = "Volumewarden of disk";
    MustRun({"set", name, "Monitor_LogFile", log});
    struct Case
    {
        std::string path;
        std::string threshold;
        bool ok;
        std::string line;
    };
    const Case cases[] = {
        {home().string(), "1", true, ""},
        {home().string(), "99999999999", false, "Mb, expected at least 99999999999 Mb\n"},
        {missing, "1", false,
         "Free space of " + missing + " expected at least 1 Mb, cannot be read: " + missing +
             ": No such file or directory\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path + " " + c.threshold);
        std::filesystem::remove(log);
        MustRun({"set", name, "Monitor_Parameter", c.path});
        MustRun({"set", name, "Ext_Free space threshold (Mb)", c.threshold});
        RunSteps({{{"test", name}, c.ok ? 0 : 1, c.ok ? "Ok\n" : "Error\n", ""}});
        const std::string written = ReadText(log);
        if (c.line.empty())
            EXPECT_EQ(written, "");
        else
            EXPECT_TRUE(written.ends_with(c.line + "\r\n")) << written;
    }
}

} // namespace
} // namespace ospreon::test
