#include "platform/registry/key_store.h"

#include <algorithm>

#include "platform/sqlite/connection.h"
#include "platform/sqlite/transaction.h"
#include "platform/wintypes/winerror.h"

namespace ospreon::registry {

namespace {

// Statements used in more than one place; the others stand where they are used.
constexpr char kDeleteKeyValues[] = "DELETE FROM key_values WHERE key = ?1";
constexpr char kDeleteKey[] = "DELETE FROM keys WHERE id = ?1";
// The descendants of ?1 (not ?1 itself), found by walking down the parent links.
constexpr char kDeleteTreeValues[] =
    "WITH RECURSIVE tree(id) AS (SELECT id FROM keys WHERE parent = ?1 "
    "UNION ALL SELECT keys.id FROM keys JOIN tree ON keys.parent = tree.id) "
    "DELETE FROM key_values WHERE key IN (SELECT id FROM tree)";
constexpr char kDeleteTreeKeys[] =
    "WITH RECURSIVE tree(id) AS (SELECT id FROM keys WHERE parent = ?1 "
    "UNION ALL SELECT keys.id FROM keys JOIN tree ON keys.parent = tree.id) "
    "DELETE FROM keys WHERE id IN (SELECT id FROM tree)";
// Ordered by the NOCASE column, so the index on (parent, name) gives the order.
constexpr char kSubkeyAt[] =
    "SELECT name FROM keys WHERE parent = ?1 ORDER BY name LIMIT 1 OFFSET ?2";
// Value names in the same order as subkeys; the default value ("") comes first.
constexpr char kValueAt[] =
    "SELECT name FROM key_values WHERE key = ?1 ORDER BY name LIMIT 1 OFFSET ?2";
// One statement, so "key gone" and "value not set" come from the same snapshot.
constexpr char kReadValue[] = "SELECT v.type, v.data FROM keys k "
                              "LEFT JOIN key_values v ON v.key = k.id AND v.name = ?2 "
                              "WHERE k.id = ?1";
// A value set again keeps the spelling of its name from the first time.
constexpr char kWriteValue[] = "INSERT INTO key_values(key, name, type, data) "
                               "VALUES (?1, ?2, ?3, ?4) ON CONFLICT(key, name) "
                               "DO UPDATE SET type = excluded.type, data = excluded.data";
constexpr char kDeleteValue[] = "DELETE FROM key_values WHERE key = ?1 AND name = ?2";

std::string Join(std::string_view base, const KeyPath& path)
{
    std::string joined(base);
    for (std::string_view name : path) {
        joined += '\\';
        joined += name;
    }
    return joined;
}

Error KeyDeleted(const KeyRef& key)
{
    return Error::Win32(ERROR_KEY_DELETED, "key " + std::string(key.path) + " has been deleted");
}

Error ValueMissing(const KeyRef& key, std::string_view name)
{
    if (name.empty())
        return Error::Win32(ERROR_FILE_NOT_FOUND,
                            "key " + std::string(key.path) + " has no default value");
    return Error::Win32(ERROR_FILE_NOT_FOUND, "key " + std::string(key.path) + " has no value \"" +
                                                  std::string(name) + "\"");
}

} // namespace

Result<bool> KeyStore::Exists(std::int64_t id)
{
    static constexpr char kKeyExists[] = "SELECT 1 FROM keys WHERE id = ?1";
    Result<std::optional<std::int64_t>> found = m_connection.QueryInt(kKeyExists, id);
    if (!found)
        return found.error();
    return found->has_value();
}

Result<void> KeyStore::RequireKey(const KeyRef& key)
{
    Result<bool> exists = Exists(key.id);
    if (!exists)
        return exists.error();
    if (!*exists)
        return KeyDeleted(key);
    return {};
}

Result<std::optional<std::int64_t>> KeyStore::Child(std::int64_t parent, std::string_view name)
{
    static constexpr char kFindChild[] = "SELECT id FROM keys WHERE parent = ?1 AND name = ?2";
    return m_connection.QueryInt(kFindChild, parent, name);
}

Result<bool> KeyStore::HasChildren(std::int64_t id)
{
    static constexpr char kHasChildren[] = "SELECT 1 FROM keys WHERE parent = ?1 LIMIT 1";
    Result<std::optional<std::int64_t>> found = m_connection.QueryInt(kHasChildren, id);
    if (!found)
        return found.error();
    return found->has_value();
}

Result<void> KeyStore::RunOnKey(const char* sql, std::int64_t id)
{
    return m_connection.Run(sql, id);
}

Error KeyStore::Missing(const KeyRef& base, const KeyPath& path)
{
    if (Result<void> present = RequireKey(base); !present)
        return present.error();
    return Error::Win32(ERROR_FILE_NOT_FOUND, "key " + Join(base.path, path) + " does not exist");
}

Result<std::int64_t> KeyStore::Find(const KeyRef& base, const KeyPath& path)
{
    // A key's subkeys go with it, so a path that is found proves that the base
    // exists too; only a miss needs to ask which of the two is missing.
    std::int64_t id = base.id;
    if (path.empty()) {
        if (Result<void> present = RequireKey(base); !present)
            return present.error();
        return id;
    }
    sqlite::Transaction snapshot(m_connection, sqlite::Transaction::Kind::Deferred);
    if (!snapshot.ok())
        return snapshot.error();
    for (std::string_view name : path) {
        Result<std::optional<std::int64_t>> child = Child(id, name);
        if (!child)
            return child.error();
        if (!*child)
            return Missing(base, path);
        id = **child;
    }
    return id;
}

Result<CreatedKey> KeyStore::Create(const KeyRef& base, const KeyPath& path)
{
    sqlite::Transaction transaction(m_connection);
    if (!transaction.ok())
        return transaction.error();
    if (Result<void> present = RequireKey(base); !present)
        return present.error();

    CreatedKey key{base.id, false};
    for (std::string_view name : path) {
        Result<std::optional<std::int64_t>> child = Child(key.id, name);
        if (!child)
            return child.error();
        if (*child) {
            key = {**child, false};
            continue;
        }
        static constexpr char kInsertKey[] = "INSERT INTO keys(parent, name) VALUES (?1, ?2)";
        if (Result<void> inserted = m_connection.Run(kInsertKey, key.id, name); !inserted)
            return inserted.error();
        key = {m_connection.LastInsertId(), true};
    }
    if (Result<void> committed = transaction.Commit(); !committed)
        return committed.error();
    return key;
}

Result<void> KeyStore::Delete(const KeyRef& base, const KeyPath& path)
{
    sqlite::Transaction transaction(m_connection);
    if (!transaction.ok())
        return transaction.error();
    Result<std::int64_t> id = Find(base, path);
    if (!id)
        return id.error();
    if (*id == kClassesRootId || *id == kLocalMachineId)
        return Error::Win32(ERROR_ACCESS_DENIED, "key " + Join(base.path, path) +
                                                     " is a root key and cannot be deleted");
    Result<bool> hasChildren = HasChildren(*id);
    if (!hasChildren)
        return hasChildren.error();
    if (*hasChildren)
        return Error::Win32(ERROR_ACCESS_DENIED,
                            "key " + Join(base.path, path) + " has subkeys and cannot be deleted");
    if (Result<void> values = RunOnKey(kDeleteKeyValues, *id); !values)
        return values.error();
    if (Result<void> key = RunOnKey(kDeleteKey, *id); !key)
        return key.error();
    return transaction.Commit();
}

Result<void> KeyStore::DeleteTree(const KeyRef& base, const KeyPath& path)
{
    sqlite::Transaction transaction(m_connection);
    if (!transaction.ok())
        return transaction.error();
    Result<std::int64_t> id = Find(base, path);
    if (!id)
        return id.error();
    // Values first: finding them needs the key rows that the second step removes.
    for (const char* sql : {kDeleteTreeValues, kDeleteTreeKeys, kDeleteKeyValues}) {
        if (Result<void> deleted = RunOnKey(sql, *id); !deleted)
            return deleted.error();
    }
    if (!path.empty()) {
        if (Result<void> deleted = RunOnKey(kDeleteKey, *id); !deleted)
            return deleted.error();
    }
    return transaction.Commit();
}

Result<std::string> KeyStore::NameAt(const char* sql, const KeyRef& key, DWORD index,
                                     const char* what)
{
    Result<std::optional<std::string>> name = m_connection.QueryRow(
        sql, [](const sqlite::Statement& row) { return std::string(row.Text(0)); }, key.id, index);
    if (!name)
        return name.error();
    if (*name)
        return std::move(**name);
    // A deleted key has no subkeys or values left either: tell the two cases apart.
    if (Result<void> present = RequireKey(key); !present)
        return present.error();
    return Error::Win32(ERROR_NO_MORE_ITEMS, "key " + std::string(key.path) + " has no " + what +
                                                 " number " + std::to_string(index));
}

Result<std::string> KeyStore::SubkeyName(const KeyRef& key, DWORD index)
{
    return NameAt(kSubkeyAt, key, index, "subkey");
}

Result<std::string> KeyStore::ValueNameAt(const KeyRef& key, DWORD index)
{
    return NameAt(kValueAt, key, index, "value");
}

Result<ValueInfo> KeyStore::ReadValue(const KeyRef& key, std::string_view name, BYTE* buffer,
                                      DWORD capacity)
{
    Result<sqlite::Statement> query = m_connection.Prepare(kReadValue);
    if (!query)
        return query.error();
    Result<bool> row = query->BindAll(key.id, name).Step();
    if (!row)
        return row.error();
    if (!*row)
        return KeyDeleted(key);
    if (query->IsNull(0))
        return ValueMissing(key, name);
    std::span<const BYTE> data = query->Blob(1);
    ValueInfo info{static_cast<DWORD>(query->Int(0)), static_cast<DWORD>(data.size())};
    if (buffer && !data.empty() && data.size() <= capacity)
        std::copy(data.begin(), data.end(), buffer);
    return info;
}

Result<void> KeyStore::WriteValue(const KeyRef& key, std::string_view name, DWORD type,
                                  std::span<const BYTE> data)
{
    sqlite::Transaction transaction(m_connection);
    if (!transaction.ok())
        return transaction.error();
    if (Result<void> present = RequireKey(key); !present)
        return present.error();
    {
        Result<sqlite::Statement> query = m_connection.Prepare(kWriteValue);
        if (!query)
            return query.error();
        Result<void> written = query->BindAll(key.id, name, type).BindBlobNoCopy(4, data).Run();
        if (!written)
            return written.error();
    }
    return transaction.Commit();
}

Result<void> KeyStore::DeleteValue(const KeyRef& key, std::string_view name)
{
    sqlite::Transaction transaction(m_connection);
    if (!transaction.ok())
        return transaction.error();
    if (Result<void> present = RequireKey(key); !present)
        return present.error();
    if (Result<void> deleted = m_connection.Run(kDeleteValue, key.id, name); !deleted)
        return deleted.error();
    if (m_connection.Changes() == 0)
        return ValueMissing(key, name);
    return transaction.Commit();
}

Result<std::string> KeyStore::Snapshot()
{
    // Paths are built from the roots down; a key without values still shows.
    static constexpr char kEverything[] =
        "WITH RECURSIVE tree(id, path) AS (SELECT id, name FROM keys WHERE parent IS NULL "
        "UNION ALL SELECT keys.id, tree.path || '\\' || keys.name FROM keys "
        "JOIN tree ON keys.parent = tree.id) "
        "SELECT tree.path, v.name, v.type, v.data FROM tree "
        "LEFT JOIN key_values v ON v.key = tree.id ORDER BY tree.path, v.name";
    sqlite::Transaction snapshot(m_connection, sqlite::Transaction::Kind::Deferred);
    if (!snapshot.ok())
        return snapshot.error();
    Result<sqlite::Statement> query = m_connection.Prepare(kEverything);
    if (!query)
        return query.error();
    std::string text;
    for (;;) {
        Result<bool> row = query->Step();
        if (!row)
            return row.error();
        if (!*row)
            return text;
        // Lengths first, so that no text can pass for a field boundary.
        const std::string_view path = query->Text(0);
        text += std::to_string(path.size()) + ':';
        text += path;
        if (query->IsNull(1)) { // a key without values
            text += "-\n";
            continue;
        }
        const std::string_view name = query->Text(1);
        text += std::to_string(name.size()) + ':';
        text += name;
        const std::span<const std::uint8_t> data = query->Blob(3);
        text += std::to_string(query->Int(2)) + ':' + std::to_string(data.size()) + ':';
        text.append(data.begin(), data.end());
        text += '\n';
    }
}

} // namespace ospreon::registry
