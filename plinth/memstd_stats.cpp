// CStdMemAlloc's diagnostic side: small-block figures and tables, the C
// runtime heap walk and the low-fragmentation heap switch.
#include "plinth/memstd.h"

#include "plinth/dbg.h"
#include "plinth/platform/platform_heap.h"

#include <cstring>

namespace
{
// The enabled small-block heap, or null (at most one is ever on).
SmallBlockHeap* EnabledHeap(CStdMemAlloc& alloc)
{
    if (alloc.IsSmallHeapOn()) return &alloc.SmallHeap();
    if (alloc.IsMediumHeapOn()) return &alloc.MediumHeap();
    return nullptr;
}

struct HeapWalkTotals
{
    // Index by PlatHeapEntryKind.
    size_t m_nBytes[3];
    size_t m_nBlocks[3];
    // Size distribution: < 1 KB, < 64 KB, larger.
    size_t m_nBySize[3][3];
};

void AddHeapEntry(const PlatHeapEntry& entry, void* pContext)
{
    HeapWalkTotals* pTotals = (HeapWalkTotals*)pContext;
    int kind = (int)entry.m_kind;
    if (kind < 0 || kind > 2) kind = PLAT_HEAPENTRY_OTHER;
    pTotals->m_nBytes[kind] += entry.m_nBytes;
    pTotals->m_nBlocks[kind] += 1;
    int bucket = entry.m_nBytes < 1024 ? 0 : entry.m_nBytes < 65536 ? 1 : 2;
    pTotals->m_nBySize[kind][bucket] += 1;
}

// The per-block overhead the runtime heap keeps in front of each block.
const size_t kCrtBlockOverhead = 8;
} // namespace

size_t CStdMemAlloc::GetSmallBlockBytesInUse()
{
    SmallBlockHeap* pHeap = EnabledHeap(*this);
    if (!pHeap) return 0;
    size_t n = 0;
    for (int i = 0; i < pHeap->PoolCount(); ++i)
        n += (size_t)pHeap->Pool(i).AllocatedCount() * pHeap->Pool(i).BlockSize();
    return n;
}

size_t CStdMemAlloc::GetSmallBlockBytesCommitted()
{
    SmallBlockHeap* pHeap = EnabledHeap(*this);
    if (!pHeap) return 0;
    size_t n = 0;
    for (int i = 0; i < pHeap->PoolCount(); ++i)
        n += pHeap->Pool(i).CommittedBytes();
    return n;
}

size_t CStdMemAlloc::GetSmallBlockBytesFree()
{
    SmallBlockHeap* pHeap = EnabledHeap(*this);
    if (!pHeap) return 0;
    size_t n = 0;
    for (int i = 0; i < pHeap->PoolCount(); ++i)
        n += (size_t)pHeap->Pool(i).FreeCount() * pHeap->Pool(i).BlockSize();
    return n;
}

// The free bytes of the pool with the fewest free blocks among those in use.
size_t CStdMemAlloc::GetSmallBlockSmallestPool()
{
    SmallBlockHeap* pHeap = EnabledHeap(*this);
    if (!pHeap) return 0;
    size_t nSmallest = 0;
    bool bAny = false;
    for (int i = 0; i < pHeap->PoolCount(); ++i)
    {
        SmallBlockPool& pool = pHeap->Pool(i);
        if (pool.PageCount() == 0) continue;
        size_t nFree = (size_t)pool.FreeCount() * pool.BlockSize();
        if (!bAny || nFree < nSmallest) nSmallest = nFree;
        bAny = true;
    }
    return nSmallest;
}

void CStdMemAlloc::DumpSmallBlockStats()
{
    SmallBlockHeap* pHeap = EnabledHeap(*this);
    if (!pHeap) return;
    Plat_EnterCriticalSection(&m_StatsLock);
    SpewMessage("SBH:\n");
    unsigned nBlocks = 0;
    size_t nCommitted = 0, nAllocated = 0;
    for (int i = 0; i < pHeap->PoolCount(); ++i)
    {
        SmallBlockPool& pool = pHeap->Pool(i);
        int nAlloc = pool.AllocatedCount();
        SpewMessage("Pool %i: Size: %llu Allocated: %i Free: %i Committed: %i CommittedSize: %i\n",
                    i, (unsigned long long)pool.BlockSize(), nAlloc, pool.FreeCount(),
                    pool.PageCount(), (int)pool.CommittedBytes());
        nBlocks += (unsigned)nAlloc;
        nCommitted += pool.CommittedBytes();
        nAllocated += (size_t)nAlloc * pool.BlockSize();
    }
    SpewMessage("Totals: blocks:%u Committed:%u kb Allocated:%u kb\n", nBlocks,
                (unsigned)(nCommitted / 1024), (unsigned)(nAllocated / 1024));
    Plat_LeaveCriticalSection(&m_StatsLock);
}

