// The store on the SQLite layer: its schema, the files it refuses, record identities
// and the reload generation.

#include <fstream>

#include <gtest/gtest.h>

#include "interfaces/service_errors.h"
#include "service/store/database.h"
#include "service/store/meta_table.h"
#include "service/store/record_table.h"
#include "service/store/schema.h"
#include "tests/support/raw_database.h"
#include "tests/support/temp_home.h"

namespace ospreon::test {
namespace {

using store::Database;
using store::RecordTable;

std::shared_ptr<Database> OpenOrFail(const std::filesystem::path& file)
{
    Result<std::shared_ptr<Database>> db = store::Open(file);
    EXPECT_TRUE(db.ok()) << (db ? "" : db.error().message);
    return db ? *db : nullptr;
}

TEST(StoreFile, HoldsTheStoreSchemaAndRefusesForeignFilesWithTheStoreCode)
{
    TempDir dir;
    const std::filesystem::path file = dir.path() / "wardenhost.db";
    std::shared_ptr<Database> db = OpenOrFail(file);
    ASSERT_TRUE(db);
    ASSERT_TRUE(RecordTable(*db).Add({"Pagewarden of a", "Pagewarden", {{"Status", "Disable"}}}));
    RawDatabase raw(file);
    EXPECT_EQ(raw.Scalar("SELECT group_concat(name, ',') FROM (SELECT name FROM sqlite_schema "
                         "WHERE type = 'table' AND name NOT LIKE 'sqlite%' ORDER BY name)"),
              "config,meta,monitor_state,params,records");
    EXPECT_EQ(raw.Scalar("PRAGMA user_version"), std::to_string(store::kSchemaVersion));
    EXPECT_EQ(raw.Scalar("PRAGMA application_id"), std::to_string(store::kApplicationId));
    EXPECT_EQ(raw.Scalar("SELECT group_concat(name || '=' || value, ',') FROM meta"),
              "generation=0,records_version=1,settings_version=2");
    db.reset();
    std::shared_ptr<Database> again = OpenOrFail(file);
    ASSERT_TRUE(again);
    EXPECT_EQ(*RecordTable(*again).ReadAll(),
              (std::vector<store::RecordData>{
                  {"Pagewarden of a", "Pagewarden", {{"Status", "Disable"}}}}));

    // Stores are never adopted without their mark, unlike old registries.
    const std::filesystem::path unmarked = dir.path() / "unmarked.db";
    RawDatabase(unmarked).Exec("CREATE TABLE records(x); PRAGMA user_version = 1");
    const std::filesystem::path text = dir.path() / "text.db";
    std::ofstream(text) << std::string(5000, 'q');
    for (const std::filesystem::path& foreign : {unmarked, text}) {
        Result<std::shared_ptr<Database>> refused = store::Open(foreign);
        ASSERT_FALSE(refused.ok()) << foreign;
        EXPECT_EQ(refused.error().code, WARDEN_E_STORE);
        EXPECT_NE(refused.error().message.find("store " + foreign.string()), std::string::npos)
            << refused.error().message;
    }
}

TEST(StoreRecords, IdentitiesAreNeverReused)
{
    TempDir dir;
    std::shared_ptr<Database> db = OpenOrFail(dir.path() / "wardenhost.db");
    RecordTable records(*db);
    Result<store::RecordId> first = records.Add({"Pagewarden of a", "Pagewarden", {}});
    ASSERT_TRUE(first);
    ASSERT_TRUE(records.Remove("PAGEWARDEN OF A"));
    Result<store::RecordId> second = records.Add({"Pagewarden of a", "Pagewarden", {}});
    ASSERT_TRUE(second);
    EXPECT_NE(*first, *second);
    Result<std::optional<std::string>> gone = records.Value(*first, "Status");
    ASSERT_FALSE(gone);
    EXPECT_EQ(gone.error().code, WARDEN_E_RECORDGONE);

    Result<store::RecordId> twice =
        records.Add({"Pagewarden of b", "Pagewarden", {{"k", "1"}, {"k", "2"}}});
    ASSERT_FALSE(twice);
    EXPECT_EQ(twice.error().code, E_INVALIDARG);
    EXPECT_EQ(*records.Count(), 1);
}

TEST(StoreMeta, GenerationMovesOnlyForTheStoredControlPassword)
{
    TempDir dir;
    std::shared_ptr<Database> db = OpenOrFail(dir.path() / "wardenhost.db");
    store::MetaTable meta(*db);
    EXPECT_EQ(*meta.Generation(), 0);
    EXPECT_EQ(*meta.Reload(""), false);
    RawDatabase(dir.path() / "wardenhost.db")
        .Exec(
            "INSERT INTO config(section, name, value) VALUES ('WARDENHOST', 'controlpass', 'pw')");
    EXPECT_EQ(*meta.Reload("PW"), false);
    EXPECT_EQ(*meta.Generation(), 0);
    EXPECT_EQ(*meta.Reload("pw"), true);
    EXPECT_EQ(*meta.Generation(), 1);
}

} // namespace
} // namespace ospreon::test
