// Volumewarden: the free space of the file system holding a path, in megabytes,
// against a threshold.

#include <string>

#include <sys/statvfs.h>

#include "interfaces/guids.h"
#include "plugins/volumewarden/volumewarden_check.h"
#include "tests/plugins/checks/check_support.h"

namespace ospreon::test {
namespace {

using volumewarden::VolumewardenCheck;

TEST(VolumewardenModule, RegistersIsCreatedByProgIdAndDeclaresWhatTheRecordLacks)
{
    ExpectRegisteredModuleDeclaresOnce({
        "Volumewarden",
        CLSID_VolumewardenMonitor,
        {"get_InfoVal(Monitor_Parameter)", "put_InfoName(8,Monitor_Parameter)",
         "put_InfoVal(Monitor_Parameter,/)", "get_InfoVal(Ext_Free space threshold (Mb))",
         "put_InfoName(8,Ext_Free space threshold (Mb))",
         "put_InfoVal(Ext_Free space threshold (Mb),10)", "get_InfoVal(Monitor_Voice)",
         "put_InfoName(8,Monitor_Voice)", "put_InfoVal(Monitor_Voice,)"},
        {"Monitor_Parameter", "Ext_Free space threshold (Mb)", "Monitor_Voice"},
        [](IServiceMonitor* monitor, const std::filesystem::path& logFile) {
            auto record = FakeUser::Create("Volumewarden of probe", "Volumewarden");
            record->Set("Monitor_Parameter", "/");
            record->Set("Ext_Free space threshold (Mb)", "1");
            EXPECT_EQ(monitor->Monitor(record.get()), S_OK);
            EXPECT_EQ(ReadLogLines(logFile), LinesOf({}));
        },
    });
}

class VolumewardenTest : public CheckTest
{
protected:
    HRESULT Check(const std::string& path, const std::string& threshold)
    {
        user->Set("Monitor_Parameter", path);
        user->Set("Ext_Free space threshold (Mb)", threshold);
        return VolumewardenCheck().Monitor(user.get());
    }
};

TEST_F(VolumewardenTest, PassesAtOrAboveTheThresholdAndFailsBelowIt)
{
    const std::string path = home.path().string();
    struct statvfs fs
    {};
    ASSERT_EQ(::statvfs(path.c_str(), &fs), 0);
    const unsigned long long megabytes =
        static_cast<unsigned long long>(fs.f_bavail) * fs.f_frsize / (1024 * 1024);
    ASSERT_GT(megabytes, 1u) << "the test needs some free space";

    for (const char* threshold : {"1", "0", "-5", "none"}) {
        EXPECT_EQ(Check(path, threshold), S_OK) << threshold;
    }
    EXPECT_EQ(LogLines(), LinesOf({}));

    EXPECT_EQ(Check(path, "999999999999"), E_FAIL);
    const std::vector<std::string> lines = LogLines();
    ASSERT_EQ(lines.size(), 1u);
    // The free space may move a little between the two readings.
    const std::string head = LinesOf({"Free space of " + path + " is "})[0];
    EXPECT_TRUE(lines[0].starts_with(head)) << lines[0];
    EXPECT_TRUE(lines[0].ends_with(" Mb, expected at least 999999999999 Mb\n")) << lines[0];
}

TEST_F(VolumewardenTest, APathThatDoesNotExistFails)
{
    const std::string path = (home.path() / "no" / "such").string();
    EXPECT_EQ(Check(path, "1"), E_FAIL);
    EXPECT_EQ(LogLines(), LinesOf({"Free space of " + path +
                                   " expected at least 1 Mb, cannot be read: " + path +
                                   ": No such file or directory\n"}));
}

} // namespace
} // namespace ospreon::test
