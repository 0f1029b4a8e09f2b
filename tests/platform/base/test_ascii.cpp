// ASCII case folding: only A-Z fold, every other byte and code unit compares exactly.

#include <gtest/gtest.h>

#include <string_view>

#include "platform/base/ascii.h"

namespace ospreon {
namespace {

TEST(Ascii, OnlyTheTwentySixLettersFold)
{
    const struct
    {
        std::string_view a;
        std::string_view b;
        bool equal;
    } cases[] = {
        {"HKEY_Classes_Root", "hkey_classes_root", true},
        {"Ramwarden of WEB", "ramwarden OF web", true},
        {"[", "{", false}, // 0x5B and 0x7B differ by the case bit only
        {"@", "`", false}, // likewise 0x40 and 0x60
        {"\xc3\x89t\xc3\xa9", "\xc3\xa9t\xc3\xa9", false}, // É and é: UTF-8, left alone
        {"abc", "abcd", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(EqualsNoCase(c.a, c.b), c.equal) << c.a << " / " << c.b;

    EXPECT_TRUE(StartsWithNoCase("SMTP:someone", "smtp:"));
    EXPECT_FALSE(StartsWithNoCase("SMT", "smtp:"));
    EXPECT_EQ(FindNoCase("Pagewarden OF of", " of "), 10u);
    EXPECT_EQ(FindNoCase("Pagewarden", " of "), std::string_view::npos);
    EXPECT_EQ(ToLowerAscii("MiXeD \xc3\x89"), "mixed \xc3\x89");
    // UTF-16 code units above 255 pass through (std::tolower would be undefined).
    EXPECT_EQ(AsciiLower(u'\u0130'), u'\u0130');
    EXPECT_EQ(AsciiLower(u'Q'), u'q');
}

} // namespace
} // namespace ospreon
