// Index-addressed red-black tree: stable handles, slot reuse and balance.
#include "trestle/utlsortedtree.h"
#include "trestle/utlstring.h"

#include "tests/trestle/utl_test_support.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <vector>

namespace
{
struct KeyValue
{
    int m_nKey;
    int m_nValue;
};

bool KeyLess(const KeyValue& a, const KeyValue& b)
{
    return a.m_nKey < b.m_nKey;
}

bool IntLess(const int& a, const int& b)
{
    return a < b;
}

typedef CUtlSortedTree<KeyValue> KVTree;

// Black height of the subtree, checking the red-black rules and the links on
// the way; -1 on any violation.
template <class Tree> int CheckNode(const Tree& tree, int i, int parent, int& nCount)
{
    if (i < 0) return 1;
    if (!tree.IsValidIndex(i) || tree.Parent(i) != parent) return -1;
    ++nCount;
    int l = tree.LeftChild(i), r = tree.RightChild(i);
    if (tree.IsRed(i) && (tree.IsRed(l) || tree.IsRed(r))) return -1;
    int hl = CheckNode(tree, l, i, nCount);
    int hr = CheckNode(tree, r, i, nCount);
    if (hl < 0 || hl != hr) return -1;
    return hl + (tree.IsRed(i) ? 0 : 1);
}

template <class Tree> bool IsRedBlack(const Tree& tree)
{
    if (tree.Root() >= 0 && tree.IsRed(tree.Root())) return false;
    int nCount = 0;
    return CheckNode(tree, tree.Root(), -1, nCount) > 0 && nCount == tree.Count();
}

std::vector<int> InorderKeys(const KVTree& tree)
{
    std::vector<int> keys;
    for (int i = tree.FirstInorder(); i != tree.InvalidIndex(); i = tree.NextInorder(i))
        keys.push_back(tree[i].m_nKey);
    return keys;
}
} // namespace

TEST(UtlSortedTree, FreedSlotsAreReusedMostRecentFirst)
{
    KVTree tree(KeyLess);
    for (int k = 0; k < 10; ++k)
        EXPECT_EQ(k, tree.Insert({k * 10, k}));

    tree.RemoveAt(3);
    EXPECT_FALSE(tree.IsValidIndex(3));
    EXPECT_EQ(3, tree.Insert({35, 0}));

    tree.RemoveAt(3);
    tree.RemoveAt(5);
    EXPECT_EQ(5, tree.Insert({1, 0}));
    EXPECT_EQ(3, tree.Insert({2, 0}));
    // Free list empty again: the next never-used slot.
    EXPECT_EQ(10, tree.Insert({3, 0}));
    EXPECT_EQ(11, tree.MaxElement());
    EXPECT_TRUE(IsRedBlack(tree));
    EXPECT_TRUE(tree.ValidateTree());
}

TEST(UtlSortedTree, RemoveAllChainsSlotsInAscendingOrder)
{
    KVTree tree(KeyLess);
    for (int k = 0; k < 6; ++k)
        tree.Insert({50 - k, 0});
    tree.RemoveAt(4);
    tree.RemoveAll();
    EXPECT_EQ(0, tree.Count());
    EXPECT_EQ(-1, tree.Root());
    EXPECT_EQ(-1, tree.FirstInorder());
    for (int k = 0; k < 7; ++k)
        EXPECT_EQ(k, tree.Insert({k, 0}));
    tree.Purge();
    EXPECT_EQ(0, tree.MaxElement());
    EXPECT_EQ(0, tree.Insert({1, 0}));
}

TEST(UtlSortedTree, DuplicatesOverwriteOrFollowExisting)
{
    KVTree tree(KeyLess);
    int a = tree.Insert({7, 1});
    tree.Insert({3, 0});
    tree.Insert({9, 0});
    EXPECT_EQ(a, tree.Insert({7, 2}, false));
    EXPECT_EQ(3, tree.Count());
    EXPECT_EQ(2, tree[a].m_nValue);

    // Allowed duplicates go after the equal ones already there.
    int b = tree.Insert({7, 3}, true);
    int c = tree.Insert({7, 4}, true);
    EXPECT_NE(a, b);
    std::vector<int> values;
    for (int i = tree.FirstInorder(); i >= 0; i = tree.NextInorder(i))
        if (tree[i].m_nKey == 7) values.push_back(tree[i].m_nValue);
    EXPECT_EQ((std::vector<int>{2, 3, 4}), values);
    EXPECT_TRUE(tree.IsValidIndex(c));
    EXPECT_TRUE(IsRedBlack(tree));
}

