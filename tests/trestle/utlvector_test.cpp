// Growth rule, storage and the growable array.
#include "trestle/utlvector.h"
#include "trestle/utlstring.h"

#include "tests/trestle/utl_test_support.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

TEST(UtlMemory, CalcNewAllocationCount)
{
    EXPECT_EQ(8, UtlMemory_CalcNewAllocationCount(0, 0, 1, 4));
    EXPECT_EQ(16, UtlMemory_CalcNewAllocationCount(8, 0, 9, 4));
    EXPECT_EQ(1, UtlMemory_CalcNewAllocationCount(0, 0, 1, 100));
    EXPECT_EQ(30, UtlMemory_CalcNewAllocationCount(0, 10, 25, 4));
    EXPECT_EQ(32, UtlMemory_CalcNewAllocationCount(0, 0, 1, 1));
    EXPECT_EQ(1, UtlMemory_CalcNewAllocationCount(0, 0, 1, 32));
    EXPECT_EQ(2, UtlMemory_CalcNewAllocationCount(0, 0, 1, 31));
    // Several doublings at once when much more is wanted.
    EXPECT_EQ(128, UtlMemory_CalcNewAllocationCount(8, 0, 100, 4));
    // A grow size rounds up to its multiple, also from a non-empty block.
    EXPECT_EQ(30, UtlMemory_CalcNewAllocationCount(20, 10, 30, 4));
    EXPECT_EQ(40, UtlMemory_CalcNewAllocationCount(30, 10, 31, 4));
}

TEST(UtlMemory, CalcNewAllocationCountStepsLinearlyPast256MiB)
{
    // 1-byte elements: doubling up to 256 MiB, then 256 MiB at a time.
    EXPECT_EQ(536870912, UtlMemory_CalcNewAllocationCount(268435456, 0, 268435457, 1));
    EXPECT_EQ(805306368, UtlMemory_CalcNewAllocationCount(536870912, 0, 536870913, 1));
    // 64-byte elements: steps of 4194304 elements.
    EXPECT_EQ(4194304 * 3, UtlMemory_CalcNewAllocationCount(4194304 * 2, 0, 4194304 * 2 + 1, 64));
    // Near the top of the int range the result saturates instead of wrapping.
    EXPECT_EQ(INT_MAX, UtlMemory_CalcNewAllocationCount(0, 0, INT_MAX, 4));
    EXPECT_EQ(INT_MAX, UtlMemory_CalcNewAllocationCount(0, 1000, INT_MAX, 4));
}

TEST(UtlMemory, CalcNewAllocationCountBadElementSize)
{
    CAssertCapture capture;
    EXPECT_EQ(256, UtlMemory_CalcNewAllocationCount(0, 0, 1, 0));
    EXPECT_TRUE(capture.HasLine(
        UTL_SRC_MEMORY, "Assertion Failed: nBytesItem is 0 in UtlMemory_CalcNewAllocationCount"))
        << capture.Output();
    capture.Clear();
    EXPECT_EQ(512, UtlMemory_CalcNewAllocationCount(0, 0, 300, -3));
    EXPECT_TRUE(capture.HasLine(
        UTL_SRC_MEMORY, "Assertion Failed: nBytesItem is -3 in UtlMemory_CalcNewAllocationCount"));
}

TEST(UtlMemory, GrowEnsureCapacityAndPurge)
{
    CUtlMemoryBase mem(4);
    EXPECT_EQ(0, mem.NumAllocated());
    EXPECT_EQ(nullptr, mem.Base());
    mem.Grow(1);
    EXPECT_EQ(8, mem.NumAllocated());
    static_cast<int*>(mem.Base())[7] = 77;
    mem.Grow(1);
    EXPECT_EQ(16, mem.NumAllocated());
    EXPECT_EQ(77, static_cast<int*>(mem.Base())[7]);
    // Exactly the count asked for, and nothing when it already fits.
    mem.EnsureCapacity(21);
    EXPECT_EQ(21, mem.NumAllocated());
    mem.EnsureCapacity(5);
    EXPECT_EQ(21, mem.NumAllocated());
    EXPECT_EQ(77, static_cast<int*>(mem.Base())[7]);
    mem.Purge();
    EXPECT_EQ(0, mem.NumAllocated());
    EXPECT_EQ(nullptr, mem.Base());

    CAssertCapture capture;
    mem.Grow(0);
    EXPECT_TRUE(capture.Has(UTL_SRC_MEMORY, "num > 0"));
    EXPECT_EQ(0, mem.NumAllocated());

    CUtlMemoryBase initial(4, 0, 3);
    EXPECT_EQ(3, initial.NumAllocated());
    initial.Grow(1);
    EXPECT_EQ(6, initial.NumAllocated());
}

