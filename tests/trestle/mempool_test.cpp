#include "trestle/mempool.h"

#include "tests/trestle/keyvalues_test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace
{
uint32_t HeaderOf(const void* pBlock)
{
    uint32_t value;
    std::memcpy(&value, (const char*)pBlock - 4, sizeof(value));
    return value;
}
} // namespace

TEST(MemPool, TinyBlocksAreRaisedToFourBytes)
{
    CMemoryPool pool(1, 8, CMemoryPool::GROW_FIXED);
    EXPECT_EQ(4, pool.BlockSize());
    EXPECT_EQ(nullptr, pool.Alloc(5));
    EXPECT_EQ(0, pool.NumBlobs()); // an oversized request adds nothing
    void* p = pool.Alloc(4);
    ASSERT_NE(nullptr, p);
    EXPECT_EQ(1, pool.Count());
    EXPECT_EQ(8, pool.TotalBlocks());
    if (sizeof(void*) == 4)
    {
        EXPECT_EQ(8, pool.BlockStride());
    }
    pool.FreeAll();
}

TEST(MemPool, BlocksAreChainedAndMarked)
{
    CMemoryPool pool(12, 4, CMemoryPool::GROW_FIXED);
    void* p0 = pool.Alloc(12);
    ASSERT_NE(nullptr, p0);
    EXPECT_EQ(MemPoolMagicInUse, HeaderOf(p0));
    // The next free block follows at one stride, still marked free; the handed
    // out block keeps the old link in its first bytes.
    char* pNextFree = (char*)p0 + pool.BlockStride();
    EXPECT_EQ(k_nMemPoolMagic_Free, HeaderOf(pNextFree));
    void* pLink;
    std::memcpy(&pLink, p0, sizeof(pLink));
    EXPECT_EQ((void*)pNextFree, pLink);
    if (sizeof(void*) == 4)
    {
        EXPECT_EQ(16, pool.BlockStride());
    }

    void* p1 = pool.Alloc(1);
    EXPECT_EQ((void*)pNextFree, p1);
    EXPECT_EQ(MemPoolMagicInUse, HeaderOf(p1));
    EXPECT_EQ(2, pool.Count());
    EXPECT_EQ(2, pool.PeakCount());
    pool.FreeAll();
}

TEST(MemPool, IncreasingModeGrowsByOneUnitPerBlob)
{
    CMemoryPool pool(12, 256, CMemoryPool::GROW_INCREASING);
    EXPECT_EQ(0, pool.NumBlobs());
    std::vector<void*> blocks;
    for (int i = 0; i < 256; ++i)
        blocks.push_back(pool.Alloc(12));
    EXPECT_EQ(1, pool.NumBlobs());
    EXPECT_EQ(256, pool.TotalBlocks());

    blocks.push_back(pool.Alloc(12));
    EXPECT_EQ(2, pool.NumBlobs());
    EXPECT_EQ(256 + 512, pool.TotalBlocks());

    while ((int)blocks.size() < 768)
        blocks.push_back(pool.Alloc(12));
    EXPECT_EQ(2, pool.NumBlobs());
    blocks.push_back(pool.Alloc(12));
    EXPECT_EQ(3, pool.NumBlobs());
    EXPECT_EQ(256 + 512 + 768, pool.TotalBlocks());
    EXPECT_EQ(769, pool.Count());
    for (void* p : blocks)
        ASSERT_NE(nullptr, p);

    // FreeAll empties everything; mode 1 starts over with one unit.
    pool.FreeAll();
    EXPECT_EQ(0, pool.NumBlobs());
    EXPECT_EQ(0, pool.TotalBlocks());
    EXPECT_EQ(0, pool.Count());
    EXPECT_EQ(0, pool.PeakCount());
    EXPECT_NE(nullptr, pool.Alloc(12));
    EXPECT_EQ(1, pool.NumBlobs());
    EXPECT_EQ(256, pool.TotalBlocks());
    pool.FreeAll();
}

TEST(MemPool, FixedModesAddOneUnitEachTime)
{
    for (int mode : {CMemoryPool::GROW_FIXED, CMemoryPool::GROW_FIXED_QUIET})
    {
        CMemoryPool pool(8, 3, mode);
        for (int i = 0; i < 7; ++i)
            ASSERT_NE(nullptr, pool.Alloc(8));
        EXPECT_EQ(3, pool.NumBlobs());
        EXPECT_EQ(9, pool.TotalBlocks());
        pool.FreeAll();
    }
}

TEST(MemPool, GrowNoneHoldsExactlyOneUnit)
{
    CAssertCapture capture;
    CMemoryPool pool(16, 4, CMemoryPool::GROW_NONE);
    EXPECT_EQ(1, pool.NumBlobs()); // made at construction
    EXPECT_EQ(4, pool.TotalBlocks());
    for (int i = 0; i < 4; ++i)
        ASSERT_NE(nullptr, pool.Alloc(16));
    EXPECT_EQ(nullptr, pool.Alloc(16));
    EXPECT_TRUE(capture.Output().empty()) << capture.Output();

    pool.AddNewBlob();
    EXPECT_TRUE(capture.HasLine(KV_SRC_MEMPOOL, "CMemoryPool::AddNewBlob: mode == GROW_NONE"))
        << capture.Output();
    EXPECT_EQ(1, pool.NumBlobs());

    // After FreeAll it stays empty until its owner adds the blob again.
    pool.FreeAll();
    EXPECT_EQ(nullptr, pool.Alloc(16));
    EXPECT_EQ(0, pool.NumBlobs());
    capture.Clear();
    pool.AddNewBlob();
    EXPECT_TRUE(capture.Output().empty()) << capture.Output();
    EXPECT_EQ(4, pool.TotalBlocks());
    EXPECT_NE(nullptr, pool.Alloc(16));
    pool.FreeAll();
}

TEST(MemPool, RunningOutIsReportedExceptInQuietMode)
{
    // A unit of 0 blocks can never make room.
    {
        CAssertCapture capture;
        CMemoryPool pool(8, 0, CMemoryPool::GROW_FIXED);
        EXPECT_EQ(nullptr, pool.Alloc(8));
        EXPECT_TRUE(capture.HasLine(KV_SRC_MEMPOOL, "CMemoryPool::Alloc: ran out of memory"))
            << capture.Output();
    }
    {
        CAssertCapture capture;
        CMemoryPool pool(8, 0, CMemoryPool::GROW_FIXED_QUIET);
        EXPECT_EQ(nullptr, pool.Alloc(8));
        EXPECT_TRUE(capture.Output().empty()) << capture.Output();
    }
}

TEST(MemPool, DamagedFreeHeaderIsReportedAndBlockStillHandedOut)
{
    CMemoryPool pool(8, 4, CMemoryPool::GROW_FIXED);
    void* p0 = pool.Alloc(8);
    char* pNext = (char*)p0 + pool.BlockStride();
    uint32_t bogus = 0x12345678;
    std::memcpy(pNext - 4, &bogus, sizeof(bogus));

    CAssertCapture capture;
    void* p1 = pool.Alloc(8);
    EXPECT_EQ((void*)pNext, p1);
    EXPECT_EQ(MemPoolMagicInUse, HeaderOf(p1));
    EXPECT_TRUE(capture.HasLine(
        KV_SRC_MEMPOOL, "Assertion Failed: k_nMemPoolMagic_Free == *(( (int *) returnBlock) - 1)"))
        << capture.Output();
    pool.FreeAll();
}
