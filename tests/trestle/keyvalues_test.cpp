#include "trestle/keyvalues.h"

#include "tests/trestle/keyvalues_test_support.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>

namespace
{
// Owns a tree for the length of a test.
struct Tree
{
    explicit Tree(const char* pszName) : p(new KeyValues(pszName)) {}
    ~Tree() { KeyValues::DeleteTree(p); }
    KeyValues* operator->() const { return p; }
    KeyValues* p;
};

KeyValues* AddString(KeyValues* pParent, const char* pszName, const char* pszValue)
{
    KeyValues* p = pParent->AddChild(pszName);
    KeyValues::AssignString(p, pszValue);
    return p;
}
} // namespace

TEST(KeyValuesTree, NamesAreSymbolsIgnoringCase)
{
    Tree root("Root");
    KeyValues* a = root->AddChild("Alpha");
    KeyValues* a2 = root->AddChild("ALPHA"); // duplicates stay, in order
    EXPECT_EQ(a->GetNameSymbol(), a2->GetNameSymbol());
    EXPECT_STREQ("Alpha", a2->GetName());
    EXPECT_EQ(a, root->LookupKey("alpha"));
    EXPECT_EQ(a, root->LookupKeySymbol(a->GetNameSymbol()));
    EXPECT_EQ(root.p, root->LookupKeySymbol(0));
    EXPECT_EQ(a2, a->GetNextKey());
    EXPECT_EQ(KeyValues::TYPE_NONE, root->GetDataType());
}

TEST(KeyValuesTree, AssignStringInlineUpToEightBytes)
{
    Tree root("r");
    KeyValues* n = root->AddChild("s");
    KeyValues::AssignString(n, "abcdefg");
    EXPECT_EQ(KeyValues::TYPE_STRING, n->GetDataType());
    EXPECT_FALSE(n->IsValueAllocated());
    EXPECT_STREQ("abcdefg", KeyValues::StringValue(n));

    KeyValues::AssignString(n, "abcdefgh");
    EXPECT_TRUE(n->IsValueAllocated());
    EXPECT_STREQ("abcdefgh", KeyValues::StringValue(n));

    // Assigning a node its own text is safe in both storage forms.
    KeyValues::AssignString(n, n->GetStringPtr());
    EXPECT_STREQ("abcdefgh", KeyValues::StringValue(n));
    KeyValues::AssignString(n, "xy");
    KeyValues::AssignString(n, n->GetStringPtr() + 1);
    EXPECT_STREQ("y", KeyValues::StringValue(n));
    EXPECT_FALSE(n->IsValueAllocated());

    KeyValues::AssignString(n, nullptr);
    EXPECT_STREQ("", KeyValues::StringValue(n, "dflt"));
    KeyValues::AssignString(nullptr, "ignored");
}

TEST(KeyValuesTree, IntValueStatuses)
{
    Tree root("r");
    ConversionStatus status = CONVERSION_OK;
    KeyValues* s = AddString(root.p, "s", "12ab");
    EXPECT_EQ(12, KeyValues::IntValue(s, 5, &status));
    EXPECT_EQ(CONVERSION_TRAILING_TEXT, status);

    KeyValues::AssignString(s, "");
    EXPECT_EQ(5, KeyValues::IntValue(s, 5, &status));
    EXPECT_EQ(CONVERSION_EMPTY, status);

    KeyValues::AssignString(s, "-0x1F");
    EXPECT_EQ(-31, KeyValues::IntValue(s, 5, &status));
    EXPECT_EQ(CONVERSION_OK, status);

    EXPECT_EQ(7, KeyValues::IntValue(nullptr, 7, &status));
    EXPECT_EQ(CONVERSION_NO_KEY, status);

    KeyValues* i = root->AddChild("i");
    i->SetInt(-9);
    EXPECT_EQ(-9, KeyValues::IntValue(i, 0, &status));
    EXPECT_EQ(CONVERSION_OK, status);
    // The status is optional.
    EXPECT_EQ(12, KeyValues::IntValue(AddString(root.p, "t", "12"), 0));

    // An empty block reads as 0; a block with children has no number.
    KeyValues* blk = root->AddChild("blk");
    EXPECT_EQ(0, KeyValues::IntValue(blk, 3));
    blk->AddChild("c");
    EXPECT_EQ(3, KeyValues::IntValue(blk, 3));
}

TEST(KeyValuesTree, GetIntFromStringWantsAStatus)
{
    CAssertCapture capture;
    EXPECT_EQ(4, KeyValues::GetIntFromString("4", 1, nullptr));
    EXPECT_TRUE(
        capture.HasLine(KV_SRC_KEYVALUES, "GetIntFromString() did not get correct peCS parameter"))
        << capture.Output();
}

