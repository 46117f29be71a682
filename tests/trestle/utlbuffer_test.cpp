#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/trestle/fileio_test_support.h"
#include "trestle/utlbuffer.h"

using fileio_test::CAssertCapture;

namespace
{

std::string Bytes(const CUtlBuffer& buf, int nFrom, int nCount)
{
    return std::string(buf.Base() + nFrom, static_cast<size_t>(nCount));
}

} // namespace

TEST(UtlBufferGrowth, TextBufferStartsAt32BytesAndTerminates)
{
    CUtlBuffer buf(0, 0, CUtlBuffer::TEXT_BUFFER);
    EXPECT_EQ(buf.Size(), 0);
    EXPECT_EQ(buf.TellMaxPut(), 0);
    buf.Put("hello", 5);
    EXPECT_EQ(buf.Size(), 32);
    EXPECT_EQ(buf.TellPut(), 5);
    EXPECT_EQ(buf.TellMaxPut(), 5);
    EXPECT_EQ(buf.Base()[5], 0);
    EXPECT_TRUE(buf.IsValid());
}

TEST(UtlBufferGrowth, DoublesTo64OnThe33rdByte)
{
    for (int nFlags : {0, static_cast<int>(CUtlBuffer::TEXT_BUFFER)})
    {
        CUtlBuffer buf(0, 0, nFlags);
        int nSizeAfter32 = 0;
        for (int i = 0; i < 33; ++i)
        {
            buf.PutChar(static_cast<char>('a' + i % 26));
            if (i == 30)
            {
                EXPECT_EQ(buf.Size(), 32) << nFlags;
            }
            if (i == 31) nSizeAfter32 = buf.Size();
        }
        EXPECT_EQ(buf.Size(), 64) << nFlags;
        EXPECT_EQ(buf.TellMaxPut(), 33);
        // A text buffer needs room for its terminator after 32 bytes already.
        EXPECT_EQ(nSizeAfter32, nFlags ? 64 : 32);
    }
}

TEST(UtlBufferGrowth, InitialSizeIsNullTerminatedAtOnce)
{
    CUtlBuffer text(0, 16, CUtlBuffer::TEXT_BUFFER);
    EXPECT_EQ(text.Size(), 16);
    EXPECT_EQ(text.TellMaxPut(), 0);
    EXPECT_EQ(text.Base()[0], 0);

    CUtlBuffer readOnly(0, 16, CUtlBuffer::READ_ONLY);
    EXPECT_EQ(readOnly.TellMaxPut(), 0);
}

TEST(UtlBufferPut, ReadOnlyRefusesEveryPut)
{
    CUtlBuffer buf(0, 16, CUtlBuffer::READ_ONLY);
    buf.Put("abc", 3);
    buf.PutChar('x');
    buf.PutString("zz");
    buf.Printf("%d", 5);
    EXPECT_EQ(buf.TellPut(), 0);
    EXPECT_EQ(buf.TellMaxPut(), 0);
    EXPECT_FALSE(buf.CheckPut(1));
}

TEST(UtlBufferPut, ExternalMemoryGrowsOnlyWhenAllowed)
{
    char mem[4] = {'a', 'b', 'c', 'd'};
    CUtlBuffer fixed(mem, 4, 0);
    EXPECT_EQ(fixed.TellMaxPut(), 4);
    fixed.PutChar('e');
    EXPECT_EQ(fixed.GetError() & CUtlBuffer::PUT_OVERFLOW, CUtlBuffer::PUT_OVERFLOW);
    EXPECT_EQ(fixed.TellPut(), 4);
    // A failed put blocks later ones, even ones that would fit.
    fixed.SeekPut(CUtlBuffer::SEEK_HEAD, 0);
    fixed.PutChar('z');
    EXPECT_EQ(mem[0], 'a');

    CUtlBuffer growing(mem, 4, CUtlBuffer::EXTERNAL_MAY_GROW);
    growing.PutChar('e');
    EXPECT_TRUE(growing.IsValid());
    EXPECT_FALSE(growing.IsExternallyAllocated());
    EXPECT_EQ(Bytes(growing, 0, 5), "abcde");
    EXPECT_EQ(std::string(mem, 4), "abcd");
}

