#include <gtest/gtest.h>

#include "platform/com/bstr.h"
#include "platform/com/guid.h"

namespace {

using namespace ospreon::com;

TEST(Guid, ParsesAnyCaseAndFormatsUpperCase)
{
    constexpr GUID expected = MakeGuid("F63F544A-5F2F-4756-86A2-263709242D54");
    for (const char* text :
         {"{F63F544A-5F2F-4756-86A2-263709242D54}", "{f63f544a-5f2f-4756-86a2-263709242d54}",
          "f63f544a-5f2F-4756-86A2-263709242d54"}) {
        std::optional<GUID> guid = GuidFromString(text);
        ASSERT_TRUE(guid) << text;
        EXPECT_EQ(*guid, expected) << text;
    }
    EXPECT_EQ(GuidToString(expected), "{F63F544A-5F2F-4756-86A2-263709242D54}");
    EXPECT_EQ(expected.Data1, 0xF63F544Au);
    EXPECT_EQ(expected.Data4[7], 0x54);
}

TEST(Guid, RejectsMalformedText)
{
    for (const char* text :
         {"", "{}", "{F63F544A-5F2F-4756-86A2-263709242D5}",
          "{F63F544A-5F2F-4756-86A2-263709242D54", "F63F544A-5F2F-4756-86A2-263709242D54}",
          "{F63F544A_5F2F-4756-86A2-263709242D54}", "{G63F544A-5F2F-4756-86A2-263709242D54}",
          "{F63F544A-5F2F-4756-86A2-263709242D54}x"}) {
        EXPECT_FALSE(GuidFromString(text)) << text;
    }
}

TEST(Bstr, RoundTripsUtf8)
{
    for (std::string text :
         {std::string(), std::string("Wardenhost"),
          std::string("Gr\xC3\xBC\xC3\x9F"
                      "e \xE2\x82\xAC"),
          std::string("\xF0\x9F\x90\xA6 bird"), std::string("nul\0inside", 10)}) {
        Bstr wide(text);
        ASSERT_FALSE(wide.isNull());
        EXPECT_EQ(wide.utf8(), text);
    }
    EXPECT_EQ(Bstr("\xF0\x9F\x90\xA6").length(), 2u)
        << "a character beyond the BMP takes two units";
    EXPECT_EQ(SysStringByteLen(Bstr("abc").get()), 6u);
}

TEST(Bstr, BrokenInputBecomesReplacementCharacters)
{
    EXPECT_EQ(Bstr(std::string_view("a\xFFz")).utf8(), "a\xEF\xBF\xBDz");
    EXPECT_EQ(Bstr(std::string_view("\xC3")).utf8(), "\xEF\xBF\xBD");
    EXPECT_EQ(Bstr(std::string_view("\xC0\xAF")).utf8(), "\xEF\xBF\xBD") << "overlong form";
    const char16_t lone[] = {u'x', 0xD800, u'y'};
    EXPECT_EQ(BstrToUtf8(lone, 3), "x\xEF\xBF\xBDy");
}

TEST(Bstr, NullIsEmptyAndOwnershipMoves)
{
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(BstrToUtf8(nullptr), "");
    Bstr first("text");
    Bstr copy = first;
    EXPECT_NE(copy.get(), first.get());
    Bstr moved = std::move(first);
    EXPECT_TRUE(first.isNull());
    EXPECT_EQ(moved.utf8(), "text");
    BSTR raw = moved.detach();
    EXPECT_EQ(Bstr::Attach(raw).utf8(), "text");
}

} // namespace