TEST(KeyValuesTree, BoolValue)
{
    Tree root("r");
    KeyValues* n = AddString(root.p, "b", "TRUE");
    EXPECT_TRUE(KeyValues::BoolValue(n, false));
    KeyValues::AssignString(n, "False");
    EXPECT_FALSE(KeyValues::BoolValue(n, true));
    KeyValues::AssignString(n, "1");
    EXPECT_TRUE(KeyValues::BoolValue(n, false));
    ConversionStatus status = CONVERSION_OK;
    KeyValues::AssignString(n, "yes");
    EXPECT_FALSE(KeyValues::BoolValue(n, true, &status));
    EXPECT_EQ(CONVERSION_TRAILING_TEXT, status);
    EXPECT_TRUE(KeyValues::BoolValue(nullptr, true, &status));
    EXPECT_EQ(CONVERSION_NO_KEY, status);

    n->SetWString(u"tRuE");
    EXPECT_TRUE(KeyValues::BoolValue(n, false));
    n->SetWString(u"0");
    EXPECT_FALSE(KeyValues::BoolValue(n, true));
}

TEST(KeyValuesTree, StringValueTurnsNumbersIntoText)
{
    Tree root("r");
    KeyValues* n = root->AddChild("n");
    n->SetInt(42);
    EXPECT_STREQ("42", KeyValues::StringValue(n));
    EXPECT_EQ(KeyValues::TYPE_STRING, n->GetDataType());
    EXPECT_EQ(42, KeyValues::IntValue(n)); // parsed back from the text

    n->SetFloat(1.5f);
    EXPECT_STREQ("1.500000", KeyValues::StringValue(n));
    n->SetUint64(0xFFFFFFFFFFFFFFFFull);
    EXPECT_STREQ("18446744073709551615", KeyValues::StringValue(n));
    n->SetInt64(-5000000000LL);
    EXPECT_STREQ("-5000000000", KeyValues::StringValue(n));
    n->SetWString(u"h\u00e9llo w\u00f6rld");
    EXPECT_STREQ("h\xc3\xa9llo w\xc3\xb6rld", KeyValues::StringValue(n));
    EXPECT_EQ(KeyValues::TYPE_STRING, n->GetDataType());

    n->SetColor(1, 2, 3, 4);
    EXPECT_STREQ("dflt", KeyValues::StringValue(n, "dflt"));
    EXPECT_STREQ("dflt", KeyValues::StringValue(root->AddChild("blk"), "dflt"));
    EXPECT_STREQ("dflt", KeyValues::StringValue(nullptr, "dflt"));

    const unsigned char bytes[] = {'3', '4'};
    n->SetBlob(bytes, 2);
    EXPECT_STREQ("34", KeyValues::StringValue(n));
    EXPECT_EQ(34, KeyValues::IntValue(n));
}

TEST(KeyValuesTree, IntValueOfOtherTypes)
{
    Tree root("r");
    KeyValues* n = root->AddChild("n");
    ConversionStatus status;

    n->SetFloat(-2.7f);
    EXPECT_EQ(-2, KeyValues::IntValue(n));
    n->SetFloat(std::nanf(""));
    EXPECT_EQ(INT_MIN, KeyValues::IntValue(n));
    n->SetFloat(1e20f);
    EXPECT_EQ(INT_MIN, KeyValues::IntValue(n));

    n->SetWString(u" 77");
    EXPECT_EQ(77, KeyValues::IntValue(n, 0, &status));
    EXPECT_EQ(CONVERSION_OK, status);
    n->SetWString(u"8 beers");
    EXPECT_EQ(8, KeyValues::IntValue(n, 0, &status));
    EXPECT_EQ(CONVERSION_TRAILING_TEXT, status);
    n->SetWString(u"");
    EXPECT_EQ(6, KeyValues::IntValue(n, 6, &status));
    EXPECT_EQ(CONVERSION_EMPTY, status);

    n->SetUint64(123);
    EXPECT_EQ(123, KeyValues::IntValue(n));
    n->SetInt64(-123);
    EXPECT_EQ(-123, KeyValues::IntValue(n));

    CAssertCapture capture;
    n->SetUint64(0x100000000ull);
    EXPECT_EQ(9, KeyValues::IntValue(n, 9));
    n->SetInt64(-3000000000LL);
    EXPECT_EQ(9, KeyValues::IntValue(n, 9));
    EXPECT_TRUE(capture.HasLine(KV_SRC_KEYVALUES, "can't convert uint64 to int32 (data loss)"))
        << capture.Output();

    n->SetColor(1, 0, 0, 0);
    EXPECT_EQ(1, KeyValues::IntValue(n));
}