TEST(UtlBufferPut, SeekPutChecksItsOffsets)
{
    CAssertCapture capture;
    CUtlBuffer buf(0, 0, 0);
    buf.Put("0123456789", 10);
    EXPECT_FALSE(buf.SeekPut(CUtlBuffer::SEEK_HEAD, -1));
    EXPECT_TRUE(capture.Has("utlbuffer", "offset >= 0"));
    EXPECT_FALSE(buf.SeekPut(CUtlBuffer::SEEK_CURRENT, -11));
    EXPECT_TRUE(capture.Has("utlbuffer", "offset >= -m_Put && offset <= INT_MAX-m_Put"));
    EXPECT_FALSE(buf.SeekPut(CUtlBuffer::SEEK_TAIL, 11));
    EXPECT_TRUE(capture.Has(
        "utlbuffer", "offset != INT_MIN && offset <= m_nMaxPut && -offset <= INT_MAX-m_nMaxPut"));
    EXPECT_EQ(buf.TellPut(), 10);

    EXPECT_TRUE(buf.SeekPut(CUtlBuffer::SEEK_TAIL, 4));
    EXPECT_EQ(buf.TellPut(), 6);
    buf.Put("AB", 2);
    EXPECT_EQ(Bytes(buf, 0, 10), "012345AB89");
    EXPECT_EQ(buf.TellMaxPut(), 10);
}

TEST(UtlBufferGet, ReadsPastTheEndSetAndSeekClearsTheError)
{
    CUtlBuffer buf(0, 0, 0);
    buf.Put("abcd", 4);
    char out[8] = {'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x'};
    EXPECT_FALSE(buf.Get(out, 5));
    EXPECT_EQ(out[0], 0); // zeros, not stale bytes
    EXPECT_EQ(buf.GetError(), CUtlBuffer::GET_OVERFLOW);
    EXPECT_EQ(buf.TellGet(), 0);
    // Reads stay refused until a seek succeeds.
    EXPECT_FALSE(buf.Get(out, 1));
    EXPECT_FALSE(buf.SeekGet(CUtlBuffer::SEEK_HEAD, 5));
    EXPECT_FALSE(buf.SeekGet(CUtlBuffer::SEEK_HEAD, -1));
    EXPECT_TRUE(buf.SeekGet(CUtlBuffer::SEEK_TAIL, 1));
    EXPECT_TRUE(buf.IsValid());
    EXPECT_EQ(buf.GetChar(), 'd');
    EXPECT_EQ(buf.GetChar(), 0);
    EXPECT_FALSE(buf.IsValid());
}

TEST(UtlBufferGet, PeekNeverLeavesTheErrorSet)
{
    CUtlBuffer buf(0, 0, 0);
    buf.Put("abc", 3);
    EXPECT_EQ(buf.PeekGet(4, 0), nullptr);
    EXPECT_EQ(buf.PeekGet(1, 3), nullptr);
    EXPECT_TRUE(buf.IsValid());
    ASSERT_NE(buf.PeekGet(2, 1), nullptr);
    EXPECT_EQ(std::string(static_cast<const char*>(buf.PeekGet(2, 1)), 2), "bc");
    EXPECT_TRUE(buf.PeekStringMatch(1, "bc", 2));
    EXPECT_FALSE(buf.PeekStringMatch(2, "cd", 2));
    EXPECT_TRUE(buf.IsValid());
}

TEST(UtlBufferGet, PeeksAfterAFailedReadLookAndClearTheError)
{
    struct Case
    {
        const char* pszWhat;
        bool (*pfnPeek)(CUtlBuffer&);
        bool bExpect;
    };
    const Case cases[] = {
        {"PeekGet(1, 0)", [](CUtlBuffer& b) { return b.PeekGet(1, 0) == b.Base(); }, true},
        {"PeekGet(3, 1)", [](CUtlBuffer& b) { return b.PeekGet(3, 1) != nullptr; }, false},
        {"PeekStringMatch ab", [](CUtlBuffer& b) { return b.PeekStringMatch(0, "ab", 2); }, true},
        {"PeekStringMatch abcd", [](CUtlBuffer& b) { return b.PeekStringMatch(0, "abcd", 4); },
         false},
    };
    for (const Case& c : cases)
    {
        CUtlBuffer buf(0, 0, 0);
        buf.Put("abc", 3);
        char out[5];
        ASSERT_FALSE(buf.Get(out, 5));
        ASSERT_EQ(buf.GetError(), CUtlBuffer::GET_OVERFLOW);
        EXPECT_EQ(c.bExpect, c.pfnPeek(buf)) << c.pszWhat;
        EXPECT_EQ(0, buf.GetError()) << c.pszWhat;
        EXPECT_EQ(0, buf.TellGet()) << c.pszWhat;
    }
}

