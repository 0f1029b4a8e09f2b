#pragma once
// The registry stand-in: the Win32 registry calls over $OSPREON_HOME/registry.db
// (SQLite, WAL, busy timeout), safe between threads and processes.
//
// Two root keys exist: HKEY_CLASSES_ROOT and HKEY_LOCAL_MACHINE. Key paths use
// backslashes; one trailing backslash is tolerated, while a leading one or two in a
// row (an empty key name) are ERROR_INVALID_PARAMETER. Key and value names compare
// without regard to ASCII letter case and keep the case they were created with.
// An empty or null value name is the key's default value. Values are stored as
// their type and raw bytes (REG_SZ data is what the caller passed, its terminating
// zero included). Access masks, options and security attributes are accepted and
// ignored: the file's permissions are the only access control. Every call returns
// a Win32 error code; RegLastErrorText() gives the text of the last failure on this
// thread (SQLite's message, the file).
//
// A handle whose key was deleted meanwhile, by any handle or process, gives
// ERROR_KEY_DELETED; one opened before $OSPREON_HOME changed gives
// ERROR_INVALID_HANDLE. A database that cannot be used gives ERROR_CANTOPEN (no
// file can be opened there), ERROR_BADDB (not a registry database, damaged, or of
// a newer schema), ERROR_TIMEOUT (locked by another writer beyond the busy
// timeout), ERROR_CANTREAD or ERROR_CANTWRITE (I/O errors).

#include <cstdint>
#include <string>

#include "platform/wintypes/winerror.h"
#include "platform/wintypes/wintypes.h"

struct RegistryKeyHandle;
using HKEY = RegistryKeyHandle*;
using PHKEY = HKEY*;

inline const HKEY HKEY_CLASSES_ROOT = reinterpret_cast<HKEY>(std::uintptr_t{0x80000000});
inline const HKEY HKEY_LOCAL_MACHINE = reinterpret_cast<HKEY>(std::uintptr_t{0x80000002});

inline constexpr DWORD REG_NONE = 0;
inline constexpr DWORD REG_SZ = 1;
inline constexpr DWORD REG_EXPAND_SZ = 2;
inline constexpr DWORD REG_BINARY = 3;
inline constexpr DWORD REG_DWORD = 4;
inline constexpr DWORD REG_MULTI_SZ = 7;

inline constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
inline constexpr DWORD REG_CREATED_NEW_KEY = 1;
inline constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

inline constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
inline constexpr REGSAM KEY_SET_VALUE = 0x0002;
inline constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
inline constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
inline constexpr REGSAM KEY_READ = 0x20019;
inline constexpr REGSAM KEY_WRITE = 0x20006;
inline constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

struct FILETIME
{
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};

// Opens, or creates with its missing parents, hKey\subKey. `disposition` (optional)
// tells which happened.
LSTATUS RegCreateKeyEx(HKEY hKey, const char* subKey, DWORD reserved, char* keyClass, DWORD options,
                       REGSAM samDesired, void* securityAttributes, PHKEY result,
                       DWORD* disposition);

// Opens hKey\subKey; a null or empty subKey opens hKey itself again.
// ERROR_FILE_NOT_FOUND when it does not exist.
LSTATUS RegOpenKeyEx(HKEY hKey, const char* subKey, DWORD options, REGSAM samDesired, PHKEY result);

LSTATUS RegCloseKey(HKEY hKey);

LSTATUS RegSetValueEx(HKEY hKey, const char* valueName, DWORD reserved, DWORD type,
                      const BYTE* data, DWORD dataSize);

// Win32 rules: `data` null asks only for type and size; a buffer too small gives
// ERROR_MORE_DATA with the size needed in *dataSize.
LSTATUS RegQueryValueEx(HKEY hKey, const char* valueName, DWORD* reserved, DWORD* type, BYTE* data,
                        DWORD* dataSize);

LSTATUS RegDeleteValue(HKEY hKey, const char* valueName);

// Deletes hKey\subKey with its values; ERROR_ACCESS_DENIED while it has subkeys
// (and for a root key). An empty subKey names hKey itself; a null one is
// ERROR_INVALID_PARAMETER.
LSTATUS RegDeleteKey(HKEY hKey, const char* subKey);

// Deletes the subkeys and values of hKey\subKey, and the key itself when subKey is
// given; with a null or empty subKey hKey is emptied but kept.
LSTATUS RegDeleteTree(HKEY hKey, const char* subKey);

