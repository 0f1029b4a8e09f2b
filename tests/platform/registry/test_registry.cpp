// Keys, values, names, enumeration and deletion through the Win32-shaped calls,
// each test on a fresh registry.db in its own OSPREON_HOME.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/registry/registry.h"
#include "tests/platform/registry/registry_test_helpers.h"
#include "tests/support/temp_home.h"

namespace ospreon::registry::test {
namespace {

using ::testing::HasSubstr;

class RegistryTest : public ::testing::Test
{
protected:
    ospreon::test::TempHome m_home;
};

// ---------------------------------------------------------------- keys

using RegistryKeys = RegistryTest;

TEST_F(RegistryKeys, CreateMakesParentsAndReopensWhatExists)
{
    DWORD disposition = 0;
    Key tool = CreateKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Brackwater\\Tool", &disposition);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);

    Key parent = CreateKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Brackwater", &disposition);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    Key again = CreateKey(HKEY_LOCAL_MACHINE, "software\\BRACKWATER\\tool\\", &disposition);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    Key relative = CreateKey(parent.get(), "Tool", &disposition);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);

    // All of them are the same key.
    ASSERT_EQ(SetString(again.get(), "Name", "one"), ERROR_SUCCESS);
    EXPECT_EQ(ReadString(tool.get(), "Name"), "one");
    EXPECT_EQ(ReadString(relative.get(), "Name"), "one");

    // The roots are separate trees.
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "SOFTWARE\\Brackwater"));
}

TEST_F(RegistryKeys, OpenFindsExistingKeysOnly)
{
    Key tool = CreateKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tool");
    ASSERT_EQ(SetString(tool.get(), "Name", "tool"), ERROR_SUCCESS);

    Key opened;
    ASSERT_EQ(OpenKey(HKEY_LOCAL_MACHINE, "Software\\TOOL\\", opened), ERROR_SUCCESS);
    EXPECT_EQ(ReadString(opened.get(), "Name"), "tool");

    // A null or empty subkey opens the key itself again, as a handle of its own.
    for (const char* self : {static_cast<const char*>(nullptr), ""}) {
        Key same;
        ASSERT_EQ(OpenKey(tool.get(), self, same), ERROR_SUCCESS);
        EXPECT_NE(same.get(), tool.get());
        EXPECT_EQ(ReadString(same.get(), "Name"), "tool");
    }
    HKEY root = nullptr;
    ASSERT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, nullptr, 0, KEY_READ, &root), ERROR_SUCCESS);
    EXPECT_EQ(root, HKEY_LOCAL_MACHINE);

    HKEY missing = reinterpret_cast<HKEY>(&root);
    EXPECT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tool\\Nothing", 0, KEY_READ, &missing),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(missing, nullptr);
    EXPECT_THAT(RegLastErrorText(), HasSubstr("SOFTWARE\\Tool\\Nothing"));
    opened.reset(); // closing a key afterwards keeps the reason
    EXPECT_THAT(RegLastErrorText(), HasSubstr("SOFTWARE\\Tool\\Nothing"));
    EXPECT_EQ(OpenKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tool", opened), ERROR_SUCCESS);
    EXPECT_EQ(RegLastErrorText(), "");
}

TEST_F(RegistryKeys, MalformedPathsAreRejectedAndChangeNothing)
{
    // An empty key name can only come from a path built wrongly.
    const char* const paths[] = {"\\SOFTWARE", "\\", "SOFTWARE\\\\Tool", "SOFTWARE\\Tool\\\\"};
    for (const char* path : paths) {
        SCOPED_TRACE(path);
        Key key;
        EXPECT_EQ(RegCreateKeyEx(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                 key.put(), nullptr),
                  ERROR_INVALID_PARAMETER);
        EXPECT_EQ(OpenKey(HKEY_LOCAL_MACHINE, path, key), ERROR_INVALID_PARAMETER);
        EXPECT_EQ(RegDeleteKey(HKEY_LOCAL_MACHINE, path), ERROR_INVALID_PARAMETER);
        EXPECT_EQ(RegDeleteTree(HKEY_LOCAL_MACHINE, path), ERROR_INVALID_PARAMETER);
        EXPECT_FALSE(key);
    }
    EXPECT_TRUE(Subkeys(HKEY_LOCAL_MACHINE).empty());
}

