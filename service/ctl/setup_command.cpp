#include "service/ctl/setup_command.h"

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <system_error>
#include <vector>

#include <sys/random.h>
#include <sys/stat.h>

#include "interfaces/guids.h"
#include "platform/com/activation.h"
#include "platform/com/bstr.h"
#include "platform/com/variant.h"
#include "platform/os/named_lock.h"
#include "platform/os/paths.h"
#include "platform/registry/registry.h"
#include "service/ctl/bundled_plugins.h"
#include "service/ctl/module_call.h"
#include "service/ctl/service_access.h"

namespace ospreon::ctl {

namespace {

namespace fs = std::filesystem;
using registry::Key;

constexpr char kServiceKey[] = "SOFTWARE\\Brackwater\\RELAYMOOR\\Services\\Wardenhost";
constexpr char kServiceLibrary[] = "libwardenhost.so";

std::string SystemError(int error)
{
    return std::error_code(error, std::generic_category()).message();
}

Result<void> CreateHome(const fs::path& home)
{
    std::error_code ec;
    if (!fs::is_directory(home, ec)) {
        if (home.has_parent_path())
            fs::create_directories(home.parent_path(), ec);
        if (ec)
            return Unavailable("cannot create " + home.parent_path().string() + ": " +
                               ec.message());
        if (::mkdir(home.c_str(), 0700) != 0 && errno != EEXIST)
            return Unavailable("cannot create " + home.string() + ": " + SystemError(errno));
    }
    for (const char* name : {"log", "plugins"}) {
        const fs::path folder = os::HomeFolder(name);
        if (!fs::is_directory(folder, ec))
            return Unavailable("cannot create " + folder.string());
    }
    return {};
}

Result<void> RegisterServiceClasses(Console& console, const fs::path& libraryFolder)
{
    const fs::path library = libraryFolder / kServiceLibrary;
    std::error_code ec;
    if (!fs::exists(library, ec))
        return Unavailable("the service objects are not built: no " + library.string() +
                           " (build the target ospreon_wardenhost)");
    Result<HRESULT> hr = CallModuleExport(library.string(), "DllRegisterServer", kExitUnavailable);
    if (!hr)
        return hr.error();
    if (FAILED(*hr))
        return Unavailable(library.string() +
                           " failed to register the service classes: " + com::DescribeHResult(*hr));
    console.out << "service objects: registered " << library.string() << '\n';
    return {};
}

Result<Key> CreateKey(HKEY root, const std::string& path, const char* rootName)
{
    Key key;
    if (RegCreateKeyEx(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                       nullptr, key.put(), nullptr) != ERROR_SUCCESS)
        return Unavailable(std::string("cannot create ") + rootName + "\\" + path + ": " +
                           RegLastErrorText());
    return key;
}

// Writes the default value of root\path unless it has one: what a user changed
// stays as it is.
Result<void> SeedDefaultValue(HKEY root, const std::string& path, const char* rootName,
                              const std::string& value)
{
    Result<Key> key = CreateKey(root, path, rootName);
    if (!key)
        return key.error();
    std::string present;
    if (registry::GetString(key->get(), nullptr, present) == ERROR_SUCCESS)
        return {};
    if (registry::SetString(key->get(), nullptr, value) != ERROR_SUCCESS)
        return Unavailable(std::string("cannot write ") + rootName + "\\" + path + ": " +
                           RegLastErrorText());
    return {};
}

Result<void> SeedRegistry()
{
    const std::string interfaceKey = std::string(kServiceKey) + "\\" + kServiceMonitorIid;
    if (Result<Key> key = CreateKey(HKEY_LOCAL_MACHINE, interfaceKey, "HKEY_LOCAL_MACHINE"); !key)
        return key.error();
    if (Result<void> seeded =
            SeedDefaultValue(HKEY_CLASSES_ROOT, ".htm", "HKEY_CLASSES_ROOT", "htmlfile");
        !seeded)
        return seeded;
    return SeedDefaultValue(HKEY_CLASSES_ROOT, "htmlfile\\shell\\open\\command",
                            "HKEY_CLASSES_ROOT", "xdg-open \"%1\"");
}

Result<void> InstallPlugins(Console& console, const fs::path& libraryFolder)
{
    const fs::path plugins = os::HomeFolder("plugins");
    for (const BundledPlugin& plugin : kBundledPlugins) {
        const char* name = plugin.module;
        const fs::path source = libraryFolder / name;
        std::error_code ec;
        if (!fs::exists(source, ec)) {
            console.out << "plug-in " << name << ": not built\n";
            continue;
        }
        const fs::path target = plugins / name;
        Result<bool> copied = CopyIfChanged(source, target);
        if (!copied)
            return Unavailable("cannot copy " + source.string() + " to " + target.string() + ": " +
                               copied.error().message);
        Result<bool> marked = HasSetupMark(name);
        if (!marked)
            return Unavailable(marked.error().message);
        // Registered once before and gone now: the user removed the type.
        if (*marked && !ClassRegistered(plugin.clsid)) {
            console.out << "plug-in " << name << ": " << (*copied ? "copied, " : "")
                        << "removed by the user, left unregistered\n";
            continue;
        }
        Result<HRESULT> hr =
            CallModuleExport(target.string(), "DllRegisterServer", kExitUnavailable);
        if (!hr)
            return hr.error();
        if (FAILED(*hr))
            return Unavailable(target.string() +
                               " failed to register: " + com::DescribeHResult(*hr));
        if (!*marked) {
            if (Result<void> mark = SetSetupMark(name); !mark)
                return Unavailable(mark.error().message);
        }
        console.out << "plug-in " << name << ": " << (*copied ? "copied, " : "") << "registered "
                    << target.string() << '\n';
    }
    return {};
}

Result<void> FillConfig(Console& console, const fs::path& home)
{
    Result<ComPtr<IConfigStore>> config = OpenConfig();
    if (!config)
        return config.error();
    Result<std::string> password = NewControlPassword();
    if (!password)
        return password.error();
    const std::array<std::pair<const char*, std::string>, 3> defaults{{
        {"LogFile", (home / "log" / "Wardenhost%d%m%y.log").string()},
        {"BackupFile", (home / "backup.Mnt").string()},
        {"ControlPass", *password},
    }};
    std::vector<std::string> filled;
    for (const auto& [name, value] : defaults) {
        Result<std::optional<std::string>> present = ReadConfig(config->get(), name);
        if (!present)
            return present.error();
        if (*present)
            continue;
        com::Bstr key(name);
        com::Variant text(value);
        if (HRESULT hr = (*config)->put_Value(key.get(), text.get()); FAILED(hr))
            return Unavailable(std::string("cannot set the configuration value ") + name + ": " +
                               FailureReason(hr));
        filled.push_back(name);
    }
    if (filled.empty()) {
        console.out << "config: complete\n";
        return {};
    }
    if (HRESULT hr = (*config)->Save(); FAILED(hr))
        return Unavailable("cannot save the configuration: " + FailureReason(hr));
    console.out << "config: set";
    for (std::size_t i = 0; i < filled.size(); ++i)
        console.out << (i ? ", " : " ") << filled[i];
    console.out << '\n';
    return {};
}

} // namespace

fs::path LibraryFolder()
{
    if (const char* folder = std::getenv("OSPREON_LIB_DIR"); folder && *folder) {
        std::error_code ec;
        fs::path absolute = fs::absolute(folder, ec);
        return ec ? fs::path(folder) : absolute.lexically_normal();
    }
    std::error_code ec;
    const fs::path executable = fs::read_symlink("/proc/self/exe", ec);
    if (ec)
        return {};
    return (executable.parent_path().parent_path() / "lib").lexically_normal();
}

Result<std::string> NewControlPassword()
{
    std::array<unsigned char, 12> bytes{};
    std::size_t filled = 0;
    while (filled < bytes.size()) {
        ssize_t n = ::getrandom(bytes.data() + filled, bytes.size() - filled, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return Unavailable("cannot draw a random control password: " + SystemError(errno));
        filled += static_cast<std::size_t>(n);
    }
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    for (unsigned char byte : bytes) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0xF];
    }
    return text;
}

