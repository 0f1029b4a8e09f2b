#include "tests/support/temp_home.h"

#include <cstdlib>
#include <stdexcept>
#include <system_error>

namespace ospreon::test {

namespace {

std::filesystem::path MakeTempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "ospreon-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed for " + pattern);
    return pattern;
}

} // namespace

TempDir::TempDir() : m_path(MakeTempDir()) {}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

TempHome::TempHome() : m_path(MakeTempDir())
{
    if (const char* previous = std::getenv("OSPREON_HOME")) {
        m_previous = previous;
        m_hadPrevious = true;
    }
    ::setenv("OSPREON_HOME", m_path.c_str(), 1);
}

TempHome::~TempHome()
{
    if (m_hadPrevious)
        ::setenv("OSPREON_HOME", m_previous.c_str(), 1);
    else
        ::unsetenv("OSPREON_HOME");
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

std::filesystem::path BuildDir()
{
    const char* dir = std::getenv("OSPREON_BUILD_DIR");
    if (!dir || !*dir)
        throw std::runtime_error("OSPREON_BUILD_DIR is not set; run the tests through ctest");
    return dir;
}

} // namespace ospreon::test