TEST_F(RegistryKeys, HandlesThatAreNotOpenKeysAreRefused)
{
    HKEY closed = nullptr;
    {
        Key key = CreateKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tool");
        closed = key.get();
    }
    const HKEY currentUser = reinterpret_cast<HKEY>(std::uintptr_t{0x80000001});
    for (HKEY handle : {HKEY{nullptr}, currentUser, closed}) {
        SCOPED_TRACE(reinterpret_cast<std::uintptr_t>(handle));
        Key key;
        EXPECT_EQ(OpenKey(handle, "x", key), ERROR_INVALID_HANDLE);
        EXPECT_EQ(
            RegCreateKeyEx(handle, "x", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr),
            ERROR_INVALID_HANDLE);
        EXPECT_EQ(SetDword(handle, "v", 1), ERROR_INVALID_HANDLE);
        DWORD size = 0;
        EXPECT_EQ(RegQueryValueEx(handle, "v", nullptr, nullptr, nullptr, &size),
                  ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegCloseKey(handle), ERROR_INVALID_HANDLE);
    }
    EXPECT_EQ(RegCloseKey(HKEY_CLASSES_ROOT), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tool"));
}

TEST_F(RegistryKeys, NamesIgnoreAsciiCaseAndKeepTheirSpelling)
{
    Key server = CreateKey(HKEY_CLASSES_ROOT, "CLSID\\{AbCd}\\InprocServer32");
    DWORD disposition = 0;
    Key other = CreateKey(HKEY_CLASSES_ROOT, "clsid\\{ABCD}", &disposition);
    EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "Clsid\\{abcd}\\INPROCSERVER32"));
    EXPECT_EQ(Subkeys(HKEY_CLASSES_ROOT), std::vector<std::string>{"CLSID"});
    EXPECT_EQ(Subkeys(other.get()), std::vector<std::string>{"InprocServer32"});

    ASSERT_EQ(SetString(server.get(), "ThreadingModel", "Both"), ERROR_SUCCESS);
    ASSERT_EQ(SetString(server.get(), "THREADINGMODEL", "Apartment"), ERROR_SUCCESS);
    EXPECT_EQ(ReadString(server.get(), "threadingmodel"), "Apartment");
    ASSERT_EQ(RegDeleteValue(server.get(), "threadingMODEL"), ERROR_SUCCESS);
    std::string value;
    EXPECT_EQ(GetString(server.get(), "ThreadingModel", value), ERROR_FILE_NOT_FOUND);

    // Only ASCII letters fold: U+00DC and U+00FC stay two keys.
    for (const char* name : {"\xc3\x9c", "\xc3\xbc"}) {
        CreateKey(HKEY_CLASSES_ROOT, name, &disposition);
        EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    }
}

TEST_F(RegistryKeys, EnumerationIsCaseInsensitiveAlphabeticalOverDirectSubkeys)
{
    Key parent = CreateKey(HKEY_LOCAL_MACHINE, "Parent");
    for (const char* name : {"beta", "Alpha", "gamma\\Inner", "Delta", "alpha2", "10", "9"})
        CreateKey(parent.get(), name);
    EXPECT_EQ(Subkeys(parent.get()),
              (std::vector<std::string>{"10", "9", "Alpha", "alpha2", "beta", "Delta", "gamma"}));
    EXPECT_EQ(Subkeys(HKEY_LOCAL_MACHINE), std::vector<std::string>{"Parent"});
}

