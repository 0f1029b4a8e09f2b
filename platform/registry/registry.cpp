// The Win32 registry calls: argument checks by the Win32 rules, then the work of
// KeyStore on the process's connection, with every failure's text kept per thread.

#include "platform/registry/registry.h"

#include <cstring>
#include <limits>
#include <span>
#include <string_view>

#include "platform/base/guard.h"
#include "platform/registry/key_path.h"
#include "platform/registry/key_store.h"
#include "platform/registry/registry_state.h"

using ospreon::Error;
using ospreon::Result;
using ospreon::registry::CreatedKey;
using ospreon::registry::KeyPath;
using ospreon::registry::KeyRef;
using ospreon::registry::KeyStore;
using ospreon::registry::RegistryState;
using ospreon::registry::SplitKeyPath;
using ospreon::registry::ValueInfo;

namespace {

thread_local std::string t_lastError;

LSTATUS Succeed()
{
    t_lastError.clear();
    return ERROR_SUCCESS;
}

LSTATUS Fail(const char* call, const Error& error)
{
    t_lastError = std::string(call) + ": " + error.message;
    return error.code;
}

LSTATUS Fail(const char* call, LSTATUS code, std::string message)
{
    return Fail(call, Error::Win32(code, std::move(message)));
}

// Runs a call's body; what it throws (out of memory, a file system error while
// finding the home folder) becomes an error code, never an exception to a caller
// written against a C interface.
template <class Body> LSTATUS Guarded(const char* call, Body&& body) noexcept
{
    return ospreon::CatchAll(std::forward<Body>(body), [call](const char* what) noexcept {
        if (!what) {
            t_lastError.clear(); // no room to say more
            return ERROR_NOT_ENOUGH_MEMORY;
        }
        try {
            return Fail(call, ERROR_CANTOPEN, what);
        } catch (...) {
            return ERROR_CANTOPEN;
        }
    });
}

std::string_view Text(const char* text)
{
    return text ? std::string_view(text) : std::string_view();
}

std::string ValueLabel(const char* valueName)
{
    return valueName && *valueName ? "value \"" + std::string(valueName) + "\""
                                   : "the default value";
}

// What every call on a key holds: the lock, the connection to the current
// database, and the key's row in it.
struct KeyCall
{
    std::unique_lock<std::mutex> lock;
    ospreon::sqlite::Connection* connection = nullptr;
    KeyRef key;

    KeyStore Store() const { return KeyStore(*connection); }
};

Result<KeyCall> Enter(HKEY hKey)
{
    RegistryState& state = RegistryState::Instance();
    std::unique_lock<std::mutex> lock = state.Lock();
    state.WaitForTurn(lock);
    Result<ospreon::sqlite::Connection*> connection = state.Connection();
    if (!connection)
        return connection.error();
    Result<KeyRef> key = state.Resolve(hKey, **connection);
    if (!key)
        return key.error();
    return KeyCall{std::move(lock), *connection, *key};
}

// The handle for key `id`, found as `path` under the call's key: a root opened
// again is its predefined handle, anything else a new handle.
HKEY HandleFor(const KeyCall& call, HKEY hKey, const KeyPath& path, std::int64_t id)
{
    if (path.empty() && (hKey == HKEY_CLASSES_ROOT || hKey == HKEY_LOCAL_MACHINE))
        return hKey;
    std::string fullPath(call.key.path);
    for (std::string_view name : path) {
        fullPath += '\\';
        fullPath += name;
    }
    return RegistryState::Instance().Adopt(id, std::move(fullPath), *call.connection);
}

} // namespace

LSTATUS RegCreateKeyEx(HKEY hKey, const char* subKey, DWORD /*reserved*/, char* /*keyClass*/,
                       DWORD /*options*/, REGSAM /*samDesired*/, void* /*securityAttributes*/,
                       PHKEY result, DWORD* disposition)
{
    constexpr char kCall[] = "RegCreateKeyEx";
    return Guarded(kCall, [&]() -> LSTATUS {
        if (!result)
            return Fail(kCall, ERROR_INVALID_PARAMETER, "no place given for the new key's handle");
        *result = nullptr;
        Result<KeyPath> path = SplitKeyPath(Text(subKey));
        if (!path)
            return Fail(kCall, path.error());
        Result<KeyCall> call = Enter(hKey);
        if (!call)
            return Fail(kCall, call.error());
        Result<CreatedKey> key = call->Store().Create(call->key, *path);
        if (!key)
            return Fail(kCall, key.error());
        if (disposition)
            *disposition = key->created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
        *result = HandleFor(*call, hKey, *path, key->id);
        return Succeed();
    });
}