TEST(UtlBufferText, ReadsAfterAFailedReadDoNothing)
{
    const char text[] = "\"ab\" cd";
    CUtlBuffer buf(text, static_cast<int>(strlen(text)), CUtlBuffer::TEXT_BUFFER);
    char out[8];
    ASSERT_FALSE(buf.Get(out, sizeof(out)));
    memset(out, 'Z', sizeof(out));
    EXPECT_FALSE(buf.GetDelimitedString(GetNoEscCharConversion(), out, sizeof(out)));
    EXPECT_STREQ(out, "");
    memset(out, 'Z', sizeof(out));
    EXPECT_FALSE(buf.GetString(out, sizeof(out)));
    EXPECT_STREQ(out, "");
    EXPECT_EQ(buf.TellGet(), 0);
    EXPECT_EQ(buf.GetError(), CUtlBuffer::GET_OVERFLOW);
}

TEST(UtlBufferGet, ReadableSizePastTheMemoryReadsOnlyTheMemory)
{
    // A binary buffer does not grow when its put position is sought past the
    // memory, yet the readable size follows the put position.
    CUtlBuffer buf(0, 0, 0);
    buf.Put(std::string(32, 'x').data(), 32);
    ASSERT_TRUE(buf.SeekPut(CUtlBuffer::SEEK_HEAD, 4096));
    ASSERT_EQ(buf.TellMaxPut(), 4096);
    ASSERT_EQ(buf.Size(), 32);

    ASSERT_TRUE(buf.SeekGet(CUtlBuffer::SEEK_HEAD, 28));
    EXPECT_EQ(buf.PeekGet(5, 0), nullptr);
    char out[8];
    EXPECT_FALSE(buf.Get(out, 5));
    EXPECT_EQ(buf.TellGet(), 28);

    // A word read in text mode stops where the memory does.
    buf.SetBufferType(true, false);
    ASSERT_TRUE(buf.SeekGet(CUtlBuffer::SEEK_HEAD, 28));
    EXPECT_TRUE(buf.GetString(out, sizeof(out)));
    EXPECT_STREQ(out, "xxxx");
    EXPECT_EQ(buf.TellGet(), 32);
}

TEST(UtlBufferText, EscapeByteLastInTheBuffer)
{
    // Nothing follows the escape to decode: the C conversion keeps the
    // backslash, the no-escape one reads its 0x7F as a NUL.
    struct Case
    {
        const char* pszText;
        CUtlCharConversion* pConv;
        std::string expect;
    };
    const Case cases[] = {
        {"\"ab\\", GetCStringCharConversion(), std::string("ab\\", 3)},
        {"\"ab\x7F", GetNoEscCharConversion(), std::string("ab\0", 3)},
    };
    for (const Case& c : cases)
    {
        // Exactly the text's bytes, so a read past them is a read past the
        // memory.
        std::vector<char> mem(c.pszText, c.pszText + strlen(c.pszText));
        CUtlBuffer buf(mem.data(), static_cast<int>(mem.size()), CUtlBuffer::TEXT_BUFFER);
        char out[8];
        memset(out, 'Z', sizeof(out));
        EXPECT_FALSE(buf.GetDelimitedString(c.pConv, out, sizeof(out))); // unterminated
        EXPECT_EQ(c.expect + '\0', std::string(out, 4));
        EXPECT_EQ(buf.TellGet(), 4);
    }
}

