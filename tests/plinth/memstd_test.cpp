#include "plinth/memalloc.h"
#include "plinth/memstd.h"
#include "plinth/memstd_heap.h"
#include "plinth/platform/platform_debug.h"
#include "plinth/platform/platform_vmem.h"
#include "tests/plinth/dbg_test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#define MEMSTD_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define MEMSTD_UNDER_ASAN 1
#endif
#endif

namespace
{
std::unique_ptr<CStdMemAlloc> FreshAllocator(int nHeapKind = 0)
{
    std::unique_ptr<CStdMemAlloc> pAlloc(new CStdMemAlloc);
    if (nHeapKind) pAlloc->InitVirtualHeap(nHeapKind);
    return pAlloc;
}

size_t g_nFailedRequest = 0;
size_t RecordFailure(size_t nBytes)
{
    g_nFailedRequest = nBytes;
    return 99;
}
} // namespace

TEST(MemStdAlloc, RuntimeHeapEdgesAndOutstandingBytes)
{
    std::unique_ptr<CStdMemAlloc> pAlloc = FreshAllocator();
    EXPECT_FALSE(pAlloc->IsVirtualHeapOn());

    // A request of 0 is passed on; the runtime answers with a real block.
    void* pZero = pAlloc->Allocate(0);
    EXPECT_NE(nullptr, pZero);
    pAlloc->Release(pZero);
    EXPECT_EQ(0, pAlloc->OutstandingBytes());

    void* pBlock = pAlloc->Reallocate(nullptr, 100);
    ASSERT_NE(nullptr, pBlock);
    EXPECT_GE(pAlloc->BlockSize(pBlock), 100u);
    EXPECT_EQ((int64_t)pAlloc->BlockSize(pBlock), pAlloc->OutstandingBytes());
    memset(pBlock, 0x5A, 100);

    void* pGrown = pAlloc->ReallocateTagged(pBlock, 5000, "memstd_test", __LINE__);
    ASSERT_NE(nullptr, pGrown);
    EXPECT_EQ(0x5A, ((unsigned char*)pGrown)[99]);
    EXPECT_EQ((int64_t)pAlloc->BlockSize(pGrown), pAlloc->OutstandingBytes());
    EXPECT_EQ((uint32_t)pAlloc->OutstandingBytes(), pAlloc->GetOutstandingBytes());

    EXPECT_EQ(nullptr, pAlloc->Reallocate(pGrown, 0));
    EXPECT_EQ(0, pAlloc->OutstandingBytes());
    pAlloc->Release(nullptr);
    EXPECT_EQ(nullptr, pAlloc->Reallocate(nullptr, 0));
    EXPECT_EQ(0, pAlloc->BlockSize(nullptr));
}