LSTATUS RegOpenKeyEx(HKEY hKey, const char* subKey, DWORD /*options*/, REGSAM /*samDesired*/,
                     PHKEY result)
{
    constexpr char kCall[] = "RegOpenKeyEx";
    return Guarded(kCall, [&]() -> LSTATUS {
        if (!result)
            return Fail(kCall, ERROR_INVALID_PARAMETER, "no place given for the key's handle");
        *result = nullptr;
        Result<KeyPath> path = SplitKeyPath(Text(subKey));
        if (!path)
            return Fail(kCall, path.error());
        Result<KeyCall> call = Enter(hKey);
        if (!call)
            return Fail(kCall, call.error());
        Result<std::int64_t> id = call->Store().Find(call->key, *path);
        if (!id)
            return Fail(kCall, id.error());
        *result = HandleFor(*call, hKey, *path, *id);
        return Succeed();
    });
}

LSTATUS RegCloseKey(HKEY hKey)
{
    // Success leaves the last error text alone: a Key going out of scope must not
    // wipe the reason of the failure that made its owner return.
    constexpr char kCall[] = "RegCloseKey";
    if (hKey == HKEY_CLASSES_ROOT || hKey == HKEY_LOCAL_MACHINE)
        return ERROR_SUCCESS;
    return Guarded(kCall, [&]() -> LSTATUS {
        RegistryState& state = RegistryState::Instance();
        std::unique_lock<std::mutex> lock = state.Lock();
        if (!state.Close(hKey))
            return Fail(kCall, ERROR_INVALID_HANDLE, "not an open registry key");
        return ERROR_SUCCESS;
    });
}

LSTATUS RegSetValueEx(HKEY hKey, const char* valueName, DWORD /*reserved*/, DWORD type,
                      const BYTE* data, DWORD dataSize)
{
    constexpr char kCall[] = "RegSetValueEx";
    return Guarded(kCall, [&]() -> LSTATUS {
        if (!data && dataSize != 0)
            return Fail(kCall, ERROR_INVALID_PARAMETER,
                        "no data given for " + std::to_string(dataSize) + " bytes");
        if (type == REG_DWORD && dataSize != sizeof(DWORD))
            return Fail(kCall, ERROR_INVALID_PARAMETER,
                        "a REG_DWORD value has 4 bytes, not " + std::to_string(dataSize));
        Result<KeyCall> call = Enter(hKey);
        if (!call)
            return Fail(kCall, call.error());
        Result<void> written = call->Store().WriteValue(call->key, Text(valueName), type,
                                                        std::span<const BYTE>(data, dataSize));
        if (!written)
            return Fail(kCall, written.error());
        return Succeed();
    });
}

LSTATUS RegQueryValueEx(HKEY hKey, const char* valueName, DWORD* reserved, DWORD* type, BYTE* data,
                        DWORD* dataSize)
{
    constexpr char kCall[] = "RegQueryValueEx";
    return Guarded(kCall, [&]() -> LSTATUS {
        if (reserved)
            return Fail(kCall, ERROR_INVALID_PARAMETER, "the reserved argument must be null");
        if (data && !dataSize)
            return Fail(kCall, ERROR_INVALID_PARAMETER, "a data buffer was given without its size");
        Result<KeyCall> call = Enter(hKey);
        if (!call)
            return Fail(kCall, call.error());
        DWORD capacity = data ? *dataSize : 0;
        Result<ValueInfo> value =
            call->Store().ReadValue(call->key, Text(valueName), data, capacity);
        if (!value)
            return Fail(kCall, value.error());
        if (type)
            *type = value->type;
        if (dataSize)
            *dataSize = value->size;
        if (data && value->size > capacity)
            return Fail(kCall, ERROR_MORE_DATA,
                        ValueLabel(valueName) + " of key " + std::string(call->key.path) + " has " +
                            std::to_string(value->size) + " bytes; the buffer holds " +
                            std::to_string(capacity));
        return Succeed();
    });
}

LSTATUS RegDeleteValue(HKEY hKey, const char* valueName)
{
    constexpr char kCall[] = "RegDeleteValue";
    return Guarded(kCall, [&]() -> LSTATUS {
        Result<KeyCall> call = Enter(hKey);
        if (!call)
            return Fail(kCall, call.error());
        Result<void> deleted = call->Store().DeleteValue(call->key, Text(valueName));
        if (!deleted)
            return Fail(kCall, deleted.error());
        return Succeed();
    });
}

