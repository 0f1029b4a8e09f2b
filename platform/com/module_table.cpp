#include "platform/com/module_table.h"

#include <map>
#include <mutex>

#include "platform/os/shared_library.h"

namespace ospreon::com {

namespace {

struct Module
{
    os::SharedLibrary library;
    DllGetClassObjectFn getClassObject = nullptr;
    DllCanUnloadNowFn canUnloadNow = nullptr;
    int pins = 0; // activations running in it right now
};

struct ModuleTable
{
    std::mutex mutex;
    std::map<std::string, Module> modules;
};

ModuleTable& Table()
{
    static ModuleTable* table = new ModuleTable; // never destroyed: modules outlive statics
    return *table;
}

// Finds or loads the module and pins it; null with `error` set on failure.
Module* PinModule(ModuleTable& table, const std::string& path, HRESULT& hr, std::string& error)
{
    std::lock_guard lock(table.mutex);
    auto it = table.modules.find(path);
    if (it == table.modules.end()) {
        Result<os::SharedLibrary> library = os::SharedLibrary::Open(path);
        if (!library) {
            hr = CO_E_DLLNOTFOUND;
            error = "cannot load module " + path + ": " + library.error().message;
            return nullptr;
        }
        Module module;
        module.getClassObject = library->FunctionNamed<DllGetClassObjectFn>("DllGetClassObject");
        module.canUnloadNow = library->FunctionNamed<DllCanUnloadNowFn>("DllCanUnloadNow");
        if (!module.getClassObject) {
            hr = CO_E_ERRORINDLL;
            error = "module " + path + " does not export DllGetClassObject";
            return nullptr;
        }
        module.library = std::move(*library);
        it = table.modules.emplace(path, std::move(module)).first;
    }
    ++it->second.pins;
    return &it->second;
}

} // namespace

HRESULT UseModule(const std::string& path, const std::function<HRESULT(DllGetClassObjectFn)>& use,
                  std::string& error)
{
    ModuleTable& table = Table();
    HRESULT hr = S_OK;
    Module* module = PinModule(table, path, hr, error);
    if (!module)
        return hr;
    // Called outside the lock: a module may activate other classes while it builds
    // its objects. std::map nodes are stable, so the pointer stays valid while pinned.
    hr = use(module->getClassObject);
    std::lock_guard lock(table.mutex);
    --module->pins;
    return hr;
}

void FreeUnusedModules()
{
    ModuleTable& table = Table();
    std::lock_guard lock(table.mutex);
    for (auto it = table.modules.begin(); it != table.modules.end();) {
        const Module& module = it->second;
        if (module.pins == 0 && module.canUnloadNow && module.canUnloadNow() == S_OK)
            it = table.modules.erase(it);
        else
            ++it;
    }
}

} // namespace ospreon::com
