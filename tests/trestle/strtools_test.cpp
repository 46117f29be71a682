#include <gtest/gtest.h>

#include <cstring>

#include "trestle/strtools.h"
#include "tests/support/assert_test_support.h"

TEST(StrtoolsBounded, CopyAndAppendTruncateAndTerminate)
{
    char buf[5];
    const struct
    {
        const char* pszSrc;
        const char* pszOut;
    } copies[] = {{"abcdef", "abc"}, {"abcd", "abc"}, {"abc", "abc"}, {"ab", "ab"}};
    for (const auto& c : copies)
    {
        memset(buf, 'x', sizeof(buf));
        V_BoundedCopy(buf, c.pszSrc, 4);
        EXPECT_STREQ(c.pszOut, buf) << c.pszSrc;
        EXPECT_EQ('x', buf[4]) << c.pszSrc;
    }
    V_BoundedCopy(nullptr, "abc", 0); // size 0 writes nothing and needs no buffer

    char app[8] = "abc";
    V_BoundedAppend(app, "defghij", sizeof(app));
    EXPECT_STREQ("abcdefg", app);
    // A destination with no terminator inside its size is never scanned past.
    char full[4] = {'a', 'b', 'c', 'd'};
    V_BoundedAppend(full, "x", sizeof(full));
    EXPECT_STREQ("abc", full);

    char cnt[6] = "ab";
    EXPECT_EQ(cnt, V_BoundedAppendCount(cnt, "cdef", sizeof(cnt), 1));
    EXPECT_STREQ("abc", cnt);
    V_BoundedAppendCount(cnt, "xyz", sizeof(cnt), -1); // cut to what fits
    EXPECT_STREQ("abcxy", cnt);
}

static int FormatTruncated(char* pDest, int size, bool* pTruncated, const char* pFormat, ...)
{
    va_list args;
    va_start(args, pFormat);
    int len = V_BoundedFormatListTruncated(pDest, size, pFormat, args, pTruncated);
    va_end(args);
    return len;
}

TEST(StrtoolsBounded, FormatResultAndTruncation)
{
    char buf[6];
    EXPECT_EQ(5, V_BoundedFormat(buf, sizeof(buf), "%s%d", "abc", 12));
    EXPECT_STREQ("abc12", buf);
    // Exactly destSize characters: destSize - 1 are kept.
    EXPECT_EQ(5, V_BoundedFormat(buf, sizeof(buf), "%s", "abcdef"));
    EXPECT_STREQ("abcde", buf);

    bool truncated = true;
    EXPECT_EQ(2, FormatTruncated(buf, sizeof(buf), &truncated, "%d", 42));
    EXPECT_FALSE(truncated);
    EXPECT_EQ(5, FormatTruncated(buf, sizeof(buf), &truncated, "%d", 1234567));
    EXPECT_TRUE(truncated);
    EXPECT_STREQ("12345", buf);
    // Both sides of the exact fit.
    EXPECT_EQ(5, FormatTruncated(buf, sizeof(buf), &truncated, "%d", 12345));
    EXPECT_FALSE(truncated);
    EXPECT_EQ(5, FormatTruncated(buf, sizeof(buf), &truncated, "%d", 123456));
    EXPECT_TRUE(truncated);
}

#if !defined(_WIN32)
TEST(StrtoolsBounded, FormatErrorGivesEmptyOutput)
{
    // A wide character with no narrow form in the C locale makes the formatter
    // fail; nothing it may have left behind is handed out.
    char buf[8];
    memset(buf, 'x', sizeof(buf));
    bool truncated = false;
    EXPECT_EQ(0, FormatTruncated(buf, sizeof(buf), &truncated, "%ls", L"\u0100"));
    EXPECT_STREQ("", buf);
    EXPECT_TRUE(truncated);
}
#endif

TEST(StrtoolsBounded, MisuseIsReportedAndSafe)
{
    CAssertCapture capture;
    char buf[4] = "abc";

    V_BoundedCopy(nullptr, "abc", 4);
    EXPECT_TRUE(capture.Has("strtools", "maxLen == 0 || pDest != NULL"));

    V_BoundedCopy(buf, nullptr, sizeof(buf));
    EXPECT_TRUE(capture.Has("strtools", "pSrc != NULL"));
    EXPECT_STREQ("", buf);

    EXPECT_EQ(0, V_BoundedFormat(buf, 0, "%s", "x"));
    EXPECT_TRUE(capture.Has("strtools", "bufferLen > 0"));
    EXPECT_EQ(0, V_BoundedFormat(nullptr, 4, "x"));
    EXPECT_TRUE(capture.Has("strtools", "pDest != NULL"));

    EXPECT_EQ(0, V_CompareCount("a", "b", -1));
    EXPECT_TRUE(capture.Has("strtools", "count >= 0"));

    EXPECT_EQ(nullptr, V_FindNoCase(static_cast<const char*>(nullptr), "a"));
    EXPECT_TRUE(capture.Has("strtools", "pStr != NULL"));
    EXPECT_EQ(nullptr, V_FindNoCase("abc", nullptr));
    EXPECT_TRUE(capture.Has("strtools", "pSearch != NULL"));

    const char* pEnd = "sentinel";
    EXPECT_EQ(0, V_atoi(nullptr, &pEnd));
    EXPECT_EQ(nullptr, pEnd);
    EXPECT_TRUE(capture.Has("strtools", "NULL buffer passed to V_atoi()"));
}

