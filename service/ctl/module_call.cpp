#include "service/ctl/module_call.h"

#include <memory>

#include <dlfcn.h>

namespace ospreon::ctl {

namespace {

struct ModuleCloser
{
    void operator()(void* handle) const { ::dlclose(handle); }
};

using ModuleHandle = std::unique_ptr<void, ModuleCloser>;

std::string LoaderError()
{
    const char* text = ::dlerror();
    return text ? text : "unknown loader error";
}

} // namespace

Result<HRESULT> CallModuleExport(const std::string& path, const char* name, ExitStatus loadFailure)
{
    // The module unloads after the call; the shared libraries it pulled in stay
    // (they are linked with -z nodelete), and with them their process-wide state.
    ModuleHandle module(::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL));
    if (!module)
        return Error{loadFailure, "cannot load " + Quoted(path) + ": " + LoaderError()};
    using ExportFn = HRESULT (*)();
    auto function = reinterpret_cast<ExportFn>(::dlsym(module.get(), name));
    if (!function)
        return Error{loadFailure,
                     Quoted(path) + " has no " + name + ": it is not a self-registering module"};
    return function();
}

} // namespace ospreon::ctl