LSTATUS RegDeleteKey(HKEY hKey, const char* subKey)
{
    constexpr char kCall[] = "RegDeleteKey";
    return Guarded(kCall, [&]() -> LSTATUS {
        if (!subKey)
            return Fail(kCall, ERROR_INVALID_PARAMETER, "no subkey named");
        Result<KeyPath> path = SplitKeyPath(subKey);
        if (!path)
            return Fail(kCall, path.error());
        Result<KeyCall> call = Enter(hKey);
        if (!call)
            return Fail(kCall, call.error());
        Result<void> deleted = call->Store().Delete(call->key, *path);
        if (!deleted)
            return Fail(kCall, deleted.error());
        return Succeed();
    });
}

LSTATUS RegDeleteTree(HKEY hKey, const char* subKey)
{
    constexpr char kCall[] = "RegDeleteTree";
    return Guarded(kCall, [&]() -> LSTATUS {
        Result<KeyPath> path = SplitKeyPath(Text(subKey));
        if (!path)
            return Fail(kCall, path.error());
        Result<KeyCall> call = Enter(hKey);
        if (!call)
            return Fail(kCall, call.error());
        Result<void> deleted = call->Store().DeleteTree(call->key, *path);
        if (!deleted)
            return Fail(kCall, deleted.error());
        return Succeed();
    });
}

LSTATUS RegEnumKeyEx(HKEY hKey, DWORD index, char* name, DWORD* nameSize, DWORD* /*reserved*/,
                     char* keyClass, DWORD* classSize, FILETIME* lastWriteTime)
{
    constexpr char kCall[] = "RegEnumKeyEx";
    return Guarded(kCall, [&]() -> LSTATUS {
        if (!name || !nameSize)
            return Fail(kCall, ERROR_INVALID_PARAMETER, "no buffer given for the name");
        Result<KeyCall> call = Enter(hKey);
        if (!call)
            return Fail(kCall, call.error());
        Result<std::string> subkey = call->Store().SubkeyName(call->key, index);
        if (!subkey)
            return Fail(kCall, subkey.error());

        DWORD capacity = *nameSize;
        *nameSize = static_cast<DWORD>(subkey->size());
        if (subkey->size() >= capacity)
            return Fail(kCall, ERROR_MORE_DATA,
                        "subkey \"" + *subkey + "\" needs " + std::to_string(subkey->size() + 1) +
                            " characters; the buffer holds " + std::to_string(capacity));
        std::memcpy(name, subkey->c_str(), subkey->size() + 1);
        // Keys have no class and no recorded write time here.
        if (classSize) {
            if (keyClass && *classSize > 0)
                keyClass[0] = '\0';
            *classSize = 0;
        }
        if (lastWriteTime)
            *lastWriteTime = FILETIME{0, 0};
        return Succeed();
    });
}

LSTATUS RegEnumValue(HKEY hKey, DWORD index, char* valueName, DWORD* valueNameSize, DWORD* reserved,
                     DWORD* type, BYTE* data, DWORD* dataSize)
{
    constexpr char kCall[] = "RegEnumValue";
    return Guarded(kCall, [&]() -> LSTATUS {
        if (!valueName || !valueNameSize)
            return Fail(kCall, ERROR_INVALID_PARAMETER, "no buffer given for the name");
        if (reserved)
            return Fail(kCall, ERROR_INVALID_PARAMETER, "the reserved argument must be null");
        if (data && !dataSize)
            return Fail(kCall, ERROR_INVALID_PARAMETER, "a data buffer was given without its size");
        Result<KeyCall> call = Enter(hKey);
        if (!call)
            return Fail(kCall, call.error());
        Result<std::string> name = call->Store().ValueNameAt(call->key, index);
        if (!name)
            return Fail(kCall, name.error());

        const DWORD nameCapacity = *valueNameSize;
        *valueNameSize = static_cast<DWORD>(name->size());
        if (name->size() >= nameCapacity)
            return Fail(kCall, ERROR_MORE_DATA,
                        "value name \"" + *name + "\" needs " + std::to_string(name->size() + 1) +
                            " characters; the buffer holds " + std::to_string(nameCapacity));
        std::memcpy(valueName, name->c_str(), name->size() + 1);

        const DWORD capacity = data ? *dataSize : 0;
        Result<ValueInfo> value = call->Store().ReadValue(call->key, *name, data, capacity);
        if (!value)
            return Fail(kCall, value.error());
        if (type)
            *type = value->type;
        if (dataSize)
            *dataSize = value->size;
        if (data && value->size > capacity)
            return Fail(kCall, ERROR_MORE_DATA,
                        ValueLabel(name->c_str()) + " of key " + std::string(call->key.path) +
                            " has " + std::to_string(value->size) + " bytes; the buffer holds " +
                            std::to_string(capacity));
        return Succeed();
    });
}

