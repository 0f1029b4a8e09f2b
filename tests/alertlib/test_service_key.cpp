// GetServicePluginKey: found only where the key exists, one handle per name that
// stays usable when the key or the whole registry is replaced underneath it.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "alertlib/alertlib.h"
#include "tests/alertlib/alertlib_test_util.h"
#include "tests/support/temp_home.h"

namespace {

using ospreon::alert::test::SetMachineString;
using ospreon::test::TempHome;

constexpr char kServices[] = "SOFTWARE\\Brackwater\\RELAYMOOR\\Services";
constexpr char kWardenhost[] = "SOFTWARE\\Brackwater\\RELAYMOOR\\Services\\Wardenhost";

// The "Marker" value as read through `key`; "" when it cannot be read.
std::string Marker(HKEY key)
{
    std::string value;
    if (ospreon::registry::GetString(key, "Marker", value) != ERROR_SUCCESS)
        return {};
    return value;
}

class ServiceKeyTest : public ::testing::Test
{
protected:
    TempHome m_home;
};

TEST_F(ServiceKeyTest, AbsentUntilCreatedThenOneHandleForAnyCase)
{
    EXPECT_EQ(GetServicePluginKey("Wardenhost"), nullptr);
    // The parent existing is not enough.
    SetMachineString(kServices, "Other", "x");
    EXPECT_EQ(GetServicePluginKey("Wardenhost"), nullptr);

    SetMachineString(kWardenhost, "Marker", "first");
    HKEY key = GetServicePluginKey("Wardenhost");
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(Marker(key), "first");
    EXPECT_EQ(GetServicePluginKey("Wardenhost"), key);
    EXPECT_EQ(GetServicePluginKey("WARDENHOST"), key);
    EXPECT_EQ(GetServicePluginKey("wardenHost"), key);
}

TEST_F(ServiceKeyTest, NoNameGivesNull)
{
    SetMachineString(kServices, "Marker", "services");
    EXPECT_EQ(GetServicePluginKey(nullptr), nullptr);
    EXPECT_EQ(GetServicePluginKey(""), nullptr);
}

TEST_F(ServiceKeyTest, KeyDeletedAndCreatedAgainIsOpenedAgain)
{
    SetMachineString(kWardenhost, "Marker", "old");
    ASSERT_NE(GetServicePluginKey("Wardenhost"), nullptr);

    ASSERT_EQ(RegDeleteTree(HKEY_LOCAL_MACHINE, kWardenhost), ERROR_SUCCESS) << RegLastErrorText();
    EXPECT_EQ(GetServicePluginKey("Wardenhost"), nullptr);

    SetMachineString(kWardenhost, "Marker", "new");
    HKEY key = GetServicePluginKey("Wardenhost");
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(Marker(key), "new");
}

TEST_F(ServiceKeyTest, HandleFollowsAChangedHome)
{
    SetMachineString(kWardenhost, "Marker", "first home");
    ASSERT_NE(GetServicePluginKey("Wardenhost"), nullptr);
    {
        TempHome other;
        EXPECT_EQ(GetServicePluginKey("Wardenhost"), nullptr);
        SetMachineString(kWardenhost, "Marker", "second home");
        HKEY key = GetServicePluginKey("Wardenhost");
        ASSERT_NE(key, nullptr);
        EXPECT_EQ(Marker(key), "second home");
    }
    HKEY key = GetServicePluginKey("Wardenhost");
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(Marker(key), "first home");
}

TEST_F(ServiceKeyTest, ThreadsAskingAtOnceShareOneHandle)
{
    SetMachineString(kWardenhost, "Marker", "shared");
    constexpr int kThreads = 8;
    std::vector<HKEY> keys(kThreads);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i)
        threads.emplace_back([&keys, i] { keys[i] = GetServicePluginKey("Wardenhost"); });
    for (std::thread& thread : threads)
        thread.join();
    ASSERT_NE(keys[0], nullptr);
    for (HKEY key : keys)
        EXPECT_EQ(key, keys[0]);
}

} // namespace
