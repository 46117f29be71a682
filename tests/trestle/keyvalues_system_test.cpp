#include "trestle/keyvalues_system.h"

#include "plinth/platform/platform_preempt.h"

#include "trestle/strtools.h"
#include "trestle/utlstring.h"

#include "tests/trestle/keyvalues_test_support.h"
#include "tests/support/slot_call.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace
{
std::unique_ptr<CKeyValuesSystem> FreshPool()
{
    return std::unique_ptr<CKeyValuesSystem>(new CKeyValuesSystem());
}

int StressSeconds()
{
    if (const char* psz = getenv("QUERN_STRESS_SECONDS")) return atoi(psz);
#if defined(__SANITIZE_THREAD__)
    return 8; // the sanitizer's pace makes the windows rarer
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
    return 8;
#endif
#endif
    return 3;
}

// Ticks that switch worker threads out at random instructions, for as long
// as the object lives.
struct PreemptionTicks
{
    PreemptionTicks() { Plat_StartPreemptionTicks(50); }
    ~PreemptionTicks() { Plat_StopPreemptionTicks(); }
};

uint32_t BucketOf(const char* pszName)
{
    return V_HashMurmur3(pszName, (int)strlen(pszName), 1047, true) & 0xFFF;
}

// Adds distinct 1022-character names (1023 pool bytes each) until nNames
// have been added since *pnNext started at 0; 32 fill a page, so 32 * n of
// them fill pages 0 to n - 1 and the next one starts page n.
void AddLongNames(CKeyValuesSystem& pool, int nNames, int* pnNext)
{
    std::string name(1022, 'n');
    for (; *pnNext < nNames; ++*pnNext)
    {
        char szIndex[16];
        int n = snprintf(szIndex, sizeof(szIndex), "%d.", *pnNext);
        name.replace(0, (size_t)n, szIndex);
        ASSERT_NE(0, pool.SymbolForName(name.c_str(), true)) << *pnNext;
    }
}

// Flushed at once: a fatal assertion ends the process without flushing.
void DebugOutputToStderr(const char* pszText, void*)
{
    fputs(pszText, stderr);
    fflush(stderr);
}
} // namespace

TEST(KeyValuesSystem, FirstWrittenFormIsSharedAcrossCase)
{
    auto pool = FreshPool();
    EXPECT_EQ(1u, pool->BytesUsed()); // the empty name
    HKeySymbol mount = pool->SymbolForName("Mount", true);
    EXPECT_EQ(1, mount);
    EXPECT_EQ(mount, pool->SymbolForName("MOUNT", false));
    EXPECT_EQ(mount, pool->SymbolForName("mount", true));
    EXPECT_STREQ("Mount", pool->NameForSymbol(mount));
    EXPECT_EQ(7u, pool->BytesUsed());

    HKeySymbol other = pool->SymbolForName("mounts", true);
    EXPECT_EQ(7, other);
    EXPECT_NE(mount, other);
}

TEST(KeyValuesSystem, LookupWithoutCreateAddsNothing)
{
    auto pool = FreshPool();
    EXPECT_EQ(0, pool->SymbolForName("x", false));
    EXPECT_EQ(0, pool->SymbolForName("", true));
    EXPECT_EQ(0, pool->SymbolForName(nullptr, true));
    EXPECT_EQ(1u, pool->BytesUsed());
    EXPECT_EQ(1, pool->PageCount());
}

TEST(KeyValuesSystem, NameForSymbolOutsideThePoolIsEmpty)
{
    auto pool = FreshPool();
    HKeySymbol s = pool->SymbolForName("abc", true);
    EXPECT_STREQ("", pool->NameForSymbol(0));
    EXPECT_STREQ("", pool->NameForSymbol((HKeySymbol)pool->BytesUsed()));
    EXPECT_STREQ("", pool->NameForSymbol(0x7FFFFF));
    EXPECT_STREQ("", pool->NameForSymbol(-4));
    EXPECT_STREQ("abc", pool->NameForSymbol(s));

    char** ppTable = nullptr;
    EXPECT_EQ(s, pool->SymbolForNameWithTable("ABC", &ppTable));
    ASSERT_NE(nullptr, ppTable);
    EXPECT_EQ(pool->NameForSymbol(s), ppTable[0] + s);
}

