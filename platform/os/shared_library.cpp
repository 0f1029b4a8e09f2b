#include "platform/os/shared_library.h"

#include <dlfcn.h>

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

void* SharedLibrary::Symbol(const char* name) const
{
    return m_handle ? ::dlsym(m_handle, name) : nullptr;
}

} // namespace ospreon::os