TEST_F(RegistryKeys, EnumerationBufferRules)
{
    Key parent = CreateKey(HKEY_LOCAL_MACHINE, "Parent");
    CreateKey(parent.get(), "Name5");

    struct Case
    {
        DWORD bufferSize;
        LSTATUS status;
    };
    // The size counts the terminating zero going in, and not coming out.
    for (Case c : {Case{6, ERROR_SUCCESS}, Case{64, ERROR_SUCCESS}, Case{5, ERROR_MORE_DATA},
                   Case{0, ERROR_MORE_DATA}}) {
        SCOPED_TRACE(c.bufferSize);
        char name[64];
        std::memset(name, '#', sizeof(name));
        DWORD size = c.bufferSize;
        char keyClass[8] = "junk";
        DWORD classSize = sizeof(keyClass);
        FILETIME written{0xFFFFFFFF, 0xFFFFFFFF};
        EXPECT_EQ(
            RegEnumKeyEx(parent.get(), 0, name, &size, nullptr, keyClass, &classSize, &written),
            c.status);
        EXPECT_EQ(size, 5u);
        if (c.status != ERROR_SUCCESS) {
            EXPECT_EQ(name[0], '#');
            continue;
        }
        EXPECT_STREQ(name, "Name5");
        EXPECT_EQ(classSize, 0u);
        EXPECT_STREQ(keyClass, "");
        EXPECT_EQ(written.dwLowDateTime, 0u);
        EXPECT_EQ(written.dwHighDateTime, 0u);
    }

    char name[64];
    DWORD size = sizeof(name);
    EXPECT_EQ(RegEnumKeyEx(parent.get(), 1, name, &size, nullptr, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(RegEnumKeyEx(parent.get(), 0, nullptr, &size, nullptr, nullptr, nullptr, nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegEnumKeyEx(parent.get(), 0, name, nullptr, nullptr, nullptr, nullptr, nullptr),
              ERROR_INVALID_PARAMETER);
}

// ---------------------------------------------------------------- values

using RegistryValues = RegistryTest;

std::vector<BYTE> Bytes(std::string_view text)
{
    return {text.begin(), text.end()};
}

TEST_F(RegistryValues, AnyTypeKeepsItsTypeAndBytes)
{
    struct Case
    {
        const char* name;
        DWORD type;
        std::vector<BYTE> data;
    };
    const std::vector<Case> cases = {
        {"Text", REG_SZ, Bytes(std::string_view("Ramwarden.so\0", 13))},
        {"Expand", REG_EXPAND_SZ, Bytes(std::string_view("$HOME/log\0", 10))},
        {"Unterminated", REG_SZ, Bytes("no zero")},
        {"Multi", REG_MULTI_SZ, Bytes(std::string_view("a\0bc\0\0", 6))},
        {"Dword", REG_DWORD, {0x78, 0x56, 0x34, 0x12}},
        {"Binary", REG_BINARY, {0, 1, 2, 0xFF, 0}},
        {"Empty", REG_BINARY, {}},
        {"None", REG_NONE, {}},
        {"Unknown type", 0x1234, {9, 9}},
        {"Large", REG_BINARY, std::vector<BYTE>(200'000, 0xA5)},
        {"", REG_SZ, Bytes(std::string_view("default\0", 8))},
    };
    Key key = CreateKey(HKEY_LOCAL_MACHINE, "Values");
    for (const Case& c : cases)
        ASSERT_EQ(RegSetValueEx(key.get(), c.name, 0, c.type, c.data.data(),
                                static_cast<DWORD>(c.data.size())),
                  ERROR_SUCCESS)
            << c.name << ": " << RegLastErrorText();

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DWORD type = 0;
        std::vector<BYTE> data(c.data.size() + 16, 0xEE);
        DWORD size = static_cast<DWORD>(data.size());
        ASSERT_EQ(RegQueryValueEx(key.get(), c.name, nullptr, &type, data.data(), &size),
                  ERROR_SUCCESS);
        EXPECT_EQ(type, c.type);
        ASSERT_EQ(size, c.data.size());
        data.resize(size);
        EXPECT_EQ(data, c.data);
    }
}

TEST_F(RegistryValues, DefaultValueExistsOnlyOnceSet)
{
    Key key = CreateKey(HKEY_CLASSES_ROOT, ".htm");
    DWORD size = 0;
    for (const char* name : {static_cast<const char*>(nullptr), ""}) {
        EXPECT_EQ(RegQueryValueEx(key.get(), name, nullptr, nullptr, nullptr, &size),
                  ERROR_FILE_NOT_FOUND);
        EXPECT_THAT(RegLastErrorText(), HasSubstr("default value"));
    }

    ASSERT_EQ(SetString(key.get(), nullptr, "htmlfile"), ERROR_SUCCESS);
    EXPECT_EQ(ReadString(key.get(), ""), "htmlfile");
    EXPECT_EQ(ReadString(key.get(), nullptr), "htmlfile");

    ASSERT_EQ(RegDeleteValue(key.get(), ""), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueEx(key.get(), nullptr, nullptr, nullptr, nullptr, &size),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteValue(key.get(), nullptr), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryValues, EnumerationListsNamesTypesAndData)
{
    Key key = CreateKey(HKEY_CLASSES_ROOT, "CLSID\\{1}\\InprocServer32");
    ASSERT_EQ(SetString(key.get(), "ThreadingModel", "Both"), ERROR_SUCCESS);
    ASSERT_EQ(SetDword(key.get(), "count", 7), ERROR_SUCCESS);
    ASSERT_EQ(SetString(key.get(), nullptr, "/lib/x.so"), ERROR_SUCCESS);

    struct Entry
    {
        std::string name;
        DWORD type;
        DWORD size;
    };
    std::vector<Entry> entries;
    for (DWORD i = 0;; ++i) {
        char name[64];
        DWORD nameSize = sizeof name;
        DWORD type = 0;
        DWORD size = 0;
        LSTATUS status =
            RegEnumValue(key.get(), i, name, &nameSize, nullptr, &type, nullptr, &size);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        ASSERT_EQ(status, ERROR_SUCCESS);
        EXPECT_EQ(nameSize, std::strlen(name));
        entries.push_back({name, type, size});
    }
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].name, "") << "the default value first";
    EXPECT_EQ(entries[0].size, 10u);
    EXPECT_EQ(entries[1].name, "count") << "then by name without regard to case";
    EXPECT_EQ(entries[1].type, REG_DWORD);
    EXPECT_EQ(entries[2].name, "ThreadingModel");
    EXPECT_EQ(entries[2].type, REG_SZ);

    char small[4];
    DWORD smallSize = sizeof small;
    EXPECT_EQ(RegEnumValue(key.get(), 2, small, &smallSize, nullptr, nullptr, nullptr, nullptr),
              ERROR_MORE_DATA);
    EXPECT_EQ(smallSize, 14u);
    char name[64];
    DWORD nameSize = sizeof name;
    BYTE data[2];
    DWORD dataSize = sizeof data;
    EXPECT_EQ(RegEnumValue(key.get(), 2, name, &nameSize, nullptr, nullptr, data, &dataSize),
              ERROR_MORE_DATA);
    EXPECT_EQ(dataSize, 5u) << "the size the data needs";
}

TEST_F(RegistryValues, QueryFollowsTheWin32BufferRules)
{
    Key key = CreateKey(HKEY_CLASSES_ROOT, "CLSID\\{1}\\InprocServer32");
    const std::string path = "/usr/lib/ospreon/Ramwarden.so"; // 29 characters
    const DWORD stored = static_cast<DWORD>(path.size() + 1);
    ASSERT_EQ(SetString(key.get(), nullptr, path), ERROR_SUCCESS);

    DWORD type = 0;
    DWORD size = 0;
    ASSERT_EQ(RegQueryValueEx(key.get(), nullptr, nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(size, stored);
    type = 0;
    EXPECT_EQ(RegQueryValueEx(key.get(), nullptr, nullptr, &type, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_SZ);

    struct Case
    {
        DWORD bufferSize;
        LSTATUS status;
    };
    for (Case c : {Case{stored, ERROR_SUCCESS}, Case{100, ERROR_SUCCESS},
                   Case{stored - 1, ERROR_MORE_DATA}, Case{0, ERROR_MORE_DATA}}) {
        SCOPED_TRACE(c.bufferSize);
        std::vector<BYTE> buffer(100, '#');
        size = c.bufferSize;
        type = 0;
        EXPECT_EQ(RegQueryValueEx(key.get(), nullptr, nullptr, &type, buffer.data(), &size),
                  c.status);
        EXPECT_EQ(size, stored);
        EXPECT_EQ(type, REG_SZ);
        if (c.status == ERROR_SUCCESS)
            EXPECT_STREQ(reinterpret_cast<const char*>(buffer.data()), path.c_str());
        else
            EXPECT_EQ(buffer[0], '#');
    }

    BYTE buffer[8];
    DWORD reserved = 0;
    EXPECT_EQ(RegQueryValueEx(key.get(), nullptr, nullptr, &type, buffer, nullptr),
              ERROR_INVALID_PARAMETER);
    size = sizeof(buffer);
    EXPECT_EQ(RegQueryValueEx(key.get(), nullptr, &reserved, &type, buffer, &size),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegQueryValueEx(key.get(), "ThreadingModel", nullptr, &type, buffer, &size),
              ERROR_FILE_NOT_FOUND);
    EXPECT_THAT(RegLastErrorText(), HasSubstr("ThreadingModel"));
}

TEST_F(RegistryValues, SetRejectsBadSizes)
{
    Key key = CreateKey(HKEY_LOCAL_MACHINE, "Values");
    const BYTE eight[8] = {};
    EXPECT_EQ(RegSetValueEx(key.get(), "d", 0, REG_DWORD, eight, 3), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegSetValueEx(key.get(), "d", 0, REG_DWORD, eight, 8), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegSetValueEx(key.get(), "b", 0, REG_BINARY, nullptr, 4), ERROR_INVALID_PARAMETER);
    DWORD size = 0;
    for (const char* name : {"d", "b"})
        EXPECT_EQ(RegQueryValueEx(key.get(), name, nullptr, nullptr, nullptr, &size),
                  ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryValues, StringAndDwordHelpers)
{
    Key key = CreateKey(HKEY_LOCAL_MACHINE, "Values");
    const std::string longText(5000, 'x'); // more than GetString's first buffer
    for (const std::string& text : {std::string(), std::string("Both"), longText}) {
        ASSERT_EQ(SetString(key.get(), "Text", text), ERROR_SUCCESS);
        EXPECT_EQ(ReadString(key.get(), "Text"), text);
        DWORD size = 0;
        ASSERT_EQ(RegQueryValueEx(key.get(), "Text", nullptr, nullptr, nullptr, &size),
                  ERROR_SUCCESS);
        EXPECT_EQ(size, text.size() + 1) << "written with its terminating zero";
    }

    struct Raw
    {
        DWORD type;
        std::string_view data;
        const char* text;
    };
    for (Raw raw : {Raw{REG_EXPAND_SZ, std::string_view("$HOME\0", 6), "$HOME"},
                    Raw{REG_SZ, "unterminated", "unterminated"},
                    Raw{REG_SZ, std::string_view("two\0\0", 5), "two"}}) {
        ASSERT_EQ(RegSetValueEx(key.get(), "Raw", 0, raw.type,
                                reinterpret_cast<const BYTE*>(raw.data.data()),
                                static_cast<DWORD>(raw.data.size())),
                  ERROR_SUCCESS);
        EXPECT_EQ(ReadString(key.get(), "Raw"), raw.text);
    }

    ASSERT_EQ(SetDword(key.get(), "Count", 0xFFFFFFFFu), ERROR_SUCCESS);
    DWORD count = 0;
    ASSERT_EQ(GetDword(key.get(), "Count", count), ERROR_SUCCESS);
    EXPECT_EQ(count, 0xFFFFFFFFu);

    // A value of another type is refused and the output left alone.
    std::string text = "unchanged";
    EXPECT_EQ(GetString(key.get(), "Count", text), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(text, "unchanged");
    const BYTE four[4] = {1, 0, 0, 0};
    ASSERT_EQ(RegSetValueEx(key.get(), "Binary", 0, REG_BINARY, four, 4), ERROR_SUCCESS);
    count = 7;
    EXPECT_EQ(GetDword(key.get(), "Binary", count), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(GetDword(key.get(), "Text", count), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(count, 7u);
    EXPECT_EQ(GetDword(key.get(), "Missing", count), ERROR_FILE_NOT_FOUND);

    // Setting a value again replaces its type too.
    ASSERT_EQ(SetString(key.get(), "Count", "now text"), ERROR_SUCCESS);
    EXPECT_EQ(ReadString(key.get(), "Count"), "now text");
}

// ---------------------------------------------------------------- deletion

using RegistryDelete = RegistryTest;

TEST_F(RegistryDelete, DeleteKeyRefusesRootsAndKeysWithSubkeys)
{
    Key child = CreateKey(HKEY_LOCAL_MACHINE, "Parent\\Child");
    ASSERT_EQ(SetString(child.get(), "Name", "child"), ERROR_SUCCESS);

    EXPECT_EQ(RegDeleteKey(HKEY_LOCAL_MACHINE, "Parent"), ERROR_ACCESS_DENIED);
    EXPECT_THAT(RegLastErrorText(), HasSubstr("subkeys"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "Parent\\Child"));
    EXPECT_EQ(RegDeleteKey(HKEY_LOCAL_MACHINE, ""), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKey(HKEY_CLASSES_ROOT, ""), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKey(HKEY_LOCAL_MACHINE, nullptr), ERROR_INVALID_PARAMETER);

    ASSERT_EQ(RegDeleteKey(HKEY_LOCAL_MACHINE, "parent\\CHILD"), ERROR_SUCCESS);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "Parent\\Child"));
    EXPECT_EQ(RegDeleteKey(HKEY_LOCAL_MACHINE, "Parent\\Child"), ERROR_FILE_NOT_FOUND);

    // Its values went with it: a key of the same name starts empty.
    DWORD disposition = 0;
    Key again = CreateKey(HKEY_LOCAL_MACHINE, "Parent\\Child", &disposition);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
    std::string value;
    EXPECT_EQ(GetString(again.get(), "Name", value), ERROR_FILE_NOT_FOUND);

    // An empty subkey deletes the key the handle stands for.
    ASSERT_EQ(RegDeleteKey(again.get(), ""), ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteKey(HKEY_LOCAL_MACHINE, "Parent"), ERROR_SUCCESS);
    EXPECT_TRUE(Subkeys(HKEY_LOCAL_MACHINE).empty());
}

class RegistryDeleteTree : public RegistryTest
{
protected:
    void SetUp() override
    {
        // Top\Doomed is the tree to remove; the other keys look like it.
        for (const char* path : {"Top\\Doomed\\Child\\Grandchild", "Top\\Doomed\\Child2",
                                 "Top\\DoomedSibling", "Top\\Kept", "Other\\Doomed\\Child"})
            CreateKey(HKEY_LOCAL_MACHINE, path);
        CreateKey(HKEY_CLASSES_ROOT, "Top\\Doomed\\Child");
        for (const char* path : {"Top", "Top\\Doomed", "Top\\Doomed\\Child\\Grandchild",
                                 "Top\\DoomedSibling", "Other\\Doomed\\Child"}) {
            Key key = CreateKey(HKEY_LOCAL_MACHINE, path);
            ASSERT_EQ(SetString(key.get(), "Path", path), ERROR_SUCCESS);
        }
        m_top = CreateKey(HKEY_LOCAL_MACHINE, "Top");
    }

    std::string ValueRows()
    {
        return RawDatabase(m_home.path() / "registry.db").Scalar("SELECT count(*) FROM key_values");
    }

    Key m_top;
};

TEST_F(RegistryDeleteTree, RemovesExactlyTheSubtree)
{
    ASSERT_EQ(RegDeleteTree(m_top.get(), "doomed"), ERROR_SUCCESS) << RegLastErrorText();

    EXPECT_EQ(Subkeys(m_top.get()), (std::vector<std::string>{"DoomedSibling", "Kept"}));
    EXPECT_EQ(ReadString(m_top.get(), "Path"), "Top");
    Key sibling;
    ASSERT_EQ(OpenKey(HKEY_LOCAL_MACHINE, "Top\\DoomedSibling", sibling), ERROR_SUCCESS);
    EXPECT_EQ(ReadString(sibling.get(), "Path"), "Top\\DoomedSibling");
    Key elsewhere;
    ASSERT_EQ(OpenKey(HKEY_LOCAL_MACHINE, "Other\\Doomed\\Child", elsewhere), ERROR_SUCCESS);
    EXPECT_EQ(ReadString(elsewhere.get(), "Path"), "Other\\Doomed\\Child");
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "Top\\Doomed\\Child"));

    // No value rows are left behind for the removed keys.
    EXPECT_EQ(ValueRows(), "3");
    DWORD disposition = 0;
    Key recreated = CreateKey(HKEY_LOCAL_MACHINE, "Top\\Doomed\\Child\\Grandchild", &disposition);
    EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);

    EXPECT_EQ(RegDeleteTree(m_top.get(), "Missing"), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryDeleteTree, WithoutSubkeyEmptiesTheKeyAndKeepsIt)
{
    for (const char* self : {static_cast<const char*>(nullptr), ""}) {
        ASSERT_EQ(RegDeleteTree(m_top.get(), self), ERROR_SUCCESS) << RegLastErrorText();
        EXPECT_TRUE(Subkeys(m_top.get()).empty());
        std::string value;
        EXPECT_EQ(GetString(m_top.get(), "Path", value), ERROR_FILE_NOT_FOUND);
        // The handle still works.
        ASSERT_EQ(SetString(m_top.get(), "Path", "again"), ERROR_SUCCESS);
    }
    EXPECT_EQ(ValueRows(), "2"); // Other\Doomed\Child and the one just set
    EXPECT_EQ(Subkeys(HKEY_LOCAL_MACHINE), (std::vector<std::string>{"Other", "Top"}));
}

TEST_F(RegistryDelete, HandleToAKeyDeletedElsewhereReportsKeyDeleted)
{
    const std::vector<std::pair<const char*, std::function<LSTATUS()>>> deletions = {
        {"RegDeleteKey from the parent",
         [] { return RegDeleteKey(HKEY_LOCAL_MACHINE, "Parent\\Victim"); }},
        {"RegDeleteKey through another handle",
         [] {
             Key other;
             LSTATUS opened = OpenKey(HKEY_LOCAL_MACHINE, "Parent\\Victim", other);
             return opened != ERROR_SUCCESS ? opened : RegDeleteKey(other.get(), "");
         }},
        {"RegDeleteTree of an ancestor",
         [] { return RegDeleteTree(HKEY_LOCAL_MACHINE, "Parent"); }},
    };
    for (const auto& [how, remove] : deletions) {
        SCOPED_TRACE(how);
        Key victim = CreateKey(HKEY_LOCAL_MACHINE, "Parent\\Victim");
        ASSERT_EQ(SetDword(victim.get(), "Value", 1), ERROR_SUCCESS);
        ASSERT_EQ(remove(), ERROR_SUCCESS) << RegLastErrorText();
        // A new key of the same name is another key.
        CreateKey(HKEY_LOCAL_MACHINE, "Parent\\Victim");

        HKEY key = victim.get();
        DWORD value = 0;
        EXPECT_EQ(GetDword(key, "Value", value), ERROR_KEY_DELETED);
        EXPECT_THAT(RegLastErrorText(), HasSubstr("Parent\\Victim"));
        EXPECT_EQ(SetDword(key, "Value", 2), ERROR_KEY_DELETED);
        EXPECT_EQ(RegDeleteValue(key, "Value"), ERROR_KEY_DELETED);
        char name[16];
        DWORD size = sizeof(name);
        EXPECT_EQ(RegEnumKeyEx(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr),
                  ERROR_KEY_DELETED);
        Key sub;
        EXPECT_EQ(OpenKey(key, "", sub), ERROR_KEY_DELETED);
        EXPECT_EQ(OpenKey(key, "Sub", sub), ERROR_KEY_DELETED);
        EXPECT_EQ(
            RegCreateKeyEx(key, "Sub", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, sub.put(), nullptr),
            ERROR_KEY_DELETED);
        EXPECT_EQ(RegDeleteKey(key, ""), ERROR_KEY_DELETED);
        EXPECT_EQ(RegDeleteTree(key, nullptr), ERROR_KEY_DELETED);
        EXPECT_EQ(RegCloseKey(victim.release()), ERROR_SUCCESS);

        ASSERT_EQ(RegDeleteTree(HKEY_LOCAL_MACHINE, "Parent"), ERROR_SUCCESS);
    }
}

} // namespace
} // namespace ospreon::registry::test
