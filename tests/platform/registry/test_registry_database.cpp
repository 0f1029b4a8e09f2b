// The file behind the calls: how it is created, what callers see when it is
// unusable, replaced or another home is chosen, and writers in several threads
// and processes at once.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "platform/registry/registry.h"
#include "tests/platform/registry/registry_test_helpers.h"
#include "tests/support/temp_home.h"

namespace ospreon::registry::test {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

class RegistryDatabase : public ::testing::Test
{
protected:
    fs::path Database() const { return m_home.path() / "registry.db"; }

    ospreon::test::TempHome m_home;
};

TEST_F(RegistryDatabase, ItsSchemaHoldsTheTwoRootsAndOlderFilesAreAdopted)
{
    CreateKey(HKEY_LOCAL_MACHINE, "SOFTWARE");
    RawDatabase raw(Database());
    EXPECT_EQ(raw.Scalar("SELECT group_concat(name, ',') FROM keys WHERE parent IS NULL"),
              "HKEY_CLASSES_ROOT,HKEY_LOCAL_MACHINE");
    EXPECT_EQ(raw.Scalar("PRAGMA user_version"), "1");
    EXPECT_EQ(raw.Scalar("PRAGMA application_id"), std::to_string(0x4F535247));

    // Registries written before they were marked carry only their version; they
    // stay usable, with their keys.
    raw.Exec("PRAGMA application_id = 0");
    {
        ospreon::test::TempHome other; // so that the registry opens this file again
        CreateKey(HKEY_LOCAL_MACHINE, "Elsewhere");
    }
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE")) << RegLastErrorText();
    EXPECT_EQ(raw.Scalar("PRAGMA application_id"), std::to_string(0x4F535247));
}

TEST_F(RegistryDatabase, HandlesBelongToTheHomeTheyWereOpenedIn)
{
    Key first = CreateKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\First");
    ASSERT_EQ(SetString(first.get(), "Name", "first"), ERROR_SUCCESS);
    {
        ospreon::test::TempHome second;
        std::string value;
        EXPECT_EQ(GetString(first.get(), "Name", value), ERROR_INVALID_HANDLE);
        EXPECT_THAT(RegLastErrorText(), HasSubstr(second.path().string()));
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\First"));
        CreateKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Second");
        EXPECT_TRUE(fs::exists(second.path() / "registry.db"));
    }
    EXPECT_EQ(ReadString(first.get(), "Name"), "first");
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Second"));
}

TEST_F(RegistryDatabase, RemovedFileIsReplacedByANewOne)
{
    Key key = CreateKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Old");
    for (const char* suffix : {"", "-wal", "-shm"})
        fs::remove(Database().string() + suffix);

    DWORD value = 0;
    EXPECT_EQ(GetDword(key.get(), "Value", value), ERROR_KEY_DELETED);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Old"));
    CreateKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\New");
    // Written to the file now at the path, not to the one unlinked.
    EXPECT_EQ(RawDatabase(Database()).Scalar("SELECT count(*) FROM keys WHERE name = 'new'"), "1");
}

// ---------------------------------------------------------------- unusable files

struct Unusable
{
    const char* name;
    std::function<void(const fs::path& database)> make;
    LSTATUS status;
    const char* reason; // part of the error text besides the file name
};

void PrintTo(const Unusable& unusable, std::ostream* out)
{
    *out << unusable.name;
}

class RegistryUnusable : public RegistryDatabase, public ::testing::WithParamInterface<Unusable>
{};

// What a file looks like from outside, to show it was left alone.
std::string Snapshot(const fs::path& path)
{
    if (fs::is_directory(path))
        return "<folder>";
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST_P(RegistryUnusable, EveryCallFailsWithTheReasonAndTheFileStays)
{
    GetParam().make(Database());
    const std::string before = Snapshot(Database());

    const std::vector<std::pair<const char*, std::function<LSTATUS()>>> calls = {
        {"RegCreateKeyEx",
         [] {
             Key key;
             return RegCreateKeyEx(HKEY_LOCAL_MACHINE, "A", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                   key.put(), nullptr);
         }},
        {"RegOpenKeyEx",
         [] {
             Key key;
             return OpenKey(HKEY_CLASSES_ROOT, "A", key);
         }},
        {"RegSetValueEx", [] { return SetDword(HKEY_LOCAL_MACHINE, "Value", 1); }},
        {"RegQueryValueEx",
         [] {
             DWORD size = 0;
             return RegQueryValueEx(HKEY_LOCAL_MACHINE, "Value", nullptr, nullptr, nullptr, &size);
         }},
        {"RegDeleteValue", [] { return RegDeleteValue(HKEY_LOCAL_MACHINE, "Value"); }},
        {"RegEnumKeyEx",
         [] {
             char name[64];
             DWORD size = sizeof(name);
             return RegEnumKeyEx(HKEY_LOCAL_MACHINE, 0, name, &size, nullptr, nullptr, nullptr,
                                 nullptr);
         }},
        {"RegDeleteKey", [] { return RegDeleteKey(HKEY_LOCAL_MACHINE, "A"); }},
        {"RegDeleteTree", [] { return RegDeleteTree(HKEY_LOCAL_MACHINE, "A"); }},
    };
    for (const auto& [name, call] : calls) {
        SCOPED_TRACE(name);
        EXPECT_EQ(call(), GetParam().status);
        const std::string text = RegLastErrorText();
        EXPECT_THAT(text, HasSubstr(name));
        EXPECT_THAT(text, HasSubstr(Database().string()));
        EXPECT_THAT(text, HasSubstr(GetParam().reason));
    }
    EXPECT_EQ(Snapshot(Database()), before);

    // Once the file is out of the way the registry works again, without a restart.
    fs::remove_all(Database());
    for (const char* suffix : {"-wal", "-shm"})
        fs::remove(Database().string() + suffix);
    Key key = CreateKey(HKEY_LOCAL_MACHINE, "A");
    EXPECT_TRUE(key);
}

INSTANTIATE_TEST_SUITE_P(
    Files, RegistryUnusable,
    ::testing::Values(Unusable{"Garbage",
                               [](const fs::path& database) {
                                   std::ofstream out(database, std::ios::binary);
                                   for (int i = 0; i < 500; ++i)
                                       out << "this is not a database\n";
                               },
                               ERROR_BADDB, "file is not a database"},
                      Unusable{"Folder",
                               [](const fs::path& database) { fs::create_directory(database); },
                               ERROR_CANTOPEN, "unable to open database file"},
                      Unusable{"NewerSchema",
                               [](const fs::path& database) {
                                   RawDatabase(database).Exec(
                                       "CREATE TABLE keys(id); PRAGMA user_version = 2");
                               },
                               ERROR_BADDB, "newer"},
                      Unusable{"OtherProgramsDatabase",
                               [](const fs::path& database) {
                                   RawDatabase(database).Exec("CREATE TABLE notes(text)");
                               },
                               ERROR_BADDB, "something else"},
                      Unusable{"RegistryMissingATable",
                               [](const fs::path& database) {
                                   CreateKey(HKEY_LOCAL_MACHINE, "Existing");
                                   RawDatabase(database).Exec("DROP TABLE keys");
                               },
                               ERROR_BADDB, "no such table"}),
    [](const ::testing::TestParamInfo<Unusable>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- concurrent writers

constexpr int kKeysEach = 200;

std::string OwnKey(int writer, int index)
{
    return "Load\\Writer" + std::to_string(writer) + "\\Key" + std::to_string(index);
}

std::string SharedKey(int writer, int index)
{
    return "Load\\Shared\\W" + std::to_string(writer) + "-" + std::to_string(index);
}

// One writer's keys, each change its own transaction so that writers interleave.
// Returns whether every call succeeded; reports the first failure on stderr.
bool WriteKeys(int writer)
{
    for (int index = 0; index < kKeysEach; ++index) {
        const std::string own = OwnKey(writer, index);
        const std::string shared = SharedKey(writer, index);
        Key ownKey;
        Key sharedKey;
        LSTATUS status = RegCreateKeyEx(HKEY_LOCAL_MACHINE, own.c_str(), 0, nullptr, 0,
                                        KEY_ALL_ACCESS, nullptr, ownKey.put(), nullptr);
        if (status == ERROR_SUCCESS)
            status = SetString(ownKey.get(), "Owner", own);
        if (status == ERROR_SUCCESS)
            status = SetDword(ownKey.get(), "Index", static_cast<DWORD>(index));
        if (status == ERROR_SUCCESS)
            status = RegCreateKeyEx(HKEY_LOCAL_MACHINE, shared.c_str(), 0, nullptr, 0,
                                    KEY_ALL_ACCESS, nullptr, sharedKey.put(), nullptr);
        if (status == ERROR_SUCCESS)
            status = SetString(sharedKey.get(), nullptr, shared);
        if (status != ERROR_SUCCESS) {
            std::fprintf(stderr, "writer %d, key %d: error %d: %s\n", writer, index,
                         static_cast<int>(status), RegLastErrorText().c_str());
            return false;
        }
    }
    return true;
}

void ExpectAllKeys(int writers)
{
    Key shared;
    ASSERT_EQ(OpenKey(HKEY_LOCAL_MACHINE, "Load\\Shared", shared), ERROR_SUCCESS);
    EXPECT_EQ(Subkeys(shared.get()).size(), static_cast<std::size_t>(writers * kKeysEach));
    int missing = 0;
    for (int writer = 0; writer < writers; ++writer) {
        for (int index = 0; index < kKeysEach; ++index) {
            const std::string own = OwnKey(writer, index);
            const std::string sharedPath = SharedKey(writer, index);
            Key ownKey;
            Key sharedKey;
            std::string owner;
            std::string sharedValue;
            DWORD value = 0;
            bool complete =
                OpenKey(HKEY_LOCAL_MACHINE, own.c_str(), ownKey) == ERROR_SUCCESS &&
                GetString(ownKey.get(), "Owner", owner) == ERROR_SUCCESS &&
                GetDword(ownKey.get(), "Index", value) == ERROR_SUCCESS &&
                OpenKey(HKEY_LOCAL_MACHINE, sharedPath.c_str(), sharedKey) == ERROR_SUCCESS &&
                GetString(sharedKey.get(), nullptr, sharedValue) == ERROR_SUCCESS && owner == own &&
                value == static_cast<DWORD>(index) && sharedValue == sharedPath;
            if (!complete && ++missing <= 5)
                ADD_FAILURE() << "lost or wrong: " << own << " / " << sharedPath << ": "
                              << RegLastErrorText();
        }
    }
    EXPECT_EQ(missing, 0);
}

// Runs `work` in a child process; the child leaves with _exit, so nothing of the
// test program's own teardown runs twice.
pid_t Fork(const std::function<bool()>& work)
{
    pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(work() ? 0 : 1);
    return pid;
}

void ExpectExitedCleanly(pid_t pid)
{
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
}

// Whether the parent has its connection open when the children start: they
// must then leave it alone and open their own.
class RegistryProcesses : public RegistryDatabase, public ::testing::WithParamInterface<bool>
{};

TEST_P(RegistryProcesses, WritingAtOnceLoseNothing)
{
    constexpr int kWriters = 3;
    Key parentHandle;
    if (GetParam())
        parentHandle = CreateKey(HKEY_LOCAL_MACHINE, "Load\\Shared");

    // The children start together once the parent closes the pipe.
    int start[2];
    ASSERT_EQ(::pipe(start), 0);
    std::vector<pid_t> children;
    for (int writer = 0; writer < kWriters; ++writer) {
        pid_t pid = Fork([&start, writer] {
            ::close(start[1]);
            char byte;
            (void)::read(start[0], &byte, 1);
            return WriteKeys(writer);
        });
        if (pid < 0)
            break;
        children.push_back(pid);
    }
    ::close(start[0]);
    ::close(start[1]);
    EXPECT_EQ(children.size(), std::size_t{kWriters}) << "fork failed";
    for (pid_t pid : children)
        ExpectExitedCleanly(pid);

    ExpectAllKeys(kWriters);
    if (parentHandle) {
        EXPECT_EQ(Subkeys(parentHandle.get()).size(), std::size_t{kWriters * kKeysEach});
    }
}

INSTANTIATE_TEST_SUITE_P(Start, RegistryProcesses, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "ParentConnectionOpen" : "FreshDatabase";
                         });

TEST_F(RegistryDatabase, KeyDeletedByAnotherProcess)
{
    Key victim = CreateKey(HKEY_LOCAL_MACHINE, "Victim\\Inner");
    ASSERT_EQ(SetDword(victim.get(), "Value", 1), ERROR_SUCCESS);
    ExpectExitedCleanly(
        Fork([] { return RegDeleteTree(HKEY_LOCAL_MACHINE, "Victim") == ERROR_SUCCESS; }));
    DWORD value = 0;
    EXPECT_EQ(GetDword(victim.get(), "Value", value), ERROR_KEY_DELETED);
}

TEST_F(RegistryDatabase, ThreadsWritingAtOnceLoseNothing)
{
    constexpr int kWriters = 4;
    std::atomic<int> failed{0};
    std::vector<std::thread> threads;
    for (int writer = 0; writer < kWriters; ++writer)
        threads.emplace_back([&failed, writer] {
            if (!WriteKeys(writer))
                ++failed;
        });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(failed, 0);
    ExpectAllKeys(kWriters);
}

} // namespace
} // namespace ospreon::registry::test