TEST(UtlMemory, ExternalMemoryNeverGrowsUntilConverted)
{
    int buffer[4] = {1, 2, 3, 4};
    CUtlMemoryBase mem(buffer, sizeof(int), 4);
    EXPECT_TRUE(mem.IsExternallyAllocated());
    CAssertCapture capture;
    mem.Grow(1);
    EXPECT_TRUE(capture.Has(UTL_SRC_MEMORY, "0"));
    EXPECT_EQ(buffer, mem.Base());
    EXPECT_EQ(4, mem.NumAllocated());
    capture.Clear();
    mem.EnsureCapacity(10);
    EXPECT_TRUE(capture.Has(UTL_SRC_MEMORY, "0"));
    EXPECT_EQ(4, mem.NumAllocated());
    mem.Purge(); // not ours: left alone
    EXPECT_EQ(buffer, mem.Base());

    mem.ConvertToGrowableMemory(0);
    EXPECT_FALSE(mem.IsExternallyAllocated());
    EXPECT_NE(static_cast<void*>(buffer), mem.Base());
    mem.Grow(1);
    EXPECT_EQ(8, mem.NumAllocated());
    EXPECT_EQ(4, static_cast<int*>(mem.Base())[3]);
    static_cast<int*>(mem.Base())[0] = 9;
    EXPECT_EQ(1, buffer[0]);
}

TEST(UtlVector, GrowthSequenceFollowsTheRule)
{
    CUtlVector<int> ints;
    std::vector<int> seen;
    for (int i = 0; i < 100; ++i)
    {
        ints.AddToTail(i);
        if (seen.empty() || seen.back() != ints.NumAllocated()) seen.push_back(ints.NumAllocated());
    }
    EXPECT_EQ((std::vector<int>{8, 16, 32, 64, 128}), seen);

    CUtlVector<char> chars;
    chars.AddToTail('a');
    EXPECT_EQ(32, chars.NumAllocated());

    struct Big
    {
        char m_rgch[40];
    };
    CUtlVector<Big> bigs;
    seen.clear();
    for (int i = 0; i < 5; ++i)
    {
        bigs.AddToTail();
        seen.push_back(bigs.NumAllocated());
    }
    EXPECT_EQ((std::vector<int>{1, 2, 4, 4, 8}), seen);

    CUtlVector<int> stepped(10);
    seen.clear();
    for (int i = 0; i < 25; ++i)
    {
        stepped.AddToTail(i);
        if (seen.empty() || seen.back() != stepped.NumAllocated())
            seen.push_back(stepped.NumAllocated());
    }
    EXPECT_EQ((std::vector<int>{10, 20, 30}), seen);
}

static std::vector<int> Contents(const CUtlVector<int>& v)
{
    return std::vector<int>(v.begin(), v.end());
}

TEST(UtlVector, InsertRemoveKeepOrder)
{
    CUtlVector<int> v;
    EXPECT_EQ(0, v.AddToTail(10));
    EXPECT_EQ(1, v.AddToTail(30));
    EXPECT_EQ(1, v.InsertBefore(1, 20));
    EXPECT_EQ(0, v.AddToHead(5));
    EXPECT_EQ(4, v.InsertAfter(3, 40));
    EXPECT_EQ((std::vector<int>{5, 10, 20, 30, 40}), Contents(v));

    v.Remove(1);
    EXPECT_EQ((std::vector<int>{5, 20, 30, 40}), Contents(v));
    v.AddToTail(20);
    EXPECT_TRUE(v.FindAndRemove(20)); // first one only
    EXPECT_EQ((std::vector<int>{5, 30, 40, 20}), Contents(v));
    EXPECT_FALSE(v.FindAndRemove(99));
    EXPECT_EQ(3, v.Find(20));
    EXPECT_EQ(-1, v.Find(99));
    v.FastRemove(0);
    EXPECT_EQ((std::vector<int>{20, 30, 40}), Contents(v));
    v.RemoveMultiple(0, 2);
    EXPECT_EQ((std::vector<int>{40}), Contents(v));

    int allocated = v.NumAllocated();
    v.RemoveAll();
    EXPECT_EQ(0, v.Count());
    EXPECT_EQ(allocated, v.NumAllocated());
    v.Purge();
    EXPECT_EQ(0, v.NumAllocated());
    EXPECT_EQ(nullptr, v.Base());
}

