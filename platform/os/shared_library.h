#pragma once
// A shared library loaded with dlopen, closed when its one owner goes away. The
// error of a load that fails is the loader's own text ("...: cannot open shared
// object file: No such file or directory", an undefined symbol), for the caller to
// put after what it was loading the library for.

#include <string>
#include <utility>

#include "platform/base/result.h"

namespace ospreon::os {

class SharedLibrary
{
public:
    SharedLibrary() = default;
    SharedLibrary(SharedLibrary&& other) noexcept : m_handle(std::exchange(other.m_handle, nullptr))
    {}
    SharedLibrary& operator=(SharedLibrary&& other) noexcept;
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;
    ~SharedLibrary();

    // Loads `path` with every symbol bound now and kept local to it.
    [[nodiscard]] static Result<SharedLibrary> Open(const std::string& path);

    explicit operator bool() const { return m_handle != nullptr; }

    // The absolute path, links resolved, of the loaded file that holds `address`
    // (code or data of a library or program); empty when none does. Whatever
    // path the library was loaded by, this is the file itself.
    static std::string PathOf(const void* address);

    // The address of the exported `name`; null when the library lacks it.
    void* Symbol(const char* name) const;
    template <class Function> Function FunctionNamed(const char* name) const
    {
        return reinterpret_cast<Function>(Symbol(name));
    }

private:
    explicit SharedLibrary(void* handle) : m_handle(handle) {}

    void* m_handle = nullptr;
};

} // namespace ospreon::os