std::string RegLastErrorText()
{
    return t_lastError;
}

namespace ospreon::registry {

namespace {

LSTATUS WrongType(const char* call, const char* valueName, DWORD type, const char* wanted)
{
    return Fail(call, ERROR_INVALID_PARAMETER,
                ValueLabel(valueName) + " has type " + std::to_string(type) + ", not " + wanted);
}

} // namespace

LSTATUS SetString(HKEY key, const char* valueName, const std::string& value)
{
    constexpr char kCall[] = "SetString";
    return Guarded(kCall, [&]() -> LSTATUS {
        if (value.size() >= std::numeric_limits<DWORD>::max())
            return Fail(kCall, ERROR_INVALID_PARAMETER, "text too long for a registry value");
        return RegSetValueEx(key, valueName, 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(value.c_str()),
                             static_cast<DWORD>(value.size() + 1));
    });
}

LSTATUS GetString(HKEY key, const char* valueName, std::string& value)
{
    constexpr char kCall[] = "GetString";
    return Guarded(kCall, [&]() -> LSTATUS {
        std::string text(256, '\0');
        DWORD type = REG_NONE;
        DWORD size = static_cast<DWORD>(text.size());
        LSTATUS status;
        // The value may grow between two reads by another writer: ask again until it fits.
        while ((status = RegQueryValueEx(key, valueName, nullptr, &type,
                                         reinterpret_cast<BYTE*>(text.data()), &size)) ==
               ERROR_MORE_DATA) {
            text.resize(size);
        }
        if (status != ERROR_SUCCESS)
            return status;
        if (type != REG_SZ && type != REG_EXPAND_SZ)
            return WrongType(kCall, valueName, type, "REG_SZ or REG_EXPAND_SZ");
        text.resize(size);
        while (!text.empty() && text.back() == '\0')
            text.pop_back();
        value = std::move(text);
        return Succeed();
    });
}

LSTATUS SetDword(HKEY key, const char* valueName, DWORD value)
{
    return RegSetValueEx(key, valueName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                         sizeof(value));
}

LSTATUS GetDword(HKEY key, const char* valueName, DWORD& value)
{
    constexpr char kCall[] = "GetDword";
    return Guarded(kCall, [&]() -> LSTATUS {
        DWORD type = REG_NONE;
        DWORD data = 0;
        DWORD size = sizeof(data);
        LSTATUS status =
            RegQueryValueEx(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size);
        if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA)
            return status;
        if (type != REG_DWORD || size != sizeof(data))
            return WrongType(kCall, valueName, type, "REG_DWORD");
        value = data;
        return Succeed();
    });
}

} // namespace ospreon::registry

namespace ospreon::registry {

Transaction::Transaction()
{
    constexpr char kCall[] = "registry transaction";
    m_status = Guarded(kCall, [&]() -> LSTATUS {
        RegistryState& state = RegistryState::Instance();
        std::unique_lock<std::mutex> lock = state.Lock();
        if (Result<void> begun = state.BeginTransaction(lock); !begun)
            return Fail(kCall, begun.error());
        m_open = true;
        return Succeed();
    });
}

Transaction::~Transaction()
{
    if (!m_open)
        return;
    RegistryState& state = RegistryState::Instance();
    std::unique_lock<std::mutex> lock = state.Lock();
    (void)state.EndTransaction(false);
}

LSTATUS Transaction::Commit()
{
    constexpr char kCall[] = "registry transaction";
    if (!m_open)
        return m_status == ERROR_SUCCESS ? ERROR_INVALID_FUNCTION : m_status;
    m_open = false;
    return Guarded(kCall, [&]() -> LSTATUS {
        RegistryState& state = RegistryState::Instance();
        std::unique_lock<std::mutex> lock = state.Lock();
        if (Result<void> ended = state.EndTransaction(true); !ended)
            return Fail(kCall, ended.error());
        return Succeed();
    });
}

} // namespace ospreon::registry