TEST(KeyValuesTree, LookupKeyPaths)
{
    Tree root("root");
    KeyValues* mount = root->AddChild("mount");
    KeyValues* dir = AddString(mount, "dir", "c:\\games");
    root->AddChild("other");

    EXPECT_EQ(dir, root->LookupKey("Mount/Dir"));
    EXPECT_EQ(mount, root->LookupKey("mount/")); // trailing '/'
    EXPECT_EQ(root.p, root->LookupKey(""));
    EXPECT_EQ(root.p, root->LookupKey(nullptr));
    EXPECT_EQ(nullptr, root->LookupKey("mount//dir"));
    EXPECT_EQ(nullptr, root->LookupKey("mount/nothere"));
    EXPECT_EQ(nullptr, root->LookupKey("Mount/Dir/deeper")); // a value has no children
    EXPECT_EQ(nullptr, root->LookupKey("never-seen-name-xyz"));

    // Creation appends at the end of the children.
    KeyValues* made = root->LookupKey("mount/new/leaf", true);
    ASSERT_NE(nullptr, made);
    EXPECT_STREQ("leaf", made->GetName());
    EXPECT_EQ(made, root->LookupKey("MOUNT/NEW/LEAF"));
    EXPECT_EQ(root->LookupKey("mount/new"), dir->GetNextKey());
}

TEST(KeyValuesTree, CreatingThroughAValueDropsTheValue)
{
    Tree root("root");
    KeyValues* a = AddString(root.p, "a", "a long string value");
    KeyValues* b = root->LookupKey("a/b", true);
    ASSERT_NE(nullptr, b);
    EXPECT_EQ(KeyValues::TYPE_NONE, a->GetDataType());
    EXPECT_FALSE(a->IsValueAllocated());
    EXPECT_EQ(b, a->GetFirstSubKey());
    EXPECT_EQ(nullptr, b->GetNextKey());

    // AddChild on a value node also turns it into a block first.
    KeyValues* c = AddString(root.p, "c", "v");
    KeyValues* d = c->AddChild("d");
    EXPECT_EQ(d, c->GetFirstSubKey());
    EXPECT_EQ(KeyValues::TYPE_NONE, c->GetDataType());
}

TEST(KeyValuesTree, ValueChildIteration)
{
    Tree root("root");
    KeyValues* x = root->AddChild("x");
    x->SetInt(1);
    root->AddChild("blk");
    KeyValues* y = root->AddChild("y");
    y->SetInt(2);
    root->AddChild("blk2");

    EXPECT_EQ(x, root->FirstValueChild());
    EXPECT_EQ(y, x->NextValuePeer());
    EXPECT_EQ(nullptr, y->NextValuePeer());
    EXPECT_EQ(nullptr, x->FirstValueChild()); // a value has no children
}

TEST(KeyValuesTree, DetachChild)
{
    Tree root("root");
    KeyValues* a = root->AddChild("a");
    KeyValues* b = root->AddChild("b");
    KeyValues* c = root->AddChild("c");
    EXPECT_EQ(b, root->DetachChild(b));
    EXPECT_EQ(nullptr, b->GetNextKey());
    EXPECT_EQ(c, a->GetNextKey());
    EXPECT_EQ(nullptr, root->DetachChild(nullptr));

    // A node that is not a child keeps its peers.
    Tree loose("loose");
    KeyValues* peer = new KeyValues("peer");
    loose->SetNextKey(peer);
    EXPECT_EQ(loose.p, root->DetachChild(loose.p));
    EXPECT_EQ(peer, loose->GetNextKey());

    KeyValues::DeleteTree(b);
    KeyValues::DeleteTree(nullptr);
    root->DetachChild(a);
    KeyValues::DeleteTree(a);
    EXPECT_EQ(c, root->GetFirstSubKey());
}

TEST(KeyValuesTree, ClearValueFreesAndKeepsType)
{
    Tree root("root");
    KeyValues* n = AddString(root.p, "n", "allocated text value");
    n->ClearValue();
    EXPECT_FALSE(n->IsValueAllocated());
    EXPECT_EQ(KeyValues::TYPE_STRING, n->GetDataType());
    EXPECT_STREQ("", KeyValues::StringValue(n));

    const char blob[] = "\x01\xff";
    n->SetBlob(blob, 2);
    EXPECT_EQ(2u, n->GetBlobSize());
    n->ClearValue();
    EXPECT_EQ(0u, n->GetBlobSize());
    EXPECT_EQ(nullptr, n->GetBlobData());

    root->ClearValue();
    EXPECT_EQ(nullptr, root->GetFirstSubKey());
}