// The outstanding total is kept per thread and summed: it must stay exact
// when threads allocate at once and free what other threads allocated.
TEST(MemStdAllocConcurrency, OutstandingBytesStayExactAcrossThreads)
{
    std::unique_ptr<CStdMemAlloc> pAlloc = FreshAllocator();
    const int kThreads = 6, kBlocks = 2000;
    std::vector<std::vector<void*>> blocks(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back(
            [&, t]
            {
                for (int i = 0; i < kBlocks; ++i)
                    blocks[t].push_back(pAlloc->Allocate(16 + (size_t)(i * 37 + t) % 1009));
            });
    for (std::thread& thread : threads)
        thread.join();
    int64_t nExpected = 0;
    for (const std::vector<void*>& list : blocks)
        for (void* p : list)
            nExpected += (int64_t)pAlloc->BlockSize(p);
    EXPECT_EQ(nExpected, pAlloc->OutstandingBytes());

    // Each thread frees the blocks of the next one.
    threads.clear();
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back(
            [&, t]
            {
                for (void* p : blocks[(t + 1) % kThreads])
                    pAlloc->Release(p);
            });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(0, pAlloc->OutstandingBytes());
}

TEST(MemStdAlloc, FixedAnswers)
{
    std::unique_ptr<CStdMemAlloc> pAlloc = FreshAllocator();
    EXPECT_EQ(-2, pAlloc->CheckHeap());
    EXPECT_TRUE(pAlloc->ValidateHeap());
    EXPECT_FALSE(pAlloc->IsDebugHeap());
    EXPECT_EQ(0u, pAlloc->GetSmallBlockBytesCommitted());
    std::string out;
    CAPTURE_STDOUT(out, pAlloc->CompactHeap());
    EXPECT_EQ("Compact is no longer supported in release builds\n", out);
    // Without an enabled heap the small-block table prints nothing.
    CAPTURE_STDOUT(out, pAlloc->DumpSmallBlockStats());
    EXPECT_EQ("", out);
}

TEST(MemStdAlloc, SmallHeapSizeClassesAndRouting)
{
    std::unique_ptr<CStdMemAlloc> pAlloc = FreshAllocator(MEMALLOC_HEAP_SMALL);
    ASSERT_TRUE(pAlloc->IsSmallHeapOn());
    EXPECT_FALSE(pAlloc->IsMediumHeapOn());
    EXPECT_TRUE(pAlloc->IsVirtualHeapOn());

    void* p129 = pAlloc->Allocate(129);
    ASSERT_TRUE(pAlloc->SmallHeap().IsOwner(p129));
    EXPECT_EQ(144u, pAlloc->BlockSize(p129));
    // Small-block blocks are not counted as runtime-heap bytes.
    EXPECT_EQ(0, pAlloc->OutstandingBytes());

    void* p0 = pAlloc->Allocate(0);
    EXPECT_TRUE(pAlloc->SmallHeap().IsOwner(p0));
    EXPECT_EQ(8u, pAlloc->BlockSize(p0));
    void* p1024 = pAlloc->Allocate(1024);
    EXPECT_EQ(1024u, pAlloc->BlockSize(p1024));

    void* p1025 = pAlloc->Allocate(1025);
    EXPECT_FALSE(pAlloc->SmallHeap().IsOwner(p1025));
    EXPECT_EQ((int64_t)pAlloc->BlockSize(p1025), pAlloc->OutstandingBytes());

    // Same pool: the block stays; another pool: moved with its bytes.
    memset(p129, 0x33, 144);
    EXPECT_EQ(p129, pAlloc->Reallocate(p129, 140));
    void* pMoved = pAlloc->Reallocate(p129, 300);
    EXPECT_NE(p129, pMoved);
    EXPECT_EQ(320u, pAlloc->BlockSize(pMoved));
    EXPECT_EQ(0x33, ((unsigned char*)pMoved)[143]);
    // Freed blocks are reused first.
    EXPECT_EQ(p129, pAlloc->Allocate(130));

    void* pBig = pAlloc->Reallocate(pMoved, 3000);
    EXPECT_FALSE(pAlloc->SmallHeap().IsOwner(pBig));
    EXPECT_EQ(0x33, ((unsigned char*)pBig)[143]);

    pAlloc->Release(p0);
    pAlloc->Release(p1024);
    pAlloc->Release(p1025);
    pAlloc->Release(pBig);
    EXPECT_EQ(0, pAlloc->OutstandingBytes());
}

TEST(MemStdAlloc, MediumHeapServesUpTo16K)
{
    std::unique_ptr<CStdMemAlloc> pAlloc = FreshAllocator(MEMALLOC_HEAP_MEDIUM);
    if (!pAlloc->IsMediumHeapOn())
    {
        // A 32-bit process has no free 2 GB range to reserve: the allocator
        // falls back to the small heap, and 1 KB + 1 goes to the runtime heap.
        ASSERT_EQ(4u, sizeof(void*)) << "a 64-bit process must get the medium heap";
        ASSERT_TRUE(pAlloc->IsSmallHeapOn());
        void* p1024 = pAlloc->Allocate(1024);
        void* p1025 = pAlloc->Allocate(1025);
        EXPECT_TRUE(pAlloc->SmallHeap().IsOwner(p1024));
        EXPECT_FALSE(pAlloc->SmallHeap().IsOwner(p1025));
        EXPECT_FALSE(pAlloc->MediumHeap().IsOwner(p1025));
        pAlloc->Release(p1024);
        pAlloc->Release(p1025);
        return;
    }
    EXPECT_FALSE(pAlloc->IsSmallHeapOn());
    void* p1025 = pAlloc->Allocate(1025);
    EXPECT_TRUE(pAlloc->MediumHeap().IsOwner(p1025));
    EXPECT_EQ(1280u, pAlloc->BlockSize(p1025));
    void* p16384 = pAlloc->Allocate(16384);
    EXPECT_EQ(16384u, pAlloc->BlockSize(p16384));
    void* p16385 = pAlloc->Allocate(16385);
    EXPECT_FALSE(pAlloc->MediumHeap().IsOwner(p16385));
    EXPECT_EQ(2u * 65536u, pAlloc->GetSmallBlockBytesCommitted());
    pAlloc->Release(p1025);
    pAlloc->Release(p16384);
    pAlloc->Release(p16385);
}

TEST(MemStdAlloc, LookupTableMatchesTheSizeClasses)
{
    EXPECT_EQ(38, SmallBlockHeap_NumPools(1024));
    EXPECT_EQ(58, SmallBlockHeap_NumPools(16384));
    SmallBlockHeap heap;
    heap.Construct(SBH_MEDIUM_MAX, 0x200000);
    ASSERT_EQ(58, heap.PoolCount());
    // Every request gets the smallest class that holds it.
    std::vector<unsigned> classes;
    const unsigned kRanges[][2] = {{128, 8},    {256, 16},   {512, 32},   {768, 64},
                                   {1024, 128}, {2048, 256}, {4096, 512}, {16384, 1024}};
    for (const auto& range : kRanges)
        for (unsigned n = classes.empty() ? range[1] : classes.back() + range[1]; n <= range[0];
             n += range[1])
            classes.push_back(n);
    ASSERT_EQ(58u, classes.size());
    size_t iClass = 0;
    for (unsigned n = 1; n <= 16384; ++n)
    {
        if (classes[iClass] < n) ++iClass;
        ASSERT_EQ(classes[iClass], heap.FindPool(n)->BlockSize()) << "request " << n;
    }
    EXPECT_EQ(nullptr, heap.FindPool(16385));
    EXPECT_EQ(8u, heap.FindPool(0)->BlockSize());
}

TEST(MemStdAlloc, InitVirtualHeapTwiceAssertsAndKeepsFlags)
{
    std::unique_ptr<CStdMemAlloc> pAlloc = FreshAllocator(MEMALLOC_HEAP_SMALL);
    std::string out;
    CAPTURE_STDOUT(out, pAlloc->InitVirtualHeap(MEMALLOC_HEAP_MEDIUM));
    EXPECT_NE(std::string::npos, out.find("InitVirtualHeap( 2 ) called twice (1, 0)\n")) << out;
    EXPECT_TRUE(pAlloc->IsSmallHeapOn());
    EXPECT_FALSE(pAlloc->IsMediumHeapOn());

    // Unknown kinds enable nothing.
    std::unique_ptr<CStdMemAlloc> pOther = FreshAllocator(7);
    EXPECT_FALSE(pOther->IsVirtualHeapOn());
}

TEST(MemStdAlloc, ExhaustedSmallHeapCallsBackAndFallsThrough)
{
    std::unique_ptr<CStdMemAlloc> pAlloc = FreshAllocator(MEMALLOC_HEAP_SMALL);
    EXPECT_NE(nullptr, pAlloc->SetFailureCallback(&RecordFailure));
    g_nFailedRequest = 0;
    // 32 MB of 1024-byte blocks fills the whole range.
    const int nBlocks = 0x2000000 / 1024;
    std::unique_ptr<void*[]> blocks(new void*[nBlocks]);
    for (int i = 0; i < nBlocks; ++i)
    {
        blocks[i] = pAlloc->Allocate(1024);
        ASSERT_TRUE(pAlloc->SmallHeap().IsOwner(blocks[i])) << i;
    }
    EXPECT_EQ(0u, g_nFailedRequest);
    void* pOver = pAlloc->Allocate(1000);
    ASSERT_NE(nullptr, pOver);
    EXPECT_FALSE(pAlloc->SmallHeap().IsOwner(pOver));
    EXPECT_EQ(1000u, g_nFailedRequest);
    EXPECT_EQ(0x2000000u, pAlloc->GetSmallBlockBytesCommitted());
    EXPECT_EQ(0x2000000u, pAlloc->GetSmallBlockBytesInUse());

    std::string out;
    CAPTURE_STDOUT(out, pAlloc->DumpSmallBlockStats());
    EXPECT_EQ(0u, out.find("SBH:\nPool 0: Size: 8 Allocated: 0 Free: 0 Committed: 0 "
                           "CommittedSize: 0\n"));
    EXPECT_NE(std::string::npos,
              out.find("Pool 37: Size: 1024 Allocated: 32768 Free: 0 Committed: 512 "
                       "CommittedSize: 33554432\n"));
    EXPECT_NE(std::string::npos, out.find("Totals: blocks:32768 Committed:32768 kb "
                                          "Allocated:32768 kb\n"));

    for (int i = 0; i < nBlocks; ++i)
        pAlloc->Release(blocks[i]);
    pAlloc->Release(pOver);
    EXPECT_EQ(0u, pAlloc->GetSmallBlockBytesInUse());
    EXPECT_EQ(0x2000000u, pAlloc->GetSmallBlockBytesFree());
    EXPECT_EQ(&RecordFailure, pAlloc->SetFailureCallback(nullptr));
}

TEST(MemStdAlloc, TrackedAllocations)
{
    std::unique_ptr<CStdMemAlloc> pAlloc = FreshAllocator();
    std::string out;
    CAPTURE_STDOUT(out, pAlloc->TrackAllocations(100, 200, 2));
    EXPECT_EQ("No tracked allocs currently in use. Total 0\n", out);

    void* pA = pAlloc->Allocate(150);
    void* pOutside = pAlloc->Allocate(99);
    void* pB = pAlloc->Allocate(200);
    void* pC = pAlloc->Allocate(150); // the count is used up
    EXPECT_EQ(150u, pAlloc->BlockSize(pA));
    EXPECT_EQ(200u, pAlloc->BlockSize(pB));
    EXPECT_EQ(2, pAlloc->TrackedLive());
    // Trackers sit after the largest block: 200 + 192 bytes round up to 512-byte slots.
    EXPECT_EQ(512, (char*)pB - (char*)pA);
    memset(pA, 0x11, 150);

    CAPTURE_STDOUT(out, pAlloc->TrackAllocations(100, 200, 0));
    EXPECT_EQ(0u, out.find("Tracked allocs currently in use. 2 Total 2\n"));

    void* pMoved = pAlloc->Reallocate(pA, 160);
    EXPECT_EQ(0x11, ((unsigned char*)pMoved)[149]);
    EXPECT_EQ(1, pAlloc->TrackedLive());
    pAlloc->Release(pB);
    EXPECT_EQ(0, pAlloc->TrackedLive());
    pAlloc->Release(pMoved);
    pAlloc->Release(pOutside);
    pAlloc->Release(pC);
    EXPECT_EQ(0, pAlloc->OutstandingBytes());
}

TEST(MemStdAlloc, ProcessAllocatorBehindTheEntryPoint)
{
    CStdMemAlloc& alloc = StdMemAlloc();
    EXPECT_EQ(&alloc, MemAlloc_Process());
    int64_t nBefore = alloc.OutstandingBytes();
    void* p = MemAlloc_AllocTagged(48, "..\\trestle\\utlmemory", __LINE__);
    EXPECT_EQ(nBefore + (int64_t)MemAlloc_BlockSize(p), alloc.OutstandingBytes());
    p = MemAlloc_ReallocTagged(p, 4096, "..\\trestle\\utlmemory", __LINE__);
    EXPECT_GE(MemAlloc_BlockSize(p), 4096u);
    EXPECT_EQ(nullptr, MemAlloc_ReallocTagged(p, 0, "..\\trestle\\utlmemory", __LINE__));
    EXPECT_EQ(nBefore, alloc.OutstandingBytes());
}

#if !defined(MEMSTD_UNDER_ASAN)
namespace
{
// The largest request the C runtime is sure to refuse.
const size_t kHugeRequest = (size_t)-1 / 2;

void DebugOutputToStderr(const char* pszText, void*)
{
    fputs(pszText, stderr);
    fflush(stderr);
}
} // namespace

// The sanitizer's allocator reports huge requests itself.
TEST(MemStdAllocDeathTest, OutOfMemoryIsFatal)
{
    std::unique_ptr<CStdMemAlloc> pAlloc = FreshAllocator();
    EXPECT_EQ(nullptr, pAlloc->AllocateQuiet(kHugeRequest));
    EXPECT_EQ(0u, pAlloc->LastFailedSize());
    std::string size = std::to_string((unsigned long long)kHugeRequest);
    EXPECT_EXIT(
        {
            Plat_SetDebugOutputObserver(&DebugOutputToStderr, nullptr);
            pAlloc->Allocate(kHugeRequest);
        },
        testing::ExitedWithCode(1),
        "\\*\\*\\*\\*\\* OUT OF MEMORY! attempted allocation size: " + size + " \\*\\*\\*\\*");
}
#endif

TEST(MemStdVirtualMemory, ReserveCommitDecommitRelease)
{
    const size_t kRange = 4 * 65536;
    unsigned char* pBase = (unsigned char*)Plat_VirtualReserve(nullptr, kRange);
    ASSERT_NE(nullptr, pBase);
    ASSERT_TRUE(Plat_VirtualCommit(pBase + 65536, 65536));
    // Fresh pages read as zero and take writes.
    EXPECT_EQ(0, pBase[65536 + 100]);
    pBase[65536 + 100] = 7;
    EXPECT_EQ(7, pBase[65536 + 100]);
    EXPECT_TRUE(Plat_VirtualDecommit(pBase + 65536, 65536));
    ASSERT_TRUE(Plat_VirtualCommit(pBase + 65536, 65536));
    EXPECT_EQ(0, pBase[65536 + 100]);
    EXPECT_TRUE(Plat_VirtualRelease(pBase, kRange));

    // A named place is taken there (on its 64 KB boundary) or not at all.
    void* pFixed = Plat_VirtualReserve(pBase, 1);
    if (pFixed)
    {
        EXPECT_EQ((void*)((uintptr_t)pBase & ~(uintptr_t)0xFFFF), pFixed);
        Plat_VirtualRelease(pFixed, (size_t)((uintptr_t)pBase - (uintptr_t)pFixed) + 1);
    }
}
