#include <gtest/gtest.h>

#include <cstring>

#include "platform/text.h"

TEST(EqualsIgnoringAsciiCase, ComparesWholeNamesFoldingOnlyAsciiLetters)
{
    EXPECT_TRUE(EqualsIgnoringAsciiCase("VTC_upd.exe", "vtc_UPD.EXE"));
    EXPECT_TRUE(EqualsIgnoringAsciiCase("", ""));
    EXPECT_FALSE(EqualsIgnoringAsciiCase("VTC_upd.exe.exe", "VTC_upd.exe"));
    EXPECT_FALSE(EqualsIgnoringAsciiCase("VTC_upd.ex", "VTC_upd.exe"));
    // '_' and DEL, '@' and '`' differ by the same bit as a letter's case: they stay different.
    EXPECT_FALSE(EqualsIgnoringAsciiCase("_", "\x7f"));
    EXPECT_FALSE(EqualsIgnoringAsciiCase("@", "`"));
    // Bytes of 128 and above are compared as they are, whatever the code page would say.
    EXPECT_FALSE(EqualsIgnoringAsciiCase("\xc4", "\xe4"));
    EXPECT_TRUE(EqualsIgnoringAsciiCase("\xc4x", "\xc4X"));
}

TEST(JoinText, WritesTheWholeResultOrNothing)
{
    char buffer[8];
    EXPECT_TRUE(JoinText(buffer, sizeof buffer, "ab", "cd", "efg"));
    EXPECT_STREQ(buffer, "abcdefg");  // 7 characters and the terminator fill it exactly

    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_FALSE(JoinText(buffer, sizeof buffer, "ab", "cd", "efgh"));
    EXPECT_STREQ(buffer, "");

    EXPECT_TRUE(JoinText(buffer, sizeof buffer, "", ""));
    EXPECT_STREQ(buffer, "");
    EXPECT_FALSE(JoinText(buffer, 0, "", ""));
}
