#include "service/ctl/registry_commands.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>
#include <vector>

#include "platform/base/ascii.h"
#include "service/ctl/output_format.h"

namespace ospreon::ctl {

namespace {

using registry::Key;

struct RootName
{
    const char* name;
    HKEY key;
};

const char* ValueNameArg(const std::string& value)
{
    return value.empty() ? nullptr : value.c_str();
}

std::string ValueLabel(const std::string& value)
{
    return value.empty() ? std::string("default value") : "value " + Quoted(value);
}

Result<Key> OpenKey(const std::string& path)
{
    Result<KeyName> name = ParseKeyName(path);
    if (!name)
        return name.error();
    Key key;
    LSTATUS status = RegOpenKeyEx(name->root, name->subKey.c_str(), 0, KEY_READ, key.put());
    if (status == ERROR_FILE_NOT_FOUND)
        return Unavailable("no registry key " + Quoted(path));
    if (status == ERROR_INVALID_PARAMETER)
        return BadInput("invalid registry key path " + Quoted(path));
    if (status != ERROR_SUCCESS)
        return Unavailable("cannot open the registry key " + Quoted(path) + ": " +
                           RegLastErrorText());
    return key;
}

struct ValueData
{
    DWORD type = REG_NONE;
    std::string bytes;
};

// nullopt when the key has no such value.
Result<std::optional<ValueData>> ReadData(HKEY key, const std::string& path,
                                          const std::string& value)
{
    for (;;) {
        DWORD type = REG_NONE;
        DWORD size = 0;
        LSTATUS status = RegQueryValueEx(key, ValueNameArg(value), nullptr, &type, nullptr, &size);
        if (status == ERROR_FILE_NOT_FOUND)
            return std::optional<ValueData>();
        if (status != ERROR_SUCCESS)
            break;
        ValueData data{type, std::string(size, '\0')};
        status = RegQueryValueEx(key, ValueNameArg(value), nullptr, &data.type,
                                 reinterpret_cast<BYTE*>(data.bytes.data()), &size);
        if (status == ERROR_MORE_DATA) // it grew meanwhile
            continue;
        if (status != ERROR_SUCCESS)
            break;
        data.bytes.resize(size);
        return std::optional<ValueData>(std::move(data));
    }
    return Unavailable("cannot read the " + ValueLabel(value) + " of " + Quoted(path) + ": " +
                       RegLastErrorText());
}

// The names an enumeration call gives for index 0, 1, ... up to ERROR_NO_MORE_ITEMS,
// the buffer growing to the size a longer name asks for. `what` names the list.
template <class Enumerate>
Result<std::vector<std::string>> EnumerateNames(Enumerate enumerate, const std::string& what)
{
    std::vector<std::string> names;
    std::vector<char> buffer(256);
    for (DWORD index = 0;;) {
        DWORD size = static_cast<DWORD>(buffer.size());
        LSTATUS status = enumerate(index, buffer.data(), &size);
        if (status == ERROR_NO_MORE_ITEMS)
            return names;
        if (status == ERROR_MORE_DATA) {
            buffer.resize(static_cast<std::size_t>(size) + 1);
            continue;
        }
        if (status != ERROR_SUCCESS)
            return Unavailable("cannot list " + what + ": " + RegLastErrorText());
        names.emplace_back(buffer.data(), size);
        ++index;
    }
}

// The names of the key's values, the default value ("") first.
Result<std::vector<std::string>> ValueNames(HKEY key, const std::string& path)
{
    return EnumerateNames(
        [key](DWORD index, char* name, DWORD* size) {
            return RegEnumValue(key, index, name, size, nullptr, nullptr, nullptr, nullptr);
        },
        "the values of " + Quoted(path));
}

Result<std::vector<std::string>> SubkeyNames(HKEY key, const std::string& path)
{
    return EnumerateNames(
        [key](DWORD index, char* name, DWORD* size) {
            return RegEnumKeyEx(key, index, name, size, nullptr, nullptr, nullptr, nullptr);
        },
        "the subkeys of " + Quoted(path));
}

} // namespace

Result<KeyName> ParseKeyName(const std::string& path)
{
    const std::array<RootName, 4> kRoots{{
        {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
        {"HKCR", HKEY_CLASSES_ROOT},
        {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
        {"HKLM", HKEY_LOCAL_MACHINE},
    }};
    const std::size_t separator = path.find('\\');
    const std::string_view root = std::string_view(path).substr(0, separator);
    for (const RootName& candidate : kRoots) {
        if (EqualsNoCase(root, candidate.name))
            return KeyName{candidate.key, separator == std::string::npos
                                              ? std::string()
                                              : path.substr(separator + 1)};
    }
    return BadInput("the registry key " + Quoted(path) +
                    " does not start with HKEY_CLASSES_ROOT, HKEY_LOCAL_MACHINE, HKCR or HKLM");
}

std::string FormatRegistryData(DWORD type, const std::string& bytes)
{
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
        const std::size_t end = bytes.find_last_not_of('\0');
        return end == std::string::npos ? std::string() : bytes.substr(0, end + 1);
    }
    if (type == REG_DWORD && bytes.size() == sizeof(DWORD)) {
        DWORD number = 0;
        std::memcpy(&number, bytes.data(), sizeof number);
        return std::to_string(number);
    }
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text = "hex:";
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (i > 0)
            text += ',';
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0xF];
    }
    return text;
}