namespace {

constexpr char kSetupLock[] = "wardenctl-setup";
constexpr std::chrono::seconds kSetupWait{120};

} // namespace

Outcome RunSetup(Console& console)
{
    std::error_code ec;
    fs::path home = fs::absolute(os::Home(), ec);
    if (ec)
        return Unavailable("cannot find the data folder: " + ec.message());
    home = home.lexically_normal();
    if (!home.has_filename()) // "/data/ospreon/"
        home = home.parent_path();
    if (Result<void> created = CreateHome(home); !created)
        return created.error();
    // Setups started together run one after another: each then finds what the one
    // before it wrote, so they agree on one "ControlPass", which is written only
    // where it is absent.
    Result<os::NamedLock> turn = os::NamedLock::Acquire(kSetupLock, kSetupWait);
    if (!turn)
        return Unavailable("cannot wait for another setup: " + turn.error().message);
    console.out << "home: " << home.string() << '\n';

    const fs::path libraryFolder = LibraryFolder();
    if (Result<void> registered = RegisterServiceClasses(console, libraryFolder); !registered)
        return registered.error();
    if (Result<void> seeded = SeedRegistry(); !seeded)
        return seeded.error();
    if (Result<void> installed = InstallPlugins(console, libraryFolder); !installed)
        return installed.error();
    if (Result<void> filled = FillConfig(console, home); !filled)
        return filled.error();
    return kExitDone;
}

} // namespace ospreon::ctl