TEST(StrtoolsCompare, SignedOrderCountAndCase)
{
    EXPECT_EQ(0, V_CompareCount("abcX", "abcY", 3));
    EXPECT_EQ(-1, V_CompareCount("abcX", "abcY", 4));
    EXPECT_EQ(1, V_CompareCount("abd", "abc", 0x7FFFFFFF));
    EXPECT_EQ(-1, V_CompareCount("ab", "abc", 10));
    EXPECT_EQ(0, V_CompareCount("ab", "ab", 10)); // stops at the shared NUL
    // Bytes 0x80..0xFF are negative characters.
    EXPECT_EQ(-1, V_CompareCount("\xE9", "a", 1));

    EXPECT_EQ(0, V_CompareNoCaseCount("Hello", "hELLO", 0x7FFFFFFF));
    // Folding goes to upper case: '_' (0x5F) sorts after 'A'..'Z' and 'a'..'z'.
    EXPECT_EQ(1, V_CompareNoCaseCount("_", "a", 1));
    EXPECT_EQ(-1, V_CompareNoCaseCount("\xC9", "e", 1)); // no folding beyond ASCII
}

TEST(StrtoolsCompare, FindAndEndsWith)
{
    const char* text = "Models\\Player.MDL";
    EXPECT_EQ(text + 7, V_FindNoCase(text, "PLAYER"));
    EXPECT_EQ(nullptr, V_FindNoCase(text, "players"));
    EXPECT_EQ(nullptr, V_FindNoCase(text, ""));
    EXPECT_EQ(text + 14, V_FindNoCase(text, "mdl"));

    EXPECT_EQ(text + 14, V_EndsWithNoCase(text, "mdl"));
    EXPECT_EQ(text, V_EndsWithNoCase(text, "models\\player.mdl"));
    EXPECT_EQ(nullptr, V_EndsWithNoCase(text, "x.mdl"));
    EXPECT_EQ(nullptr, V_EndsWithNoCase("mdl", "a.mdl"));

    char lower[] = "AbC-Z\xC9";
    EXPECT_EQ(lower, V_LowerAscii(lower));
    EXPECT_STREQ("abc-z\xC9", lower);
    EXPECT_EQ('[', V_ToLowerAscii('['));
}

TEST(StrtoolsNumbers, AtoiForms)
{
    struct Case
    {
        const char* text;
        int value;
        int endOffset;
    } cases[] = {
        {"-0x1F", -31, 5},     {"'A'", 65, 2},         {"+", 0, 0},
        {"0x", 0, 1},          {"12ab", 12, 2},        {"-12", -12, 3},
        {" 5", 0, 0},          {"0XfF", 255, 4},       {"-'a", -97, 3},
        {"4294967297", 1, 10}, {"0x100000001", 1, 11},
    };
    for (const Case& c : cases)
    {
        const char* pEnd = nullptr;
        EXPECT_EQ(c.value, V_atoi(c.text, &pEnd)) << c.text;
        EXPECT_EQ(c.text + c.endOffset, pEnd) << c.text;
    }
    EXPECT_EQ(-2147483647 - 1, V_atoi("-2147483648"));
    EXPECT_EQ(-23, V_atoi("'\xE9")); // signed character value
    // A quote at the end of the text stops at the terminator.
    const char* quote = "'";
    const char* pEnd = nullptr;
    EXPECT_EQ(0, V_atoi(quote, &pEnd));
    EXPECT_EQ(quote + 1, pEnd);
}

TEST(StrtoolsNumbers, BytesToHex)
{
    const unsigned char bytes[] = {0x00, 0x9A, 0xFF};
    char out[7];
    V_BytesToHex(bytes, 3, out, sizeof(out));
    EXPECT_STREQ("009aff", out);

    CAssertCapture capture;
    char small[6];
    memset(small, 'x', sizeof(small));
    V_BytesToHex(bytes, 3, small, sizeof(small));
    EXPECT_STREQ("009a", small); // whole bytes only
    EXPECT_TRUE(capture.Has("strtools", "outsize >= ( inputbytes * 2 ) + 1"));
}

static uint32_t Murmur(const char* s, uint32_t seed, bool fold = false)
{
    return V_HashMurmur3(s, static_cast<int>(strlen(s)), seed, fold);
}

TEST(StrtoolsHash, Murmur3Vectors)
{
    EXPECT_EQ(0u, V_HashMurmur3("", 0, 0, false));
    EXPECT_EQ(0x514E28B7u, V_HashMurmur3("", 0, 1, false));
    EXPECT_EQ(0x81F16F39u, V_HashMurmur3("", 0, 0xFFFFFFFFu, false));
    EXPECT_EQ(0x2362F9DEu, V_HashMurmur3("\0\0\0\0", 4, 0, false));
    EXPECT_EQ(0x248BFA47u, Murmur("hello", 0));
    EXPECT_EQ(0xB3DD93FAu, Murmur("abc", 0));
    EXPECT_EQ(0x5A97808Au, Murmur("aaaa", 0x9747B28Cu));
    EXPECT_EQ(0x24884CBAu, Murmur("Hello, world!", 0x9747B28Cu));
    EXPECT_EQ(0x2FA826CDu, Murmur("The quick brown fox jumps over the lazy dog", 0x9747B28Cu));
    EXPECT_EQ(0u, V_HashMurmur3(nullptr, 0, 0, false));
}

TEST(StrtoolsHash, FoldCaseClearsBit5OfEveryByte)
{
    // Blocks and every tail length fold alike.
    for (const char* s : {"a", "ab", "abc", "abcd", "materials/Brick.VMT"})
    {
        std::string upper(s);
        for (char& c : upper)
            c = static_cast<char>(c & 0xDF);
        EXPECT_EQ(Murmur(s, 7, true), Murmur(upper.c_str(), 7, false)) << s;
        EXPECT_NE(Murmur(s, 7, false), Murmur(upper.c_str(), 7, false)) << s;
    }
    // The fold is a hash property only: '@' and '`' collide too.
    EXPECT_EQ(Murmur("x@", 0, true), Murmur("X`", 0, true));
}
