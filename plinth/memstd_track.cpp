// Allocation tracking: a window of sizes whose next N allocations are served
// from a 1 MB region, one slot each, with a tracker recording size and
// caller behind the block. Off unless TrackAllocations turns it on.
#include "plinth/memstd.h"

#include "plinth/dbg.h"
#include "plinth/threadtools.h"

#include <cstdlib>
#include <cstring>

namespace
{
const char* const kTrackSource = "..\\plinth\\memstd";
const uint32_t kTrackSentinel = 0xAA110CEDu;
const size_t kTrackRegionBytes = 1024 * 1024;
const int kStackRecordBytes = 176;

struct AllocTracker_t
{
    // The 16-byte header cleared on release.
    uint32_t m_uSentinel;
    uint32_t m_nSize;
    void* m_pNextFree;
#if UINTPTR_MAX <= 0xFFFFFFFFu
    uint32_t m_nPad;
#endif
    void* m_Stack[kStackRecordBytes / sizeof(void*)];
};
static_assert(sizeof(AllocTracker_t) == 16 + kStackRecordBytes, "tracker is 192 bytes");

bool TakeFlag(volatile int32_t* pFlag)
{
    return __atomic_exchange_n(pFlag, 1, __ATOMIC_ACQUIRE) == 0;
}

void DropFlag(volatile int32_t* pFlag)
{
    __atomic_store_n(pFlag, 0, __ATOMIC_RELEASE);
}

// The tracker sits on a 4-byte boundary on 32-bit builds; 64-bit builds need
// their pointers 8-aligned.
int RoundUpTrackerOffset(int n)
{
    const int nAlign = (int)sizeof(void*);
    return (n + nAlign - 1) & ~(nAlign - 1);
}
} // namespace

bool CStdMemAlloc::InTrackingRegion(const void* pBlock) const
{
    const uint8_t* pRegion = m_pTrackRegion;
    return pRegion && (const uint8_t*)pBlock >= pRegion &&
           (const uint8_t*)pBlock < pRegion + kTrackRegionBytes;
}

void* CStdMemAlloc::TrackedAllocate(size_t nSize)
{
    // A report in progress (or another tracked call) wins; serve normally.
    if (!TakeFlag(&m_nTrackingBusy)) return nullptr;
    void* pResult = nullptr;
    if (m_nTrackCount != 0 && (int64_t)nSize >= m_nTrackMin && (int64_t)nSize <= m_nTrackMax)
    {
        --m_nTrackCount;
        if (!m_pTrackRegion)
        {
            m_pTrackRegion = (uint8_t*)malloc(kTrackRegionBytes);
            m_nTrackRegionUsed = 0;
            m_pTrackFreeSlots = nullptr;
        }
        uint8_t* pSlot = nullptr;
        if (m_pTrackRegion)
        {
            if (m_pTrackFreeSlots)
            {
                pSlot = (uint8_t*)m_pTrackFreeSlots;
                AllocTracker_t* pFree = (AllocTracker_t*)(pSlot + m_nTrackerOffset);
                m_pTrackFreeSlots = pFree->m_pNextFree;
            }
            else if (m_nTrackRegionUsed + (size_t)m_nSizeWithStack <= kTrackRegionBytes)
            {
                pSlot = m_pTrackRegion + m_nTrackRegionUsed;
                m_nTrackRegionUsed += (size_t)m_nSizeWithStack;
            }
        }
        if (pSlot)
        {
            AllocTracker_t* pTracker = (AllocTracker_t*)(pSlot + m_nTrackerOffset);
            memset(pTracker, 0, sizeof(*pTracker));
            pTracker->m_uSentinel = kTrackSentinel;
            pTracker->m_nSize = (uint32_t)nSize;
            pTracker->m_pNextFree = nullptr;
            pTracker->m_Stack[0] = __builtin_return_address(0);
            __atomic_add_fetch(&m_nTrackedLive, 1, __ATOMIC_RELAXED);
            __atomic_add_fetch(&m_nTrackedTotal, 1, __ATOMIC_RELAXED);
            AddOutstanding((int64_t)nSize);
            pResult = pSlot;
        }
    }
    DropFlag(&m_nTrackingBusy);
    return pResult;
}

