#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "trestle/strtools_unicode.h"
#include "tests/support/assert_test_support.h"

static std::u16string ToUTF16(const char* in, int flags, int* pResult = nullptr)
{
    char16_t out[64];
    int result = V_UTF8ToUTF16(in, out, sizeof(out), flags);
    if (pResult) *pResult = result;
    // Measuring must agree with converting.
    EXPECT_EQ(result, V_UTF8ToUTF16(in, nullptr, 0, flags)) << in;
    return out;
}

TEST(StrtoolsUnicode, SurrogatePairWrittenAsTwoThreeByteSequences)
{
    int result = 0;
    EXPECT_EQ(u"\U00010000", ToUTF16("\xED\xA0\x80\xED\xB0\x80", 0, &result));
    EXPECT_EQ(6, result);
    EXPECT_EQ(u"x\U0010FFFDy", ToUTF16("x\xED\xAF\xBF\xED\xBF\xBDy", 0));
    // The same character in its proper 4-byte form.
    EXPECT_EQ(u"\U00010000", ToUTF16("\xF0\x90\x80\x80", 0));
}

TEST(StrtoolsUnicode, InvalidSequencesByFlags)
{
    const char* lone = "a\xED\xA0\x80"
                       "b"; // unpaired high surrogate
    int result = 0;
    EXPECT_EQ(u"a?b", ToUTF16(lone, 0, &result));
    EXPECT_EQ(8, result);
    EXPECT_EQ(u"ab", ToUTF16(lone, ConvertSkipInvalid, &result));
    EXPECT_EQ(6, result);
    EXPECT_EQ(u"", ToUTF16(lone, ConvertFailOnInvalid, &result));
    EXPECT_EQ(0, result);
    EXPECT_EQ(u"ab", ToUTF16(lone, ConvertSkipInvalid | ConvertFailOnInvalid)); // skip wins

    // Overlong forms of NUL, '/' and U+FFFF-range values.
    EXPECT_EQ(u"?", ToUTF16("\xC0\x80", 0));
    EXPECT_EQ(u"?", ToUTF16("\xE0\x80\xAF", 0));
    EXPECT_EQ(u"?", ToUTF16("\xF0\x8F\xBF\xBF", 0));
    // Beyond U+10FFFF, non-characters and stray bytes.
    EXPECT_EQ(u"?", ToUTF16("\xF4\x90\x80\x80", 0));
    EXPECT_EQ(u"??", ToUTF16("\xEF\xBF\xBE\xEF\xB7\x90", 0));
    EXPECT_EQ(u"?a?", ToUTF16("\x80"
                              "a"
                              "\xF8",
                              0));
    // A cut sequence resumes at the byte that broke it.
    EXPECT_EQ(u"?A", ToUTF16("\xE4\xB8"
                             "A",
                             0));
    EXPECT_EQ(u"?\u4E2D", ToUTF16("\xE4\xE4\xB8\xAD", 0));
    EXPECT_EQ(u"?", ToUTF16("\xF0\x90\x80", 0)); // cut by the terminator
}

TEST(StrtoolsUnicode, UTF16ToUTF8)
{
    char out[32];
    EXPECT_EQ(11, V_UTF16ToUTF8(u"a\u00E9\u4E2D\U0001F600", out, sizeof(out), 0));
    EXPECT_STREQ("a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80", out);

    const char16_t bad[] = {u'a', 0xDC00, 0xD800, u'b', 0xFFFE, 0xFDEF, 0};
    EXPECT_EQ(7, V_UTF16ToUTF8(bad, out, sizeof(out), 0));
    EXPECT_STREQ("a??b??", out);
    EXPECT_EQ(3, V_UTF16ToUTF8(bad, out, sizeof(out), ConvertSkipInvalid));
    EXPECT_STREQ("ab", out);
    EXPECT_EQ(0, V_UTF16ToUTF8(bad, out, sizeof(out), ConvertFailOnInvalid));
    EXPECT_STREQ("", out);
    // A well-formed pair whose value is a non-character still fails, as one unit pair.
    const char16_t nonChar[] = {0xD83F, 0xDFFF, u'z', 0};
    EXPECT_EQ(3, V_UTF16ToUTF8(nonChar, out, sizeof(out), 0));
    EXPECT_STREQ("?z", out);
}

