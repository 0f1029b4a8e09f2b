#include "service/ctl/module_call.h"

#include "platform/os/shared_library.h"

namespace ospreon::ctl {

Result<HRESULT> CallModuleExport(const std::string& path, const char* name, ExitStatus loadFailure)
{
    // The module unloads after the call; the shared libraries it pulled in stay
    // (they are linked with -z nodelete), and with them their process-wide state.
    Result<os::SharedLibrary> module = os::SharedLibrary::Open(path);
    if (!module)
        return Error::Exit(loadFailure,
                           "cannot load " + Quoted(path) + ": " + module.error().message);
    using ExportFn = HRESULT (*)();
    auto function = module->FunctionNamed<ExportFn>(name);
    if (!function)
        return Error::Exit(loadFailure, Quoted(path) + " has no " + name +
                                            ": it is not a self-registering module");
    return function();
}

} // namespace ospreon::ctl