TEST(UtlBufferText, GetStringAtTheExactFit)
{
    // The word and its terminator fill the destination exactly, or miss it
    // by one. A cut read stops at the end of the word, which in a binary
    // buffer is its terminator, read next as an empty string.
    struct Case
    {
        int nFlags;
        const char* pszText;
        int nTextLen;
        int nSize;
        bool bOk;
        const char* pszWord;
        int nGet;
        const char* pszNext;
    };
    const Case cases[] = {
        {CUtlBuffer::TEXT_BUFFER, "abc def", 7, 4, true, "abc", 3, "def"},
        {CUtlBuffer::TEXT_BUFFER, "abcd def", 8, 4, false, "abc", 4, "def"},
        {CUtlBuffer::TEXT_BUFFER, "abc def", 7, 5, true, "abc", 3, "def"},
        {0, "abc\0def\0", 8, 4, true, "abc", 4, "def"},
        {0, "abcd\0def\0", 9, 4, false, "abc", 4, ""},
    };
    for (const Case& c : cases)
    {
        CUtlBuffer buf(c.pszText, c.nTextLen, c.nFlags);
        char word[8];
        memset(word, 'Z', sizeof(word));
        EXPECT_EQ(c.bOk, buf.GetString(word, c.nSize)) << c.pszText << " " << c.nSize;
        EXPECT_STREQ(c.pszWord, word);
        EXPECT_EQ('Z', word[c.nSize]); // nothing written past the destination
        EXPECT_EQ(c.nGet, buf.TellGet()) << c.pszText;
        char next[8];
        buf.GetString(next, sizeof(next));
        EXPECT_STREQ(c.pszNext, next) << c.pszText;
    }
}

TEST(UtlBufferText, GetStringReadsOneWord)
{
    const char text[] = "  abc def";
    CUtlBuffer buf(text, static_cast<int>(strlen(text)),
                   CUtlBuffer::TEXT_BUFFER | CUtlBuffer::READ_ONLY);
    char word[16];
    EXPECT_TRUE(buf.GetString(word, sizeof(word)));
    EXPECT_STREQ(word, "abc");
    EXPECT_EQ(buf.TellGet(), 5);
    EXPECT_TRUE(buf.GetString(word, sizeof(word)));
    EXPECT_STREQ(word, "def");
    EXPECT_TRUE(buf.IsValid());
    EXPECT_FALSE(buf.GetString(word, sizeof(word)));
    EXPECT_STREQ(word, "");
    EXPECT_FALSE(buf.IsValid());
}

TEST(UtlBufferText, GetStringCutsToTheDestination)
{
    const char text[] = "abcdefgh next";
    CUtlBuffer buf(text, static_cast<int>(strlen(text)), CUtlBuffer::TEXT_BUFFER);
    char word[4];
    EXPECT_FALSE(buf.GetString(word, sizeof(word)));
    EXPECT_STREQ(word, "abc");
    EXPECT_EQ(buf.TellGet(), 8); // end of the word
    EXPECT_FALSE(buf.GetString(word, sizeof(word)));
    EXPECT_STREQ(word, "nex");
    EXPECT_EQ(buf.GetBytesRemaining(), 0);
}

TEST(UtlBufferText, BinaryGetStringConsumesTheTerminator)
{
    CAssertCapture capture;
    CUtlBuffer buf(0, 0, 0);
    buf.PutString("one");
    buf.PutString("two");
    EXPECT_EQ(buf.TellPut(), 8);
    char word[16];
    EXPECT_TRUE(buf.GetString(word, sizeof(word)));
    EXPECT_STREQ(word, "one");
    EXPECT_EQ(buf.TellGet(), 4);
    EXPECT_TRUE(buf.GetString(word, sizeof(word)));
    EXPECT_STREQ(word, "two");
    EXPECT_TRUE(capture.Output().empty()) << capture.Output();
}

TEST(UtlBufferText, DelimitedStringWithCEscapes)
{
    const char text[] = " \"a\\tb\\\"c\" rest";
    CUtlBuffer buf(text, static_cast<int>(strlen(text)), CUtlBuffer::TEXT_BUFFER);
    char out[32];
    EXPECT_TRUE(buf.GetDelimitedString(GetCStringCharConversion(), out, sizeof(out)));
    EXPECT_STREQ(out, "a\tb\"c");
    EXPECT_EQ(buf.TellGet(), 10);

    // An unknown escape gives NUL and leaves the byte to be read next.
    const char unknown[] = "\"x\\qy\"";
    CUtlBuffer buf2(unknown, static_cast<int>(strlen(unknown)), CUtlBuffer::TEXT_BUFFER);
    char out2[8];
    memset(out2, 'Z', sizeof(out2));
    buf2.GetDelimitedString(GetCStringCharConversion(), out2, sizeof(out2));
    EXPECT_EQ(std::string(out2, 5), std::string("x\0qy\0", 5));
}