TEST(KeyValuesSystem, NameLengthLimit)
{
    auto pool = FreshPool();
    CAssertCapture capture;
    std::string longest(1022, 'a');
    HKeySymbol s = pool->SymbolForName(longest.c_str(), true);
    EXPECT_NE(0, s);
    EXPECT_EQ(longest, pool->NameForSymbol(s));
    EXPECT_TRUE(capture.Output().empty()) << capture.Output();

    // The count in the message includes the terminator.
    for (int nLength : {1023, 1024, 5000})
    {
        std::string tooLong(nLength, 'b');
        unsigned int nUsed = pool->BytesUsed();
        capture.Clear();
        EXPECT_EQ(0, pool->SymbolForName(tooLong.c_str(), true));
        EXPECT_TRUE(capture.HasLine(KV_SRC_SYSTEM,
                                    "CKeyValuesSystem::AddStringToPool: key name too long (" +
                                        std::to_string(nLength + 1) + " chars)"))
            << capture.Output();
        EXPECT_EQ(1u, capture.Count("key name too long")) << nLength;
        EXPECT_EQ(nUsed, pool->BytesUsed());
        // Refused names leave no entry behind that later lookups could trip on.
        EXPECT_EQ(0, pool->SymbolForName(tooLong.c_str(), false));
    }
}

TEST(KeyValuesSystem, RunningOutOfMemoryIsReportedForEachPageFrom8MiB)
{
    auto pool = FreshPool();
    CAssertCapture capture;
    int nNext = 0;
    AddLongNames(*pool, 32 * 256, &nNext);
    // Page 256 starts with 8 MiB - 32 bytes used: not yet.
    ASSERT_EQ(0x800000u - 32u, pool->BytesUsed());
    AddLongNames(*pool, 32 * 256 + 1, &nNext);
    EXPECT_EQ(257, pool->PageCount());
    EXPECT_TRUE(capture.Empty()) << capture.Output().substr(0, 200);

    // Pages 257 and 258 start with 8 MiB + 32736 and + 65504 bytes used.
    AddLongNames(*pool, 32 * 258 + 1, &nNext);
    EXPECT_EQ(259, pool->PageCount());
    EXPECT_TRUE(capture.HasLine(
        KV_SRC_SYSTEM,
        "CKeyValuesSystem::AddStringToPool: running out of memory (8355872 bytes left)"));
    EXPECT_TRUE(capture.HasLine(
        KV_SRC_SYSTEM,
        "CKeyValuesSystem::AddStringToPool: running out of memory (8323104 bytes left)"));
    EXPECT_EQ(2u, capture.Count("running out of memory")) << capture.Output();
}

TEST(KeyValuesSystemDeathTest, NoPageBeyondTheLastIsAdded)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            auto pool = FreshPool();
            int nNext = 0;
            AddLongNames(*pool, 32 * 512, &nNext);
            // 31 bytes are left on page 511: a 30-character name still fits
            // and leaves the pool one byte short of 16 MiB.
            if (pool->SymbolForName(std::string(30, 'f').c_str(), true) != 0xFFFFE0 ||
                pool->BytesUsed() != 0xFFFFFFu || pool->PageCount() != 512)
                std::_Exit(3);
            Plat_SetDebugOutputObserver(&DebugOutputToStderr, nullptr);
            pool->SymbolForName("z", true);
            std::_Exit(4);
        },
        testing::ExitedWithCode(1), "CKeyValuesSystem::AddStringToPool: out of memory");
}

TEST(KeyValuesSystem, NamesNeverStraddlePages)
{
    // 32 names of 1000 characters use 1 + 32 * 1001 = 32033 bytes of page 0,
    // leaving 735.
    auto fill = [](CKeyValuesSystem& pool)
    {
        for (int i = 0; i < 32; ++i)
        {
            std::string name(1000, 'a' + (i % 26));
            name[0] = (char)('A' + i % 26);
            name[1] = (char)('0' + i / 26);
            pool.SymbolForName(name.c_str(), true);
        }
        ASSERT_EQ(32033u, pool.BytesUsed());
    };

    {
        auto pool = FreshPool();
        fill(*pool);
        // 733 characters + terminator end one byte before the page end.
        std::string fits(733, 'x');
        EXPECT_EQ(32033, pool->SymbolForName(fits.c_str(), true));
        EXPECT_EQ(1, pool->PageCount());
    }
    {
        auto pool = FreshPool();
        fill(*pool);
        // Reaching the page end exactly already moves to the next page.
        // Stand-in for whatever the allocator left in the page's tail.
        char** ppTable = nullptr;
        pool->SymbolForNameWithTable("", &ppTable);
        memset(ppTable[0] + 32033, 'Z', 0x8000 - 32033 - 1);
        ppTable[0][0x7FFF] = 0;
        std::string spills(734, 'y');
        HKeySymbol s = pool->SymbolForName(spills.c_str(), true);
        EXPECT_EQ(0x8000, s);
        EXPECT_EQ(2, pool->PageCount());
        EXPECT_EQ(0x8000u + 735u, pool->BytesUsed());
        EXPECT_EQ(spills, pool->NameForSymbol(s));
        // The rest of page 0 stays empty for good, and reads as such.
        EXPECT_STREQ("", pool->NameForSymbol(32033));
        EXPECT_STREQ("", pool->NameForSymbol(0x7FFE));
        EXPECT_EQ(0x8000 + 735, pool->SymbolForName("z", true));
    }
}

