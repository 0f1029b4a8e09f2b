#include "platform/com/type_library.h"

#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/com/bstr.h"
#include "platform/com/object.h"
#include "platform/os/shared_library.h"
#include "platform/registry/registry.h"

namespace {

using ospreon::com::BstrToUtf8;
using ospreon::com::GuidToString;
using ospreon::com::TypeLibDesc;
using ospreon::com::Utf8ToBstr;
using ospreon::registry::Key;
using ospreon::registry::SetString;

class TypeLibrary final : public ospreon::com::Object<ITypeLib>
{
public:
    TypeLibrary(ospreon::os::SharedLibrary module, const TypeLibDesc& desc)
        : m_module(std::move(module)), m_desc(desc)
    {}

    UINT GetTypeInfoCount() override
    {
        return static_cast<UINT>(m_desc.coclasses.size() + m_desc.interfaces.size());
    }

    HRESULT GetDocumentation(INT index, BSTR* name, BSTR* docString, DWORD* helpContext,
                             BSTR* helpFile) override
    {
        const char* nameText = nullptr;
        const char* docText = nullptr;
        const std::size_t coclasses = m_desc.coclasses.size();
        if (index == -1) {
            nameText = m_desc.name, docText = m_desc.helpString;
        } else if (index >= 0 && static_cast<std::size_t>(index) < coclasses) {
            const auto& coclass = m_desc.coclasses[index];
            nameText = coclass.name, docText = coclass.helpString;
        } else if (index >= 0 && static_cast<std::size_t>(index) < GetTypeInfoCount()) {
            const auto* itf = m_desc.interfaces[index - coclasses];
            nameText = itf->name, docText = itf->helpString;
        } else {
            return DISP_E_BADINDEX; // TYPE_E_ELEMENTNOTFOUND on Windows; same meaning
        }
        if (name && !(*name = Utf8ToBstr(nameText ? nameText : "")))
            return E_OUTOFMEMORY;
        if (docString && !(*docString = Utf8ToBstr(docText ? docText : ""))) {
            if (name)
                SysFreeString(*name), *name = nullptr;
            return E_OUTOFMEMORY;
        }
        if (helpContext)
            *helpContext = 0;
        if (helpFile)
            *helpFile = nullptr;
        return S_OK;
    }

    HRESULT GetDescriptor(const TypeLibDesc** desc) override
    {
        if (!desc)
            return E_POINTER;
        *desc = &m_desc;
        return S_OK;
    }

private:
    ~TypeLibrary() override = default;

    ospreon::os::SharedLibrary m_module;
    const TypeLibDesc& m_desc;
};

std::string Narrow(LPCOLESTR text)
{
    if (!text)
        return {};
    std::size_t length = 0;
    while (text[length])
        ++length;
    return BstrToUtf8(text, length);
}

std::string VersionKey(const GUID& libid, WORD major, WORD minor)
{
    char version[16];
    std::snprintf(version, sizeof version, "%x.%x", major, minor);
    return "TypeLib\\" + GuidToString(libid) + "\\" + version;
}

} // namespace

HRESULT LoadTypeLib(LPCOLESTR file, ITypeLib** library)
{
    if (!library)
        return E_POINTER;
    *library = nullptr;
    const std::string path = Narrow(file);
    ospreon::Result<ospreon::os::SharedLibrary> module = ospreon::os::SharedLibrary::Open(path);
    if (!module)
        return TYPE_E_CANTLOADLIBRARY;
    const auto* desc = static_cast<const TypeLibDesc*>(module->Symbol(kTypeLibrarySymbol));
    if (!desc)
        return TYPE_E_CANTLOADLIBRARY;
    *library = ospreon::com::MakeObject<TypeLibrary>(std::move(*module), *desc).detach();
    return *library ? S_OK : E_OUTOFMEMORY;
}

HRESULT RegisterTypeLib(ITypeLib* library, LPCOLESTR fullPath, LPCOLESTR helpDir)
{
    const TypeLibDesc* desc = nullptr;
    if (!library || !fullPath || FAILED(library->GetDescriptor(&desc)))
        return E_INVALIDARG;
    const std::string path = Narrow(fullPath);
    const std::string help =
        helpDir ? Narrow(helpDir) : std::filesystem::path(path).parent_path().string();

    Key version;
    Key platform;
    Key flags;
    Key helpKey;
    const std::string versionPath = VersionKey(desc->libid, desc->majorVersion, desc->minorVersion);
    bool ok = RegCreateKeyEx(HKEY_CLASSES_ROOT, versionPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                             nullptr, version.put(), nullptr) == ERROR_SUCCESS &&
              SetString(version.get(), nullptr, desc->helpString ? desc->helpString : "") ==
                  ERROR_SUCCESS &&
              RegCreateKeyEx(version.get(), "0\\linux", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                             platform.put(), nullptr) == ERROR_SUCCESS &&
              SetString(platform.get(), nullptr, path) == ERROR_SUCCESS &&
              RegCreateKeyEx(version.get(), "FLAGS", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                             flags.put(), nullptr) == ERROR_SUCCESS &&
              SetString(flags.get(), nullptr, "0") == ERROR_SUCCESS &&
              RegCreateKeyEx(version.get(), "HELPDIR", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                             helpKey.put(), nullptr) == ERROR_SUCCESS &&
              SetString(helpKey.get(), nullptr, help) == ERROR_SUCCESS;
    return ok ? S_OK : TYPE_E_REGISTRYACCESS;
}

HRESULT UnRegisterTypeLib(REFGUID libid, WORD majorVersion, WORD minorVersion, LCID, SYSKIND)
{
    const std::string versionPath = VersionKey(libid, majorVersion, minorVersion);
    LSTATUS status = RegDeleteTree(HKEY_CLASSES_ROOT, versionPath.c_str());
    if (status == ERROR_FILE_NOT_FOUND)
        return TYPE_E_LIBNOTREGISTERED;
    if (status != ERROR_SUCCESS)
        return TYPE_E_REGISTRYACCESS;

    // Drop the library's key once no version of it is registered any more.
    const std::string libPath = "TypeLib\\" + GuidToString(libid);
    Key lib;
    if (RegOpenKeyEx(HKEY_CLASSES_ROOT, libPath.c_str(), 0, KEY_READ, lib.put()) == ERROR_SUCCESS) {
        char name[256];
        DWORD size = sizeof name;
        if (RegEnumKeyEx(lib.get(), 0, name, &size, nullptr, nullptr, nullptr, nullptr) ==
            ERROR_NO_MORE_ITEMS) {
            lib.reset();
            (void)RegDeleteKey(HKEY_CLASSES_ROOT, libPath.c_str());
        }
    }
    return S_OK;
}
