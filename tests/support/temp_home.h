#pragma once
// A fresh $OSPREON_HOME for one test, removed with everything in it afterwards.

#include <filesystem>
#include <string>

namespace ospreon::test {

class TempHome
{
public:
    TempHome();
    ~TempHome();
    TempHome(const TempHome&) = delete;
    TempHome& operator=(const TempHome&) = delete;

    const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_path;
    std::string m_previous;
    bool m_hadPrevious = false;
};

// A fresh temporary folder, removed afterwards; not tied to any variable.
class TempDir
{
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

// The build tree (for test programs and modules), from $OSPREON_BUILD_DIR.
std::filesystem::path BuildDir();

} // namespace ospreon::test