TEST(UtlSortedTree, MatchesStdMapUnderRandomOperations)
{
    std::mt19937 rng(12345);
    KVTree tree(KeyLess);
    std::map<int, int> model;   // key -> value
    std::map<int, int> handles; // key -> tree index
    for (int step = 0; step < 4000; ++step)
    {
        int key = (int)(rng() % 300);
        if (rng() % 3 != 0)
        {
            int value = (int)rng();
            int i = tree.Insert({key, value}, false);
            ASSERT_GE(i, 0);
            if (handles.count(key))
            {
                ASSERT_EQ(handles[key], i);
            }
            handles[key] = i;
            model[key] = value;
        }
        else
        {
            int i = tree.Find({key, 0});
            ASSERT_EQ(model.count(key) ? handles[key] : -1, i);
            if (i >= 0)
            {
                tree.RemoveAt(i);
                model.erase(key);
                handles.erase(key);
            }
        }
        ASSERT_TRUE(IsRedBlack(tree)) << "step " << step;
        ASSERT_TRUE(tree.ValidateTree()) << "step " << step;
    }
    ASSERT_TRUE(IsRedBlack(tree));
    ASSERT_EQ((int)model.size(), tree.Count());
    // Every handle still addresses its own element, and the order matches.
    for (const auto& kv : handles)
    {
        ASSERT_EQ(kv.first, tree[kv.second].m_nKey);
        ASSERT_EQ(model[kv.first], tree[kv.second].m_nValue);
    }
    std::vector<int> keys;
    for (const auto& kv : model)
        keys.push_back(kv.first);
    EXPECT_EQ(keys, InorderKeys(tree));
    std::vector<int> reversed;
    for (int i = tree.LastInorder(); i >= 0; i = tree.PrevInorder(i))
        reversed.push_back(tree[i].m_nKey);
    EXPECT_EQ(std::vector<int>(keys.rbegin(), keys.rend()), reversed);

    // Removing everything one by one keeps the tree valid at each step.
    while (tree.Count() > 0)
    {
        tree.RemoveAt(tree.Root());
        ASSERT_TRUE(IsRedBlack(tree));
    }
}

TEST(UtlSortedTree, AscendingInsertStaysBalanced)
{
    CUtlSortedTree<int> tree(IntLess);
    for (int k = 0; k < 1000; ++k)
        tree.Insert(k);
    EXPECT_TRUE(IsRedBlack(tree));
    int depth = 0;
    for (int i = tree.FirstInorder(); i >= 0; i = tree.Parent(i))
        ++depth;
    EXPECT_LE(depth, 20); // 2 * log2(1001)
}

TEST(UtlSortedTree, MisuseIsReported)
{
    CAssertCapture capture;
    CUtlSortedTree<int> noLess;
    EXPECT_EQ(-1, noLess.Find(1));
    EXPECT_TRUE(capture.Has(UTL_SRC_RBTREE, "m_LessFunc"));
    EXPECT_EQ(-1, noLess.Insert(1));
    EXPECT_EQ(0, noLess.Count());

    CUtlSortedTree<int> tree(IntLess);
    tree.Insert(1);
    capture.Clear();
    tree.RemoveAt(1);
    EXPECT_TRUE(capture.Has(UTL_SRC_RBTREE, "IsValidIndex( elem )"));
    capture.Clear();
    tree.RemoveAt(0);
    tree.RemoveAt(0); // already free
    EXPECT_TRUE(capture.Has(UTL_SRC_RBTREE, "IsValidIndex( elem )"));
    EXPECT_EQ(0, tree.Count());
}

TEST(UtlSortedTree, CopyKeepsIndicesAndOwnsElements)
{
    auto less = [](const CUtlOwnedString& a, const CUtlOwnedString& b) { return a < b; };
    CUtlSortedTree<CUtlOwnedString> tree(less);
    for (const char* name : {"delta", "alpha", "echo", "bravo", "charlie"})
        tree.Insert(CUtlOwnedString(name));
    tree.RemoveAt(tree.Find(CUtlOwnedString("echo")));

    CUtlSortedTree<CUtlOwnedString> copy(tree);
    for (int i = 0; i < tree.MaxElement(); ++i)
    {
        ASSERT_EQ(tree.IsValidIndex(i), copy.IsValidIndex(i));
        if (tree.IsValidIndex(i))
        {
            EXPECT_STREQ(tree[i].Get(), copy[i].Get());
            EXPECT_NE(tree[i].Get(), copy[i].Get());
        }
    }
    // The copy's free list is the original's.
    EXPECT_EQ(2, copy.Insert(CUtlOwnedString("foxtrot")));
    EXPECT_TRUE(copy.ValidateTree());
}
