#pragma once
// Helpers shared by the Alertlib suites: files written and read by the commands
// the tests start, and bounded waits for what those commands do.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/registry/registry.h"

namespace ospreon::alert::test {

namespace fs = std::filesystem;

inline std::string ReadFile(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

inline std::vector<std::string> ReadLines(const fs::path& file)
{
    std::vector<std::string> lines;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

inline void WriteScript(const fs::path& file, const std::string& body)
{
    std::ofstream(file) << "#!/bin/sh\n" << body << "\n";
    fs::permissions(file, fs::perms::owner_all);
}

// Polls `done` until it holds or `timeout` has passed; its last answer.
template <class Predicate>
bool WaitUntil(Predicate done, std::chrono::milliseconds timeout = std::chrono::seconds(5))
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return done();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// Creates HKLM\<path> (with its parents) and sets a REG_SZ value in it.
inline void SetMachineString(const char* path, const char* valueName, const std::string& value)
{
    registry::Key key;
    ASSERT_EQ(RegCreateKeyEx(HKEY_LOCAL_MACHINE, path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                             KEY_ALL_ACCESS, nullptr, key.put(), nullptr),
              ERROR_SUCCESS)
        << path << ": " << RegLastErrorText();
    ASSERT_EQ(registry::SetString(key.get(), valueName, value), ERROR_SUCCESS)
        << RegLastErrorText();
}

} // namespace ospreon::alert::test
