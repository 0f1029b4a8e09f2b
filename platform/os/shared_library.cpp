#include "platform/os/shared_library.h"

#include <dlfcn.h>

#include <filesystem>
#include <system_error>

namespace ospreon::os {

SharedLibrary& SharedLibrary::operator=(SharedLibrary&& other) noexcept
{
    if (this != &other) {
        if (m_handle)
            ::dlclose(m_handle);
        m_handle = std::exchange(other.m_handle, nullptr);
    }
    return *this;
}

SharedLibrary::~SharedLibrary()
{
    if (m_handle)
        ::dlclose(m_handle);
}

Result<SharedLibrary> SharedLibrary::Open(const std::string& path)
{
    void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* text = ::dlerror();
        return Error::Plain(text ? text : "unknown loader error");
    }
    return SharedLibrary(handle);
}

std::string SharedLibrary::PathOf(const void* address)
{
    Dl_info info{};
    if (!::dladdr(address, &info) || !info.dli_fname || !*info.dli_fname)
        return {};
    std::error_code ec;
    const std::filesystem::path real = std::filesystem::canonical(info.dli_fname, ec);
    return ec ? std::string(info.dli_fname) : real.string();
}

void* SharedLibrary::Symbol(const char* name) const
{
    return m_handle ? ::dlsym(m_handle, name) : nullptr;
}

} // namespace ospreon::os
