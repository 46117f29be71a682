// Owned strings and the text builder's inline, heap and error forms.
#include "trestle/utlstring.h"

#include "tests/trestle/utl_test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

TEST(UtlOwnedString, EmptyIsNull)
{
    CUtlOwnedString s;
    EXPECT_EQ(nullptr, s.Access());
    EXPECT_STREQ("", s.Get());
    EXPECT_EQ(0, s.Length());
    s.Set("");
    EXPECT_EQ(nullptr, s.Access());
    s.Set("abc");
    s.Set(nullptr);
    EXPECT_EQ(nullptr, s.Access());
    s.SetDirect("abc", 0);
    EXPECT_EQ(nullptr, s.Access());
    CUtlOwnedString formatted;
    formatted.Format("%s", "");
    EXPECT_STREQ("", formatted.Get());
}

TEST(UtlOwnedString, SetCopiesAndHandlesOwnText)
{
    char source[] = "hello world";
    CUtlOwnedString s(source);
    EXPECT_NE(source, s.Access());
    source[0] = 'j';
    EXPECT_STREQ("hello world", s.Get());

    const char* before = s.Access();
    s.Set(s.Access()); // same pointer: nothing happens
    EXPECT_EQ(before, s.Access());
    s.Set(s.Access() + 6); // a part of the current text
    EXPECT_STREQ("world", s.Get());

    s.SetDirect("abcdef", 3);
    EXPECT_STREQ("abc", s.Get());
    EXPECT_EQ(3, s.Length());
    s.SetDirect(s.Access() + 1, 2);
    EXPECT_STREQ("bc", s.Get());

    CUtlOwnedString copy(s);
    EXPECT_TRUE(copy == s);
    EXPECT_NE(copy.Access(), s.Access());
    const CUtlOwnedString& self = copy;
    copy = self;
    EXPECT_STREQ("bc", copy.Get());
}

TEST(UtlOwnedString, Append)
{
    CUtlOwnedString s;
    s.Append("abcdef", 2); // from empty: as SetDirect
    EXPECT_STREQ("ab", s.Get());
    s.Append(nullptr, 5);
    s.Append("xyz", 0);
    s.Append("");
    EXPECT_STREQ("ab", s.Get());
    s.Append("cd");
    EXPECT_STREQ("abcd", s.Get());
    s.Append(s.Access(), s.Length());
    EXPECT_STREQ("abcdabcd", s.Get());
    // Embedded bytes are taken as given.
    s.Append("e\0f", 3);
    EXPECT_EQ(0, memcmp(s.Access(), "abcdabcde\0f", 12));
}

TEST(UtlOwnedString, FormatAndAppendFormat)
{
    CUtlOwnedString s;
    EXPECT_EQ(10, s.Format("%s-%04d", "depot", 42));
    EXPECT_STREQ("depot-0042", s.Get());
    std::string longText(5000, 'q');
    s.Format("[%s]", longText.c_str());
    EXPECT_EQ(5002, s.Length());
    s.Format("%d", 7);
    EXPECT_EQ(2, s.AppendFormat("%c%c", 'a', 'b'));
    EXPECT_STREQ("7ab", s.Get());

    CAssertCapture capture;
    EXPECT_EQ(0, s.AppendFormat("%s", ""));
    EXPECT_TRUE(capture.Has(UTL_SRC_STRING, "len > 0"));
    EXPECT_STREQ("7ab", s.Get());
}

TEST(UtlOwnedString, ComparisonsTreatNullAsEmpty)
{
    CUtlOwnedString a, b("x");
    EXPECT_TRUE(a == "");
    EXPECT_TRUE(a == nullptr);
    EXPECT_TRUE(a < b);
    EXPECT_FALSE(b < a);
    EXPECT_TRUE(b != a);
}

namespace
{
unsigned char FlagByte(const CUtlTextBuilder& tb)
{
    return tb.Raw()[CUtlTextBuilder::RawSize() - 1];
}
const char* InlineBytes(const CUtlTextBuilder& tb)
{
    return reinterpret_cast<const char*>(tb.Raw() + CUtlTextBuilder::RawSize() - 16);
}
} // namespace