TEST(StrtoolsUnicode, UTF32Conversions)
{
    const char32_t text[] = {U'a', 0x10FFFD, 0x110000, 0xD800, 0x1FFFE, U'\u00E9', 0};
    char out8[32];
    EXPECT_EQ(11, V_UTF32ToUTF8(text, out8, sizeof(out8), 0));
    EXPECT_STREQ("a\xF4\x8F\xBF\xBD???\xC3\xA9", out8);
    char16_t out16[16];
    EXPECT_EQ(16, V_UTF32ToUTF16(text, out16, sizeof(out16), 0));
    EXPECT_EQ(u"a\U0010FFFD???\u00E9", std::u16string(out16));
    EXPECT_EQ(0, V_UTF32ToUTF16(text, nullptr, 0, ConvertFailOnInvalid));
    EXPECT_EQ(10, V_UTF32ToUTF16(text, nullptr, 0, ConvertSkipInvalid));
}

TEST(StrtoolsUnicode, SmallBuffers)
{
    char out[4];
    memset(out, 'x', sizeof(out));
    EXPECT_EQ(6, V_UTF16ToUTF8(u"abcde", out, sizeof(out), ConvertMeasureOnOverflow));
    EXPECT_STREQ("abc", out);
    EXPECT_EQ(4, V_UTF16ToUTF8(u"abcde", out, sizeof(out), 0));
    EXPECT_STREQ("abc", out);
    // An exact fit is no overflow.
    EXPECT_EQ(4, V_UTF16ToUTF8(u"abc", out, sizeof(out), ConvertMeasureOnOverflow));
    EXPECT_STREQ("abc", out);
    EXPECT_EQ(5, V_UTF16ToUTF8(u"abcd", out, sizeof(out), ConvertMeasureOnOverflow));
    // Only whole characters are written.
    EXPECT_EQ(3, V_UTF16ToUTF8(u"\u00E9\u00E9", out, sizeof(out), 0));
    EXPECT_STREQ("\xC3\xA9", out);
    EXPECT_EQ(5, V_UTF16ToUTF8(u"\u00E9\u00E9", out, sizeof(out), ConvertMeasureOnOverflow));
    EXPECT_EQ(0, V_UTF16ToUTF8(u"a", out, 0, 0));

    char16_t out16[3];
    EXPECT_EQ(6, V_UTF8ToUTF16("\xF0\x9F\x98\x80", out16, sizeof(out16), 0)); // exact fit
    EXPECT_EQ(u"\U0001F600", std::u16string(out16));
    // A pair needs two units; only one is left after 'a'.
    EXPECT_EQ(4, V_UTF8ToUTF16("a\xF0\x9F\x98\x80", out16, sizeof(out16), 0));
    EXPECT_EQ(u"a", std::u16string(out16));
    EXPECT_EQ(8,
              V_UTF8ToUTF16("a\xF0\x9F\x98\x80", out16, sizeof(out16), ConvertMeasureOnOverflow));
    // Odd byte sizes round down; below one unit plus terminator nothing is written.
    out16[0] = u'q';
    EXPECT_EQ(0, V_UTF8ToUTF16("a", out16, 1, 0));
    EXPECT_EQ(u'q', out16[0]);
    EXPECT_EQ(2, V_UTF8ToUTF16("a", out16, 3, 0));
    EXPECT_EQ(u'\0', out16[0]);
    // An overflow followed by an invalid sequence under ConvertFailOnInvalid fails whole.
    EXPECT_EQ(0, V_UTF16ToUTF8(u"abcd\xD800", out, sizeof(out),
                               ConvertMeasureOnOverflow | ConvertFailOnInvalid));
    EXPECT_STREQ("", out);
}

TEST(StrtoolsUnicode, NullInputIsReported)
{
    CAssertCapture capture;
    char out[4] = "xyz";
    EXPECT_EQ(0, V_UTF16ToUTF8(static_cast<const char16_t*>(nullptr), out, sizeof(out), 0));
    EXPECT_STREQ("", out);
    EXPECT_TRUE(capture.Has("strtools_unicode", "invalid input pointer"));
    EXPECT_EQ(0, V_UTF8ToUTF16(nullptr, static_cast<char16_t*>(nullptr), 0, 0));
}

#if defined(_WIN32)
TEST(StrtoolsUnicode, WideCharOverloads)
{
    wchar_t wide[8];
    EXPECT_EQ(6, V_UTF8ToUTF16("ab", wide, sizeof(wide), 0));
    EXPECT_STREQ(L"ab", wide);
    char narrow[8];
    EXPECT_EQ(3, V_UTF16ToUTF8(wide, narrow, sizeof(narrow), 0));
    EXPECT_STREQ("ab", narrow);
}
#endif