TEST(UtlBufferText, DelimitedStringWithoutEscapes)
{
    const char text[] = "\"C:\\dir\\x\x7Fy\" \"open";
    CUtlBuffer buf(text, static_cast<int>(strlen(text)), CUtlBuffer::TEXT_BUFFER);
    char out[32];
    memset(out, 'Z', sizeof(out));
    EXPECT_TRUE(buf.GetDelimitedString(GetNoEscCharConversion(), out, sizeof(out)));
    // Backslashes stay; 0x7F reads as a NUL.
    EXPECT_EQ(std::string(out, 11), std::string("C:\\dir\\x\0y\0", 11));

    // Unterminated: takes the rest of the text.
    EXPECT_FALSE(buf.GetDelimitedString(GetNoEscCharConversion(), out, sizeof(out)));
    EXPECT_STREQ(out, "open");
    EXPECT_EQ(buf.GetBytesRemaining(), 0);
}

TEST(UtlBufferText, DelimitedStringLimitsAndMissingDelimiter)
{
    const char text[] = "\"abcdefgh\" tail";
    CUtlBuffer buf(text, static_cast<int>(strlen(text)), CUtlBuffer::TEXT_BUFFER);
    char out[4];
    EXPECT_FALSE(buf.GetDelimitedString(GetNoEscCharConversion(), out, sizeof(out)));
    EXPECT_STREQ(out, "abc");
    EXPECT_EQ(buf.TellGet(), 10); // the whole string was consumed

    char out2[8];
    EXPECT_FALSE(buf.GetDelimitedString(GetNoEscCharConversion(), out2, sizeof(out2)));
    EXPECT_STREQ(out2, "");
    EXPECT_EQ(buf.TellGet(), 11); // only the white space went
}

TEST(UtlBufferText, EatCommentAndWhiteSpace)
{
    const char text[] = "// x";
    CUtlBuffer buf(text, 4, CUtlBuffer::TEXT_BUFFER);
    EXPECT_TRUE(buf.EatCPPComment());
    EXPECT_EQ(buf.TellGet(), 4);
    EXPECT_FALSE(buf.EatCPPComment());

    const char text2[] = "  // c1\n\t// c2\nkey /x";
    CUtlBuffer buf2(text2, static_cast<int>(strlen(text2)), CUtlBuffer::TEXT_BUFFER);
    EXPECT_EQ(buf2.PeekWhiteSpace(0), 2);
    buf2.EatWhiteSpace();
    EXPECT_TRUE(buf2.EatCPPComment());
    EXPECT_EQ(buf2.TellGet(), 8); // after the line feed
    buf2.EatWhiteSpace();
    EXPECT_TRUE(buf2.EatCPPComment());
    EXPECT_FALSE(buf2.EatCPPComment());
    EXPECT_EQ(buf2.PeekStringLength(), 4);
    char word[8];
    buf2.GetString(word, sizeof(word));
    buf2.EatWhiteSpace();
    EXPECT_FALSE(buf2.EatCPPComment()); // a single '/' is text
    EXPECT_TRUE(buf2.IsValid());

    // Running into the end while skipping white space is a read past the end.
    const char blanks[] = "   ";
    CUtlBuffer buf3(blanks, 3, CUtlBuffer::TEXT_BUFFER);
    buf3.EatWhiteSpace();
    EXPECT_EQ(buf3.TellGet(), 3);
    EXPECT_FALSE(buf3.IsValid());
}

TEST(UtlBufferText, HelpersDoNothingOutsideTextMode)
{
    const char text[] = "  // x";
    CUtlBuffer buf(text, 6, 0);
    buf.EatWhiteSpace();
    EXPECT_FALSE(buf.EatCPPComment());
    EXPECT_EQ(buf.PeekWhiteSpace(0), 0);
    EXPECT_EQ(buf.TellGet(), 0);
    EXPECT_EQ(buf.Scan("%c", static_cast<char*>(nullptr)), 0);
}