void CStdMemAlloc::DumpStatsToFile(const char*)
{
    DumpSmallBlockStats();
}

void CStdMemAlloc::DumpHeapStatistics()
{
    HeapWalkTotals totals;
    memset(&totals, 0, sizeof(totals));
    Plat_EnterCriticalSection(&m_StatsLock);
    bool bWalked = Plat_WalkCrtHeap(&AddHeapEntry, &totals);
    size_t nAllBlocks = totals.m_nBlocks[0] + totals.m_nBlocks[1] + totals.m_nBlocks[2];
    size_t nAllBytes = totals.m_nBytes[0] + totals.m_nBytes[1] + totals.m_nBytes[2];
    SpewMessage("Heap walk %s.\n", bWalked ? "complete" : "stopped early");
    SpewMessage("Virtual:     %10llu bytes in %8llu blocks, overhead %llu\n",
                (unsigned long long)nAllBytes, (unsigned long long)nAllBlocks,
                (unsigned long long)(nAllBlocks * kCrtBlockOverhead));
    static const char* const kNames[3] = {"Uncommitted", "Used", "Other"};
    for (int kind = 0; kind < 3; ++kind)
        SpewMessage("%-12s %10llu bytes in %8llu blocks, overhead %llu\n", kNames[kind],
                    (unsigned long long)totals.m_nBytes[kind],
                    (unsigned long long)totals.m_nBlocks[kind],
                    (unsigned long long)(totals.m_nBlocks[kind] * kCrtBlockOverhead));
    SpewMessage("Size distribution:   <1KB  <64KB  larger\n");
    static const char* const kRows[3] = {"free", "used", "other"};
    for (int kind = 0; kind < 3; ++kind)
        SpewMessage("%-6s %12llu %6llu %7llu\n", kRows[kind],
                    (unsigned long long)totals.m_nBySize[kind][0],
                    (unsigned long long)totals.m_nBySize[kind][1],
                    (unsigned long long)totals.m_nBySize[kind][2]);
    Plat_LeaveCriticalSection(&m_StatsLock);
}

// Shared by both allocators: the messages differ only in how a missing
// function is reported.
bool MemAlloc_EnableLowFragmentationHeap(PlatHeap hHeap, bool bLookUp)
{
    PlatHeapInfoResult result = Plat_HeapSetCompatibility(hHeap, 2, bLookUp);
    if (result == PLAT_HEAPINFO_OK)
    {
        SpewMessage("The low-fragmentation heap has been enabled for heap %p.\n", (void*)hHeap);
        return true;
    }
    if (result == PLAT_HEAPINFO_NOT_FOUND)
        SpewMessage("Failed to enable the low-fragmentation, HeapSetInformation() not found\n");
    else
        SpewMessage("Failed to enable the low-fragmentation heap on %p with LastError %d.\n",
                    (void*)hHeap, (int)Plat_HeapInfoLastError());
    uint32_t value = 0;
    result = Plat_HeapQueryCompatibility(hHeap, &value, bLookUp);
    if (result == PLAT_HEAPINFO_NOT_FOUND)
    {
        SpewMessage("Failed to query heap information, HeapQueryInformation() not found\n");
        return false;
    }
    if (result != PLAT_HEAPINFO_OK)
    {
        SpewMessage("Failed to query heap information.\n");
        return false;
    }
    SpewMessage("HeapCompatibilityInformation for %p is %d.\n", (void*)hHeap, (int)value);
    switch (value)
    {
    case 0:
        SpewMessage("heap %p is a standard heap.\n", (void*)hHeap);
        break;
    case 1:
        SpewMessage("heap %p supports look-aside lists.\n", (void*)hHeap);
        break;
    case 2:
        SpewMessage("heap %p has the low-fragmentation heap enabled.\n", (void*)hHeap);
        break;
    default:
        SpewMessage("Unrecognized HeapInformation reported for heap %p.\n", (void*)hHeap);
        break;
    }
    return false;
}

bool CStdMemAlloc::EnableLowFragmentationHeap()
{
    return MemAlloc_EnableLowFragmentationHeap(Plat_GetCrtHeap(), false);
}
