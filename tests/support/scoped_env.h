#pragma once
// Sets or removes one environment variable for a scope and puts back what was
// there before, so a test that points a variable elsewhere leaves none behind.

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>

namespace ospreon::test {

class ScopedEnv
{
public:
    // Sets `name` to `value`; with nullopt, removes it.
    ScopedEnv(std::string name, const std::optional<std::string>& value) : m_name(std::move(name))
    {
        if (const char* previous = std::getenv(m_name.c_str()))
            m_previous = previous;
        Set(value);
    }
    ~ScopedEnv() { Set(m_previous); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

    void Set(const std::optional<std::string>& value)
    {
        if (value)
            ::setenv(m_name.c_str(), value->c_str(), 1);
        else
            ::unsetenv(m_name.c_str());
    }

private:
    std::string m_name;
    std::optional<std::string> m_previous;
};

} // namespace ospreon::test
