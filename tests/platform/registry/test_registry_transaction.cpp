// Registry transactions: all at once or not at all for other connections, nested
// ones kept or undone with the outer one, a commit that changes nothing writes
// nothing, and other threads wait for the end.

#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include "platform/registry/registry.h"
#include "tests/platform/registry/registry_test_helpers.h"
#include "tests/support/temp_home.h"

namespace ospreon::registry::test {
namespace {

class RegistryTransaction : public ::testing::Test
{
protected:
    RegistryTransaction() { CreateKey(HKEY_LOCAL_MACHINE, "SOFTWARE"); }

    RawDatabase Raw() const { return RawDatabase(m_home.path() / "registry.db"); }
    std::string CountKeys(const char* name) const
    {
        return Raw().Scalar(
            ("SELECT count(*) FROM keys WHERE name = '" + std::string(name) + "'").c_str());
    }

    ospreon::test::TempHome m_home;
};

TEST_F(RegistryTransaction, OthersSeeEveryChangeAtOnceOrNone)
{
    {
        Transaction transaction;
        ASSERT_EQ(transaction.status(), ERROR_SUCCESS) << RegLastErrorText();
        Key first = CreateKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\First");
        ASSERT_EQ(SetString(first.get(), "Name", "one"), ERROR_SUCCESS);
        CreateKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Second");
        EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\First")) << "its own changes show";
        EXPECT_EQ(CountKeys("First"), "0");
        ASSERT_EQ(transaction.Commit(), ERROR_SUCCESS) << RegLastErrorText();
    }
    EXPECT_EQ(CountKeys("First"), "1");
    EXPECT_EQ(CountKeys("Second"), "1");

    {
        Transaction outer;
        CreateKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Third");
        {
            Transaction inner;
            CreateKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Fourth");
            ASSERT_EQ(inner.Commit(), ERROR_SUCCESS);
        }
        // The outer one ends without Commit: both keys go.
    }
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Third"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Fourth"));
    EXPECT_EQ(CountKeys("Fourth"), "0");
}

TEST_F(RegistryTransaction, RewritingTheSameKeysWritesNothingAndKeepsHandlesValid)
{
    auto writeClass = [] {
        Key key = CreateKey(HKEY_CLASSES_ROOT, "CLSID\\{X}\\InprocServer32");
        return SetString(key.get(), nullptr, "/opt/x.so");
    };
    ASSERT_EQ(writeClass(), ERROR_SUCCESS);
    Key held;
    ASSERT_EQ(OpenKey(HKEY_CLASSES_ROOT, "CLSID\\{X}\\InprocServer32", held), ERROR_SUCCESS);
    RawDatabase raw = Raw();
    const std::string version = raw.Scalar("PRAGMA data_version");

    {
        // Removed and written again, as a registration does.
        Transaction transaction;
        ASSERT_EQ(RegDeleteTree(HKEY_CLASSES_ROOT, "CLSID\\{X}"), ERROR_SUCCESS);
        ASSERT_EQ(writeClass(), ERROR_SUCCESS);
        ASSERT_EQ(transaction.Commit(), ERROR_SUCCESS);
    }
    EXPECT_EQ(raw.Scalar("PRAGMA data_version"), version) << "the database was written";
    EXPECT_EQ(ReadString(held.get(), nullptr), "/opt/x.so");

    {
        Transaction transaction;
        ASSERT_EQ(RegDeleteTree(HKEY_CLASSES_ROOT, "CLSID\\{X}"), ERROR_SUCCESS);
        Key key = CreateKey(HKEY_CLASSES_ROOT, "CLSID\\{X}\\InprocServer32");
        ASSERT_EQ(SetString(key.get(), nullptr, "/opt/y.so"), ERROR_SUCCESS);
        ASSERT_EQ(transaction.Commit(), ERROR_SUCCESS);
    }
    EXPECT_NE(raw.Scalar("PRAGMA data_version"), version);
    std::string value;
    EXPECT_EQ(GetString(held.get(), nullptr, value), ERROR_KEY_DELETED);
}

TEST_F(RegistryTransaction, OtherThreadsWaitForItsEnd)
{
    auto transaction = std::make_unique<Transaction>();
    CreateKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Mine");
    auto other = std::async(std::launch::async, [] {
        Key key;
        return OpenKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Mine", key);
    });
    EXPECT_EQ(other.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout)
        << "another thread saw the transaction before its end";
    ASSERT_EQ(transaction->Commit(), ERROR_SUCCESS);
    transaction.reset();
    EXPECT_EQ(other.get(), ERROR_SUCCESS);
}

} // namespace
} // namespace ospreon::registry::test