// The index-th subkey name in case-insensitive alphabetical order;
// ERROR_NO_MORE_ITEMS past the last. *nameSize: buffer size in characters (with
// the terminating zero) in, name length (without it) out; on ERROR_MORE_DATA too,
// so a buffer of *nameSize + 1 then fits. Keys have no class (*classSize = 0) and
// *lastWriteTime is zero.
LSTATUS RegEnumKeyEx(HKEY hKey, DWORD index, char* name, DWORD* nameSize, DWORD* reserved,
                     char* keyClass, DWORD* classSize, FILETIME* lastWriteTime);

// The index-th value of hKey in case-insensitive order of names (the default value,
// named "", first): its name, and optionally its type and data with the size rules
// of RegQueryValueEx. ERROR_NO_MORE_ITEMS past the last; *valueNameSize: buffer size
// in, name length out.
LSTATUS RegEnumValue(HKEY hKey, DWORD index, char* valueName, DWORD* valueNameSize, DWORD* reserved,
                     DWORD* type, BYTE* data, DWORD* dataSize);

// The text of the last failure of a registry call on this thread ("" after success;
// a successful RegCloseKey leaves it alone, so an owner closing its key does not
// wipe the reason why it gave up).
std::string RegLastErrorText();

namespace ospreon::registry {

// Owns an open key and closes it.
class Key
{
public:
    Key() = default;
    explicit Key(HKEY key) : m_key(key) {}
    Key(Key&& other) noexcept : m_key(other.release()) {}
    Key& operator=(Key&& other) noexcept
    {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    ~Key() { reset(); }

    HKEY get() const { return m_key; }
    explicit operator bool() const { return m_key != nullptr; }
    HKEY release()
    {
        HKEY key = m_key;
        m_key = nullptr;
        return key;
    }
    void reset(HKEY key = nullptr)
    {
        if (m_key)
            (void)RegCloseKey(m_key);
        m_key = key;
    }
    // Out-parameter for the Reg* calls: closes what is held first.
    PHKEY put()
    {
        reset();
        return &m_key;
    }

private:
    HKEY m_key = nullptr;
};

// Convenience reads and writes of text and DWORD values. Text is written as REG_SZ
// with its terminating zero and read back without it. GetString reads REG_SZ and
// REG_EXPAND_SZ (trailing zeros dropped, nothing expanded), GetDword only
// REG_DWORD; a value of another type is ERROR_INVALID_PARAMETER. The output is
// changed only on success.
[[nodiscard]] LSTATUS SetString(HKEY key, const char* valueName, const std::string& value);
[[nodiscard]] LSTATUS GetString(HKEY key, const char* valueName, std::string& value);
[[nodiscard]] LSTATUS SetDword(HKEY key, const char* valueName, DWORD value);
[[nodiscard]] LSTATUS GetDword(HKEY key, const char* valueName, DWORD& value);

// A registry transaction of this thread: the registry calls it makes until Commit
// are seen by other threads and processes all at once or not at all, and other
// threads' calls wait for its end. Commit writes nothing at all when the registry
// then holds exactly what it held when the transaction began, so handles that
// others hold stay valid. Without Commit everything is rolled back. Transactions
// nest: an inner one's changes are kept or undone with the outer one.
class Transaction
{
public:
    Transaction();
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    // ERROR_SUCCESS when the transaction began; RegLastErrorText() says why not.
    LSTATUS status() const { return m_status; }
    [[nodiscard]] LSTATUS Commit();

private:
    LSTATUS m_status;
    bool m_open = false;
};

// Runs the registration steps `steps` (which return an HRESULT) as one
// Transaction, committed when they succeed: another process sees the old
// registration or the new one, never none, and one that changes nothing writes
// nothing. REGDB_E_WRITEREGDB when the transaction cannot begin or commit.
template <class Steps> HRESULT RegisterAtomically(Steps&& steps)
{
    Transaction transaction;
    if (transaction.status() != ERROR_SUCCESS)
        return REGDB_E_WRITEREGDB;
    const HRESULT hr = steps();
    if (FAILED(hr))
        return hr;
    return transaction.Commit() == ERROR_SUCCESS ? hr : REGDB_E_WRITEREGDB;
}

} // namespace ospreon::registry