TEST(UtlBufferScan, Conversions)
{
    const char text[] = "  -42 1f 7 2.5 word x,9";
    CUtlBuffer buf(text, static_cast<int>(strlen(text)), CUtlBuffer::TEXT_BUFFER);
    int n = 0, x = 0;
    unsigned int u = 0;
    float f = 0;
    char word[16];
    char c = 0;
    int n2 = 0;
    EXPECT_EQ(buf.Scan("%d %x %u %f %s %c,%i", &n, &x, &u, &f, word, &c, &n2), 7);
    EXPECT_EQ(n, -42);
    EXPECT_EQ(x, 0x1f);
    EXPECT_EQ(u, 7u);
    EXPECT_FLOAT_EQ(f, 2.5f);
    EXPECT_STREQ(word, "word");
    EXPECT_EQ(c, 'x');
    EXPECT_EQ(n2, 9);
    EXPECT_TRUE(buf.IsValid());
    EXPECT_EQ(buf.Scan("%d", &n), 0);
    EXPECT_FALSE(buf.IsValid());
}

TEST(UtlBufferScan, StopsAtTheFirstFailure)
{
    CAssertCapture capture;
    const char text[] = "12 ab 34";
    CUtlBuffer buf(text, static_cast<int>(strlen(text)), CUtlBuffer::TEXT_BUFFER);
    int a = 0, b = -1;
    EXPECT_EQ(buf.Scan("%d %d", &a, &b), 1);
    EXPECT_EQ(a, 12);
    EXPECT_EQ(b, -1);
    EXPECT_EQ(buf.TellGet(), 3); // nothing of "ab" consumed
    EXPECT_TRUE(buf.IsValid());

    EXPECT_EQ(buf.Scan("a%d", &a), 0); // 'b' does not match "%d" after 'a'
    EXPECT_EQ(buf.TellGet(), 4);

    EXPECT_EQ(buf.Scan("%q", &a), 0);
    EXPECT_TRUE(capture.Has("utlbuffer", "0"));
    EXPECT_EQ(buf.Scan(nullptr), 0);
    EXPECT_TRUE(capture.Has("utlbuffer", "pFmt"));
}

TEST(UtlBufferScan, WidthBoundsAWord)
{
    const char text[] = "abcdefgh";
    CUtlBuffer buf(text, 8, CUtlBuffer::TEXT_BUFFER);
    char word[4];
    EXPECT_EQ(buf.Scan("%3s", word), 1);
    EXPECT_STREQ(word, "abc");
    EXPECT_EQ(buf.TellGet(), 8);
}

TEST(UtlBufferText, GetCharAndTypedReads)
{
    const char text[] = "7 -3 q";
    CUtlBuffer buf(text, 6, CUtlBuffer::TEXT_BUFFER);
    EXPECT_EQ(buf.GetInt(), 7);
    EXPECT_EQ(buf.GetInt(), -3);
    EXPECT_EQ(buf.GetChar(), ' ');
    EXPECT_EQ(buf.GetChar(), 'q');
    EXPECT_EQ(buf.GetChar(), 0);

    CUtlBuffer bin(0, 0, 0);
    bin.PutInt(0x01020304);
    bin.PutUnsignedInt(7u);
    EXPECT_EQ(bin.TellPut(), 8);
    EXPECT_EQ(bin.GetInt(), 0x01020304);
    EXPECT_EQ(bin.GetUnsignedInt(), 7u);
}

TEST(UtlBufferText, PrintfAppendsWithoutCountingTheTerminator)
{
    CUtlBuffer buf(0, 0, CUtlBuffer::TEXT_BUFFER);
    buf.Printf("%s=%d", "key", 12);
    buf.Printf("!");
    EXPECT_EQ(buf.TellPut(), 7);
    EXPECT_STREQ(buf.Base(), "key=12!");
}

TEST(UtlCharConversion, DuplicateEntryIsReported)
{
    CAssertCapture capture;
    CUtlCharConversion::ConversionArray_t entries[] = {{'\n', "n"}, {'\n', "N"}, {'\t', "tab"}};
    CUtlCharConversion conv('\\', "\"", 3, entries);
    EXPECT_TRUE(capture.Has("utlbuffer", "info.m_pReplacementString == 0"));
    EXPECT_STREQ(conv.GetConversionString('\n'), "n");
    EXPECT_EQ(conv.MaxConversionLength(), 3);
    int nLen = 0;
    EXPECT_EQ(conv.FindConversion("tabx", &nLen), '\t');
    EXPECT_EQ(nLen, 3);
    EXPECT_EQ(conv.FindConversion("q", &nLen), 0);
    EXPECT_EQ(nLen, 0);
}