TEST(KeyValuesSystem, ExpressionSymbols)
{
    auto pool = FreshPool();
    EXPECT_FALSE(pool->GetExpressionSymbol("$ANYTHING"));
    EXPECT_FALSE(pool->GetExpressionSymbol(nullptr));
    pool->SetExpressionSymbol("$Feature", true);
    pool->SetExpressionSymbol("Other", false);
    EXPECT_TRUE(pool->GetExpressionSymbol("FEATURE"));
    EXPECT_TRUE(pool->GetExpressionSymbol("$feature"));
    EXPECT_FALSE(pool->GetExpressionSymbol("$Other"));
    pool->SetExpressionSymbol("other", true);
    EXPECT_TRUE(pool->GetExpressionSymbol("$OTHER"));
    // The '$' is not part of the stored name.
    EXPECT_STREQ("Feature", pool->NameForSymbol(pool->SymbolForName("feature", false)));
}

TEST(KeyValuesSystem, Statistics)
{
    auto pool = FreshPool();
    // '@' and '`' differ only in bit 0x20, so with case folding they hash alike
    // and land in one bucket as a collision; "key" goes elsewhere.
    ASSERT_EQ(BucketOf("a@"), BucketOf("a`"));
    ASSERT_NE(BucketOf("a@"), BucketOf("key"));
    pool->SymbolForName("a@", true);
    pool->SymbolForName("a`", true);
    pool->SymbolForName("key", true);

    const char kStatistics[] = "String pool bytes used 11, max 16777216, 1 pools\n"
                               "Total number of strings 3, longest string size 3, avg size 3\n"
                               "Total of 4096 buckets with 1 hash collisions\n"
                               "Bucket size : count\n"
                               "0 : 4094\n"
                               "1 : 1\n"
                               "2 : 1\n";
    CUtlOwnedString text;
    text.Set("prefix\n");
    pool->FormatStatistics(text);
    EXPECT_EQ(std::string("prefix\n") + kStatistics, text.Get());

    CKvStdoutCapture out;
    pool->PrintStatistics();
    EXPECT_EQ(kStatistics, out.Take());
}

TEST(KeyValuesSystem, LeakReportAtDestruction)
{
    auto pool = FreshPool();
    int a, b, c;
    HKeySymbol name = pool->SymbolForName("leaky", true);
    HKeySymbol other = pool->SymbolForName("drip", true);
    pool->TrackLeak(&a, name);
    pool->TrackLeak(&b, name);
    pool->TrackLeak(&c, other);
    pool->UntrackLeak(&c);
    pool->UntrackLeak(&c); // absent: ignored
    EXPECT_EQ(2, pool->LeakCount());

    pool->RegisterNodeSize(12);
    EXPECT_EQ(16, pool->LargestNodeSize());
    pool->RegisterNodeSize(40);
    EXPECT_EQ(40, pool->LargestNodeSize());

    CAssertCapture capture;
    pool.reset();
    EXPECT_EQ("Leaked KeyValues (2):\nleaky (2)\n", capture.Output());
}

TEST(KeyValuesSystemConcurrency, EachNameGetsOneSymbol)
{
    auto pool = FreshPool();
    const int kThreads = 6;
    const int kNames = 600;
    std::vector<std::vector<HKeySymbol>> results(kThreads, std::vector<HKeySymbol>(kNames));
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
    {
        threads.emplace_back(
            [&, t]()
            {
                char szName[32];
                for (int i = 0; i < kNames; ++i)
                {
                    // Every thread walks the names in its own order and case.
                    int n = (i * 7 + t * 131) % kNames;
                    snprintf(szName, sizeof(szName), (t & 1) ? "NAME_%d" : "name_%d", n);
                    results[t][n] = pool->SymbolForName(szName, true);
                    EXPECT_STREQ(szName + 5, pool->NameForSymbol(results[t][n]) + 5);
                }
            });
    }
    for (auto& th : threads)
        th.join();

    std::vector<HKeySymbol> seen;
    for (int n = 0; n < kNames; ++n)
    {
        HKeySymbol s = results[0][n];
        ASSERT_NE(0, s);
        for (int t = 1; t < kThreads; ++t)
            ASSERT_EQ(s, results[t][n]) << "name " << n;
        seen.push_back(s);
    }
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen.end(), std::adjacent_find(seen.begin(), seen.end()));

    CUtlOwnedString text;
    pool->FormatStatistics(text);
    EXPECT_NE(nullptr, strstr(text.Get(), "Total number of strings 600,")) << text.Get();
}