TEST(UtlVector, MisuseIsReportedAndHarmless)
{
    CUtlVector<int> v;
    v.AddToTail(1);
    v.AddToTail(2);
    CAssertCapture capture;
    EXPECT_EQ(-1, v.InsertBefore(3, 9));
    EXPECT_TRUE(capture.Has(UTL_SRC_VECTOR, "(elem == Count()) || IsValidIndex(elem)"));
    EXPECT_EQ(-1, v.InsertBefore(-1, 9));
    capture.Clear();
    v.Remove(2);
    EXPECT_TRUE(
        capture.Has(UTL_SRC_VECTOR, "IsValidIndex(elem) || ( m_Size == 0 ) || ( num == 0 )"));
    v.Remove(-1);
    EXPECT_EQ((std::vector<int>{1, 2}), Contents(v));
}

TEST(UtlVector, InsertingOwnElementWhileGrowing)
{
    CUtlVector<CUtlOwnedString> v;
    for (int i = 0; i < 8; ++i)
        v.AddToTail(CUtlOwnedString(i == 0 ? "first element text" : "x"));
    ASSERT_EQ(8, v.NumAllocated());
    CAssertCapture capture;
    // The storage moves while the source still points into it.
    EXPECT_EQ(0, v.InsertBefore(0, v[0]));
    EXPECT_TRUE(capture.Has(UTL_SRC_VECTOR, "(&src < Base()) || (&src >= (Base() + Count()) )"));
    EXPECT_STREQ("first element text", v[0].Get());
    EXPECT_STREQ("first element text", v[1].Get());
    EXPECT_EQ(9, v.Count());
}

TEST(UtlVector, ExternalStorageCannotGrow)
{
    int buffer[3];
    CUtlVector<int> v(buffer, 3);
    v.AddToTail(1);
    v.AddToTail(2);
    v.AddToTail(3);
    CAssertCapture capture;
    EXPECT_EQ(-1, v.AddToTail(4));
    EXPECT_TRUE(capture.Has(UTL_SRC_MEMORY, "0"));
    EXPECT_EQ(3, v.Count());
    EXPECT_EQ(3, buffer[2]);
}

namespace
{
// Points at itself, so a byte copy to a new address breaks it.
struct SelfRef
{
    static int s_nLive;
    int m_nValue;
    SelfRef* m_pSelf;

    SelfRef(int n = 0) : m_nValue(n), m_pSelf(this) { ++s_nLive; }
    SelfRef(const SelfRef& o) : m_nValue(o.m_nValue), m_pSelf(this) { ++s_nLive; }
    SelfRef& operator=(const SelfRef& o)
    {
        m_nValue = o.m_nValue;
        return *this;
    }
    ~SelfRef()
    {
        EXPECT_EQ(this, m_pSelf);
        --s_nLive;
    }
    bool operator==(const SelfRef& o) const { return m_nValue == o.m_nValue; }
};
int SelfRef::s_nLive = 0;
} // namespace

TEST(UtlVector, NonRelocatableElementsAreMovedProperly)
{
    {
        CUtlVector<SelfRef> v;
        for (int i = 0; i < 40; ++i)
            v.AddToHead(SelfRef(i));
        v.InsertBefore(20, SelfRef(100));
        v.Remove(5);
        v.FastRemove(0);
        v.RemoveMultiple(10, 3);
        v.EnsureCapacity(200);
        for (int i = 0; i < v.Count(); ++i)
            EXPECT_EQ(&v[i], v[i].m_pSelf);
        EXPECT_EQ(v.Count(), SelfRef::s_nLive);
        EXPECT_EQ(16, v.Find(SelfRef(100)));
    }
    EXPECT_EQ(0, SelfRef::s_nLive);
}

TEST(UtlVector, CopyCountAndSort)
{
    CUtlVector<int> v;
    v.SetCount(5);
    EXPECT_EQ((std::vector<int>{0, 0, 0, 0, 0}), Contents(v));
    for (int i = 0; i < 5; ++i)
        v[i] = 5 - i;
    v.Sort([](const int* a, const int* b) { return *a - *b; });
    EXPECT_EQ((std::vector<int>{1, 2, 3, 4, 5}), Contents(v));

    CUtlVector<int> copy(v);
    copy.AddVectorToTail(copy);
    EXPECT_EQ((std::vector<int>{1, 2, 3, 4, 5, 1, 2, 3, 4, 5}), Contents(copy));
    copy.CopyArray(copy.Base() + 6, 3);
    EXPECT_EQ((std::vector<int>{2, 3, 4}), Contents(copy));
    copy.SetCount(1);
    EXPECT_EQ((std::vector<int>{2}), Contents(copy));

    CUtlVector<int> moved(std::move(v));
    EXPECT_EQ(0, v.Count());
    EXPECT_EQ(5, moved.Count());
}