TEST(UtlTextBuilder, InlineLayout)
{
    if (sizeof(void*) == 4)
    {
        EXPECT_EQ(16u, sizeof(CUtlTextBuilder));
    }
    CUtlTextBuilder tb;
    EXPECT_TRUE(tb.IsInline());
    EXPECT_EQ(15, FlagByte(tb));
    EXPECT_EQ(15, tb.Capacity());

    tb.Set("abc");
    EXPECT_EQ(12, FlagByte(tb));
    EXPECT_EQ(0, memcmp(InlineBytes(tb), "abc", 4));
    EXPECT_EQ(3, tb.Length());

    tb.Set("0123456789abcde"); // 15 characters: the flag byte is the terminator
    EXPECT_TRUE(tb.IsInline());
    EXPECT_EQ(0, FlagByte(tb));
    EXPECT_EQ(15, tb.Length());
    EXPECT_STREQ("0123456789abcde", tb.String());
    EXPECT_EQ(tb.String(), InlineBytes(tb));
}

TEST(UtlTextBuilder, HeapCapacityRule)
{
    CUtlTextBuilder tb;
    tb.Set("0123456789abcdef");
    EXPECT_TRUE(tb.IsHeap());
    EXPECT_EQ(0x80, FlagByte(tb));
    EXPECT_EQ(56, tb.Capacity()); // 16 + 8 + 32
    EXPECT_EQ(16, tb.Length());
    EXPECT_STREQ("0123456789abcdef", tb.String());

    // Growing keeps the text; the new capacity follows the same rule.
    std::string expected = "0123456789abcdef";
    tb.Append(std::string(41, 'x').c_str());
    expected += std::string(41, 'x');
    EXPECT_EQ(57, tb.Length());
    EXPECT_EQ(57 + 28 + 32, tb.Capacity());
    EXPECT_EQ(expected, tb.String());

    // Enough room: only the length moves, no new block.
    const char* before = tb.String();
    char* p = tb.PrepareBuffer(5, true);
    EXPECT_EQ(before, p);
    EXPECT_STREQ("01234", tb.String());

    // An explicit larger capacity is taken as asked.
    CUtlTextBuilder tb2("ab");
    char* q = tb2.PrepareBuffer(2, true, 100);
    ASSERT_NE(nullptr, q);
    EXPECT_EQ(100, tb2.Capacity());
    EXPECT_STREQ("ab", tb2.String());

    // Past 1999935 characters the growth is linear.
    CUtlTextBuilder big;
    ASSERT_NE(nullptr, big.PrepareBuffer(2000000, false));
    EXPECT_EQ(3000000, big.Capacity());
    CUtlTextBuilder mid;
    ASSERT_NE(nullptr, mid.PrepareBuffer(1999935, false));
    EXPECT_EQ(1999935 + 999967 + 32, mid.Capacity());
}

TEST(UtlTextBuilder, ErrorStateIsSticky)
{
    CUtlTextBuilder tb("some text that lives on the heap");
    CAssertCapture capture;
    EXPECT_EQ(nullptr, tb.PrepareBuffer64(10, true, k_nMaxStringSize + 1));
    EXPECT_TRUE(capture.Has(UTL_SRC_STRING, "nMinCapacity <= k_nMaxStringSize"));
    EXPECT_TRUE(capture.Has(UTL_SRC_STRING, "Error State on string being set."));
    EXPECT_TRUE(tb.IsError());
    EXPECT_EQ(0xC0, FlagByte(tb));
    EXPECT_STREQ("", tb.String());
    EXPECT_EQ(0, tb.Length());

    tb.Set("abc");
    tb.Append("def");
    EXPECT_EQ(nullptr, tb.PrepareBuffer(1, false));
    EXPECT_TRUE(tb.IsError());
    EXPECT_STREQ("", tb.String());

    CUtlTextBuilder copy(tb);
    EXPECT_TRUE(copy.IsError());

    tb.Clear();
    EXPECT_FALSE(tb.IsError());
    tb.Set("abc");
    EXPECT_STREQ("abc", tb.String());

    // Appending past the int range ends in the error state, not a wrapped length.
    CUtlTextBuilder huge("0123456789abcdefghij");
    capture.Clear();
    EXPECT_EQ(nullptr, huge.PrepareBuffer64((int64_t)huge.Length() + INT32_MAX, true, 0));
    EXPECT_TRUE(huge.IsError());
}

TEST(UtlTextBuilder, AppendOwnTextAndFormat)
{
    CUtlTextBuilder tb("abcdefgh");
    tb.Append(tb.String());
    EXPECT_STREQ("abcdefghabcdefgh", tb.String());
    tb.Append(tb.String(), 4);
    EXPECT_STREQ("abcdefghabcdefghabcd", tb.String());
    tb.SetDirect(tb.String() + 16, 4);
    EXPECT_STREQ("abcd", tb.String());
    EXPECT_EQ(6, tb.AppendFormat("-%05d", 12));
    EXPECT_STREQ("abcd-00012", tb.String());
}
