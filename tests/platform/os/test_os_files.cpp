// Whole-file reads, atomic replacement and shared libraries.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include "platform/os/file_io.h"
#include "platform/os/shared_library.h"
#include "tests/support/temp_home.h"

namespace ospreon::os {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

unsigned Mode(const fs::path& path)
{
    struct stat info
    {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info.st_mode & 0777;
}

TEST(WholeFile, ReadsUpToItsLimitAndRefusesWhatIsNotARegularFile)
{
    test::TempDir dir;
    const fs::path file = dir.path() / "text";
    std::ofstream(file, std::ios::binary) << std::string("a\0b", 3);
    Result<std::string> read = ReadWholeFile(file, 3);
    ASSERT_TRUE(read) << read.error().message;
    EXPECT_EQ(*read, std::string("a\0b", 3));

    const struct
    {
        fs::path path;
        std::size_t limit;
        int code;
    } failures[] = {
        {file, 2, EFBIG},
        {dir.path(), 100, EISDIR},
        {dir.path() / "missing", 100, ENOENT},
    };
    for (const auto& failure : failures) {
        Result<std::string> refused = ReadWholeFile(failure.path, failure.limit);
        ASSERT_FALSE(refused) << failure.path;
        EXPECT_EQ(refused.error().code, failure.code) << failure.path;
        EXPECT_THAT(refused.error().message, HasSubstr(failure.path.string()));
    }
}

TEST(WholeFile, ReplacementIsWholeWithItsModeAndLeavesNothingBehindOnFailure)
{
    test::TempDir dir;
    const fs::path file = dir.path() / "target";
    std::ofstream(file) << "old";
    ASSERT_TRUE(ReplaceFileAtomically(file, "new content", 0700));
    EXPECT_EQ(*ReadWholeFile(file, 100), "new content");
    EXPECT_EQ(Mode(file), 0700u);
    ASSERT_TRUE(ReplaceFileAtomically(file, ""));
    EXPECT_EQ(Mode(file), 0600u);
    EXPECT_EQ(*ReadWholeFile(file, 100), "");

    Result<void> noFolder = ReplaceFileAtomically(dir.path() / "none" / "file", "x");
    ASSERT_FALSE(noFolder);
    EXPECT_EQ(noFolder.error().code, ENOENT);
    // A folder in the target's place cannot be replaced by a file; the temporary
    // file written for it is removed.
    fs::create_directory(dir.path() / "folder");
    Result<void> overFolder = ReplaceFileAtomically(dir.path() / "folder", "x");
    ASSERT_FALSE(overFolder);
    EXPECT_EQ(overFolder.error().code, EISDIR);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2)
        << "a temporary file was left";
}

TEST(SharedLibraryLoad, KeepsTheLoadersTextAndFindsExports)
{
    test::TempDir dir;
    const fs::path notALibrary = dir.path() / "fake.so";
    std::ofstream(notALibrary) << "not an ELF file";
    for (const fs::path& path : {dir.path() / "missing.so", notALibrary}) {
        Result<SharedLibrary> library = SharedLibrary::Open(path.string());
        ASSERT_FALSE(library) << path;
        EXPECT_THAT(library.error().message, HasSubstr(path.string()));
    }

    Result<SharedLibrary> libc = SharedLibrary::Open("libc.so.6");
    ASSERT_TRUE(libc) << libc.error().message;
    using StrlenFn = std::size_t (*)(const char*);
    StrlenFn length = libc->FunctionNamed<StrlenFn>("strlen");
    ASSERT_NE(length, nullptr);
    EXPECT_EQ(length("four"), 4u);
    EXPECT_EQ(libc->Symbol("no_such_export_anywhere"), nullptr);
}

} // namespace
} // namespace ospreon::os