// Names that share buckets, created by more threads than cores from fresh
// pools, over and over: a name that another thread puts in a bucket's own
// entry while this thread walks past it must still be found, not added again.
TEST(KeyValuesSystemConcurrency, CollidingNamesStress)
{
    // A bucket's own entry fills once per pool, so many small buckets give the
    // most chances to race for it; all threads visit the buckets in one order,
    // each starting with another name of the bucket.
    const int kBuckets = 1024, kPerBucket = 2, kThreads = 6;
    std::vector<std::vector<std::string>> buckets(4096);
    std::vector<std::string> names; // bucket by bucket
    char szName[32];
    for (int i = 0, nFull = 0; nFull < kBuckets; ++i)
    {
        snprintf(szName, sizeof(szName), "Key%d", i);
        std::vector<std::string>& bucket = buckets[BucketOf(szName)];
        bucket.push_back(szName);
        if ((int)bucket.size() != kPerBucket) continue;
        names.insert(names.end(), bucket.begin(), bucket.end());
        ++nFull;
    }
    unsigned int nExpectedBytes = 1;
    for (const std::string& name : names)
        nExpectedBytes += (unsigned int)name.size() + 1;

    // Workers live across rounds; each round starts on a fresh pool when the
    // round number moves and ends when every worker has counted itself done.
    std::unique_ptr<CKeyValuesSystem> pool;
    std::vector<int> bucketOrder(kBuckets);
    for (int k = 0; k < kBuckets; ++k)
        bucketOrder[k] = k;
    std::vector<std::vector<HKeySymbol>> results(kThreads, std::vector<HKeySymbol>(names.size()));
    std::atomic<int> round(0), done(0);
    PreemptionTicks preempt;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back(
            [&, t]()
            {
                Plat_AcceptPreemptionTicks();
                for (int seen = 0;;)
                {
                    int now;
                    while ((now = round.load()) == seen)
                        std::this_thread::yield();
                    if (now < 0) return;
                    seen = now;
                    for (int k : bucketOrder)
                        for (int j = 0; j < kPerBucket; ++j)
                        {
                            int i = k * kPerBucket + (j + t) % kPerBucket;
                            results[t][i] = pool->SymbolForName(names[i].c_str(), true);
                        }
                    done.fetch_add(1);
                }
            });

    std::minstd_rand shuffler(1);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(StressSeconds());
    int nRounds = 0;
    bool bSame = true;
    do
    {
        pool = FreshPool();
        std::shuffle(bucketOrder.begin(), bucketOrder.end(), shuffler);
        done.store(0);
        round.store(++nRounds);
        while (done.load() < kThreads)
            std::this_thread::yield();
        for (size_t i = 0; i < names.size() && bSame; ++i)
            for (int t = 1; t < kThreads && bSame; ++t)
            {
                EXPECT_EQ(results[0][i], results[t][i]) << names[i] << " in round " << nRounds;
                bSame = results[0][i] == results[t][i];
            }
        EXPECT_EQ(nExpectedBytes, pool->BytesUsed()) << "round " << nRounds;
        bSame = bSame && nExpectedBytes == pool->BytesUsed();
    } while (bSame && std::chrono::steady_clock::now() < deadline);
    round.store(-1);
    for (auto& th : threads)
        th.join();
}

// The operation table keeps its slot order; call through raw slots.
TEST(KeyValuesSystem, OperationTableSlots)
{
    auto pool = FreshPool();
    void* pInterface = static_cast<IKeyValuesSystem*>(pool.get());
    HKeySymbol s = CallSlot<HKeySymbol>(pInterface, 1, "Slotted", true);
    EXPECT_EQ(s, pool->SymbolForName("slotted", false));
    EXPECT_STREQ("Slotted", CallSlot<const char*>(pInterface, 2, s));
    CallSlot<void>(pInterface, 6, "$Slotted", true);
    EXPECT_TRUE(CallSlot<bool>(pInterface, 7, "SLOTTED"));
}