size_t CStdMemAlloc::TrackedSize(void* pBlock)
{
    AllocTracker_t* pTracker = (AllocTracker_t*)((uint8_t*)pBlock + m_nTrackerOffset);
    return pTracker->m_nSize;
}

void CStdMemAlloc::TrackedRelease(void* pBlock)
{
    size_t iub = (size_t)((uint8_t*)pBlock - m_pTrackRegion);
    if ((iub & (size_t)(m_nSizeWithStack - 1)) != 0)
    {
        AssertFailed(kTrackSource, __LINE__, "(iub & (m_nSizeWithStack-1)) == 0");
        return;
    }
    AllocTracker_t* pTracker = (AllocTracker_t*)((uint8_t*)pBlock + m_nTrackerOffset);
    if (pTracker->m_uSentinel != kTrackSentinel)
    {
        AssertFailed(kTrackSource, __LINE__, "pAllocTracker->m_uSentinel == 0xaa110ced");
        return;
    }
    while (!TakeFlag(&m_nTrackingBusy))
        ThreadPause();
    AddOutstanding(-(int64_t)pTracker->m_nSize);
    memset(pTracker, 0, 16);
    __atomic_sub_fetch(&m_nTrackedLive, 1, __ATOMIC_RELAXED);
    DropFlag(&m_nTrackingBusy);
}

void CStdMemAlloc::TrackAllocations(int nMinSize, int nMaxSize, int nCount)
{
    if (!TakeFlag(&m_nTrackingBusy))
    {
        SpewMessage("Busy, please retry.\n");
        return;
    }
    int nLive = __atomic_load_n(&m_nTrackedLive, __ATOMIC_RELAXED);
    int nTotal = __atomic_load_n(&m_nTrackedTotal, __ATOMIC_RELAXED);
    if (nLive > 0)
    {
        SpewMessage("Tracked allocs currently in use. %d Total %d\n", nLive, nTotal);
        for (size_t off = 0; off + (size_t)m_nSizeWithStack <= m_nTrackRegionUsed;
             off += (size_t)m_nSizeWithStack)
        {
            uint8_t* pSlot = m_pTrackRegion + off;
            AllocTracker_t* pTracker = (AllocTracker_t*)(pSlot + m_nTrackerOffset);
            if (pTracker->m_uSentinel == kTrackSentinel)
            {
                SpewMessage("item %p size %u allocated from %p\n", (void*)pSlot, pTracker->m_nSize,
                            pTracker->m_Stack[0]);
            }
            else if (pTracker->m_uSentinel != 0)
            {
                SpewMessage("item %p sentinel corrupted. skipping.\n", (void*)pSlot);
            }
            else if (pTracker->m_pNextFree == nullptr && pSlot != m_pTrackFreeSlots)
            {
                // Released since the last report: reusable from now on. A
                // slot already on the list carries a link (or is its head).
                bool bListed = false;
                for (void* p = m_pTrackFreeSlots; p && !bListed;
                     p = ((AllocTracker_t*)((uint8_t*)p + m_nTrackerOffset))->m_pNextFree)
                    bListed = p == pSlot;
                if (!bListed)
                {
                    pTracker->m_pNextFree = m_pTrackFreeSlots;
                    m_pTrackFreeSlots = pSlot;
                }
            }
        }
    }
    else
    {
        SpewMessage("No tracked allocs currently in use. Total %d\n", nTotal);
        m_nTrackRegionUsed = 0;
        m_pTrackFreeSlots = nullptr;
    }
    if (nLive <= 0)
    {
        m_nTrackMin = nMinSize;
        m_nTrackMax = nMaxSize;
        m_nTrackerOffset = RoundUpTrackerOffset(nMaxSize > 0 ? nMaxSize : 0);
        int nSlot = 256;
        while (nSlot < m_nTrackerOffset + (int)sizeof(AllocTracker_t))
            nSlot *= 2;
        m_nSizeWithStack = nSlot;
    }
    __atomic_store_n(&m_nTrackCount, nCount, __ATOMIC_RELAXED);
    DropFlag(&m_nTrackingBusy);
}
