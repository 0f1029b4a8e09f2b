// DllRegisterServer and DllUnregisterServer of the library: the CLSID keys of its
// six classes, nothing else.

#include "interfaces/guids.h"
#include "platform/registry/registry.h"
#include "service/objects/class_factory.h"

namespace ospreon::service {

namespace {

constexpr HRESULT SELFREG_E_CLASS = MakeHResult(0x80040201);

std::string ClassKey(const ServiceClass& serviceClass)
{
    return "CLSID\\" + com::GuidToString(*serviceClass.clsid);
}

bool WriteKey(const std::string& path, const char* valueName, const std::string& value)
{
    registry::Key key;
    if (RegCreateKeyEx(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                       KEY_ALL_ACCESS, nullptr, key.put(), nullptr) != ERROR_SUCCESS)
        return false;
    return registry::SetString(key.get(), valueName, value) == ERROR_SUCCESS;
}

HRESULT WriteClasses(const std::string& modulePath)
{
    for (const ServiceClass& serviceClass : ServiceClasses()) {
        const std::string key = ClassKey(serviceClass);
        const std::string server = key + "\\InprocServer32";
        if (!WriteKey(key, nullptr, std::string(serviceClass.name) + " Class") ||
            !WriteKey(server, nullptr, modulePath) || !WriteKey(server, "ThreadingModel", "Both"))
            return SELFREG_E_CLASS;
    }
    return S_OK;
}

HRESULT DeleteClasses()
{
    HRESULT result = S_OK;
    for (const ServiceClass& serviceClass : ServiceClasses()) {
        const LSTATUS status = RegDeleteTree(HKEY_CLASSES_ROOT, ClassKey(serviceClass).c_str());
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
            result = SELFREG_E_CLASS;
    }
    return result;
}

} // namespace

HRESULT RegisterServer(const std::string& modulePath)
{
    if (modulePath.empty())
        return SELFREG_E_CLASS;
    return registry::RegisterAtomically([&] { return WriteClasses(modulePath); });
}

HRESULT UnregisterServer()
{
    return registry::RegisterAtomically([] { return DeleteClasses(); });
}

} // namespace ospreon::service
