// The strict UTF-8 / UTF-16 conversion.
#include "plinth/platform/platform_env_unicode.h"

#include <gtest/gtest.h>

TEST(PlatformUnicode, StrictConversion)
{
    char16_t wide[8];
    EXPECT_EQ(3, Plat_Utf8ToUtf16("\xF0\x9F\x98\x80", wide, 8)); // one pair + terminator
    EXPECT_EQ(0xD83D, wide[0]);
    EXPECT_EQ(0xDE00, wide[1]);
    char back[8];
    EXPECT_EQ(5, Plat_Utf16ToUtf8(wide, back, 8));
    EXPECT_STREQ("\xF0\x9F\x98\x80", back);
    EXPECT_EQ(0, Plat_Utf8ToUtf16("\xC0\x80", wide, 8));     // overlong
    EXPECT_EQ(0, Plat_Utf8ToUtf16("\xED\xA0\x80", wide, 8)); // encoded surrogate
    EXPECT_EQ(0, Plat_Utf8ToUtf16("abc", wide, 3));          // no room for the terminator
    const char16_t lone[] = {0xDC00, 0};
    EXPECT_EQ(0, Plat_Utf16ToUtf8(lone, back, 8));
}
