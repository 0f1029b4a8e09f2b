#pragma once
// The registry's keys and values as rows of one connection's database. Every
// change is one IMMEDIATE transaction, and every call first checks that the key
// it starts from still exists: another handle or process may have deleted it.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/base/result.h"
#include "platform/registry/key_path.h"
#include "platform/wintypes/wintypes.h"

namespace ospreon::sqlite {
class Connection;
} // namespace ospreon::sqlite

namespace ospreon::registry {

// Row ids of the two roots, fixed by the schema.
inline constexpr std::int64_t kClassesRootId = 1;
inline constexpr std::int64_t kLocalMachineId = 2;

// A key as the calls see it: its row, and its path for messages.
struct KeyRef
{
    std::int64_t id = 0;
    std::string_view path;
};

struct ValueInfo
{
    DWORD type = 0;
    DWORD size = 0;
};

struct CreatedKey
{
    std::int64_t id = 0;
    bool created = false; // false when it existed already
};

class KeyStore
{
public:
    explicit KeyStore(sqlite::Connection& connection) : m_connection(connection) {}

    // The key at `path` under `base`; `base` itself for an empty path.
    [[nodiscard]] Result<std::int64_t> Find(const KeyRef& base, const KeyPath& path);
    // Finds or creates the key at `path` with its missing parents, all at once.
    [[nodiscard]] Result<CreatedKey> Create(const KeyRef& base, const KeyPath& path);
    // Deletes the key and its values; ERROR_ACCESS_DENIED for a root or a key
    // that has subkeys.
    [[nodiscard]] Result<void> Delete(const KeyRef& base, const KeyPath& path);
    // Deletes everything below the key and, unless `path` is empty, the key.
    [[nodiscard]] Result<void> DeleteTree(const KeyRef& base, const KeyPath& path);

    // The name of the index-th subkey in case-insensitive order.
    [[nodiscard]] Result<std::string> SubkeyName(const KeyRef& key, DWORD index);

    // Type and size of a value; its data is copied into `buffer` when it fits in
    // `capacity` bytes.
    // The index-th value name of `key` in case-insensitive order ("" is the default
    // value); ERROR_NO_MORE_ITEMS past the last.
    [[nodiscard]] Result<std::string> ValueNameAt(const KeyRef& key, DWORD index);
    [[nodiscard]] Result<ValueInfo> ReadValue(const KeyRef& key, std::string_view name,
                                              BYTE* buffer, DWORD capacity);
    [[nodiscard]] Result<void> WriteValue(const KeyRef& key, std::string_view name, DWORD type,
                                          std::span<const BYTE> data);
    [[nodiscard]] Result<void> DeleteValue(const KeyRef& key, std::string_view name);

    // The whole registry as text: every key's path with its values, in one order,
    // whatever the rows' ids. Two snapshots are equal when the registry holds the
    // same keys and values.
    [[nodiscard]] Result<std::string> Snapshot();

private:
    Result<bool> Exists(std::int64_t id);
    // Succeeds while the key exists, else ERROR_KEY_DELETED.
    Result<void> RequireKey(const KeyRef& key);
    Result<std::optional<std::int64_t>> Child(std::int64_t parent, std::string_view name);
    Result<bool> HasChildren(std::int64_t id);
    // The index-th name that `sql` lists for `key` (subkeys or values).
    Result<std::string> NameAt(const char* sql, const KeyRef& key, DWORD index, const char* what);
    Result<void> RunOnKey(const char* sql, std::int64_t id);
    // The error for `path` not found under `base`: ERROR_KEY_DELETED when `base`
    // itself is gone, else ERROR_FILE_NOT_FOUND.
    Error Missing(const KeyRef& base, const KeyPath& path);

    sqlite::Connection& m_connection;
};

} // namespace ospreon::registry
