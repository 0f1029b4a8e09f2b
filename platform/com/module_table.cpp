#include "platform/com/module_table.h"

#include <map>
#include <memory>
#include <mutex>

#include <dlfcn.h>

namespace ospreon::com {

namespace {

struct DlCloser
{
    void operator()(void* handle) const { ::dlclose(handle); }
};
using ModuleHandle = std::unique_ptr<void, DlCloser>;

struct Module
{
    ModuleHandle handle;
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

std::string DlError()
{
    const char* text = ::dlerror();
    return text ? text : "unknown loader error";
}

// Finds or loads the module and pins it; null with `error` set on failure.
Module* PinModule(ModuleTable& table, const std::string& path, HRESULT& hr, std::string& error)
{
    std::lock_guard lock(table.mutex);
    auto it = table.modules.find(path);
    if (it == table.modules.end()) {
        ModuleHandle handle(::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL));
        if (!handle) {
            hr = CO_E_DLLNOTFOUND;
            error = "cannot load module " + path + ": " + DlError();
            return nullptr;
        }
        Module module;
        module.getClassObject =
            reinterpret_cast<DllGetClassObjectFn>(::dlsym(handle.get(), "DllGetClassObject"));
        module.canUnloadNow =
            reinterpret_cast<DllCanUnloadNowFn>(::dlsym(handle.get(), "DllCanUnloadNow"));
        if (!module.getClassObject) {
            hr = CO_E_ERRORINDLL;
            error = "module " + path + " does not export DllGetClassObject";
            return nullptr;
        }
        module.handle = std::move(handle);
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
