#pragma once
// Small helpers shared by the registry suites: opening keys with a readable
// failure, listing subkeys, and reading strings.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/registry/registry.h"
#include "tests/support/raw_database.h"

namespace ospreon::registry::test {

inline Key CreateKey(HKEY parent, const char* path, DWORD* disposition = nullptr)
{
    Key key;
    LSTATUS status = RegCreateKeyEx(parent, path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                    KEY_ALL_ACCESS, nullptr, key.put(), disposition);
    EXPECT_EQ(status, ERROR_SUCCESS) << path << ": " << RegLastErrorText();
    return key;
}

inline LSTATUS OpenKey(HKEY parent, const char* path, Key& key)
{
    return RegOpenKeyEx(parent, path, 0, KEY_READ, key.put());
}

inline bool KeyExists(HKEY parent, const char* path)
{
    Key key;
    return OpenKey(parent, path, key) == ERROR_SUCCESS;
}

// Every subkey name of `key`, in enumeration order.
inline std::vector<std::string> Subkeys(HKEY key)
{
    std::vector<std::string> names;
    for (DWORD index = 0;; ++index) {
        char name[256];
        DWORD size = sizeof(name);
        LSTATUS status = RegEnumKeyEx(key, index, name, &size, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS)
            return names;
        EXPECT_EQ(status, ERROR_SUCCESS) << RegLastErrorText();
        if (status != ERROR_SUCCESS)
            return names;
        names.emplace_back(name, size);
    }
}

inline std::string ReadString(HKEY key, const char* valueName)
{
    std::string value;
    LSTATUS status = GetString(key, valueName, value);
    EXPECT_EQ(status, ERROR_SUCCESS) << RegLastErrorText();
    return value;
}

using ospreon::test::RawDatabase;

} // namespace ospreon::registry::test