Outcome SetRegistryValue(Console&, const std::string& path, const std::string& value,
                         const std::string& data)
{
    Result<KeyName> name = ParseKeyName(path);
    if (!name)
        return name.error();
    Key key;
    LSTATUS status =
        RegCreateKeyEx(name->root, name->subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                       KEY_ALL_ACCESS, nullptr, key.put(), nullptr);
    if (status == ERROR_INVALID_PARAMETER)
        return BadInput("invalid registry key path " + Quoted(path));
    if (status != ERROR_SUCCESS)
        return Unavailable("cannot create the registry key " + Quoted(path) + ": " +
                           RegLastErrorText());
    if (registry::SetString(key.get(), ValueNameArg(value), data) != ERROR_SUCCESS)
        return Unavailable("cannot write the " + ValueLabel(value) + " of " + Quoted(path) + ": " +
                           RegLastErrorText());
    return kExitDone;
}

Outcome QueryRegistry(Console& console, const std::string& path,
                      const std::optional<std::string>& value)
{
    Result<Key> key = OpenKey(path);
    if (!key)
        return key.error();
    if (value) {
        Result<std::optional<ValueData>> data = ReadData(key->get(), path, *value);
        if (!data)
            return data.error();
        if (!*data)
            return Unavailable("the registry key " + Quoted(path) + " has no " +
                               ValueLabel(*value));
        console.out << FormatRegistryData((*data)->type, (*data)->bytes) << '\n';
        return kExitDone;
    }

    Result<std::vector<std::string>> values = ValueNames(key->get(), path);
    if (!values)
        return values.error();
    std::string lines;
    for (const std::string& name : *values) {
        Result<std::optional<ValueData>> data = ReadData(key->get(), path, name);
        if (!data)
            return data.error();
        if (!*data) // deleted meanwhile
            continue;
        lines += (name.empty() ? std::string("(default)") : EscapeField(name)) + " = " +
                 EscapeField(FormatRegistryData((*data)->type, (*data)->bytes)) + '\n';
    }
    Result<std::vector<std::string>> subkeys = SubkeyNames(key->get(), path);
    if (!subkeys)
        return subkeys.error();
    for (const std::string& subkey : *subkeys)
        lines += '[' + subkey + "]\n";
    console.out << lines;
    return kExitDone;
}

Outcome DeleteRegistry(Console& console, const std::string& path,
                       const std::optional<std::string>& value)
{
    Result<KeyName> name = ParseKeyName(path);
    if (!name)
        return name.error();
    if (name->subKey.empty() && !value)
        return BadInput("a root key cannot be deleted: " + Quoted(path));
    Result<Key> key = OpenKey(path);
    if (!key)
        return key.error();
    if (value) {
        const LSTATUS status = RegDeleteValue(key->get(), ValueNameArg(*value));
        if (status == ERROR_FILE_NOT_FOUND)
            return Unavailable("the registry key " + Quoted(path) + " has no " +
                               ValueLabel(*value));
        if (status != ERROR_SUCCESS)
            return Unavailable("cannot delete the " + ValueLabel(*value) + " of " + Quoted(path) +
                               ": " + RegLastErrorText());
        console.out << "deleted the " << ValueLabel(*value) << " of " << path << '\n';
        return kExitDone;
    }
    key->reset();
    const LSTATUS status = RegDeleteTree(name->root, name->subKey.c_str());
    if (status != ERROR_SUCCESS)
        return Unavailable("cannot delete the registry key " + Quoted(path) + ": " +
                           RegLastErrorText());
    console.out << "deleted " << path << '\n';
    return kExitDone;
}

} // namespace ospreon::ctl
