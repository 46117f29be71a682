// CStdMemAlloc: the process allocator. Blocks come from the C runtime heap
// unless a small-block heap has been turned on with InitVirtualHeap.
#include "plinth/memstd.h"

#include "plinth/dbg.h"
#include "plinth/dbg_internal.h"
#include "plinth/memstd_heap.h"
#include "plinth/platform/platform_debug.h"
#include "plinth/platform/platform_heap.h"
#include "plinth/platform/platform_threadid.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace
{
const char* const kMemSource = "..\\plinth\\memstd";
const size_t kSmallHeapReserve = 0x2000000;
const size_t kMediumHeapReserve = 0x80000000u;

size_t DefaultFailHandler(size_t)
{
    return 0;
}
} // namespace

CStdMemAlloc& StdMemAlloc()
{
    // Never destroyed: blocks are released during and after static
    // destruction.
    alignas(CStdMemAlloc) static unsigned char s_storage[sizeof(CStdMemAlloc)];
    static CStdMemAlloc* s_pAlloc = new (s_storage) CStdMemAlloc;
    return *s_pAlloc;
}

IMemAlloc* MemAlloc_Process()
{
    return &StdMemAlloc();
}

CStdMemAlloc::CStdMemAlloc()
    : m_bSmallHeapOn(false), m_bMediumHeapOn(false), m_aOutstanding(), m_nLastFailedSize(0),
      m_pfnFailHandler(&DefaultFailHandler), m_nTrackingBusy(0), m_nTrackCount(0), m_nTrackMin(0),
      m_nTrackMax(0), m_nTrackerOffset(0), m_nSizeWithStack(0), m_pTrackRegion(nullptr),
      m_nTrackRegionUsed(0), m_pTrackFreeSlots(nullptr), m_nTrackedLive(0), m_nTrackedTotal(0)
{
    m_SmallHeap.Construct(SBH_SMALL_MAX, kSmallHeapReserve);
    m_MediumHeap.Construct(SBH_MEDIUM_MAX, kMediumHeapReserve);
    Plat_InitializeCriticalSection(&m_StatsLock, 4000);
    ProcessHeapSelection();
}

CStdMemAlloc::~CStdMemAlloc()
{
    free(m_pTrackRegion);
    Plat_DeleteCriticalSection(&m_StatsLock);
}

void CStdMemAlloc::InitVirtualHeap(int nKind)
{
    if (m_bSmallHeapOn || m_bMediumHeapOn)
    {
        AssertMsgFailed(false, kMemSource, __LINE__,
                        "InitVirtualHeap( %d ) called twice (%d, %d)\n", nKind, (int)m_bSmallHeapOn,
                        (int)m_bMediumHeapOn);
        return;
    }
    bool bSmall = false, bMedium = false;
    if (nKind == MEMALLOC_HEAP_MEDIUM)
    {
        bMedium = m_MediumHeap.Setup();
        if (!bMedium) bSmall = m_SmallHeap.Setup();
    }
    else if (nKind == MEMALLOC_HEAP_SMALL)
    {
        bSmall = m_SmallHeap.Setup();
    }
    m_bMediumHeapOn = bMedium;
    m_bSmallHeapOn = bSmall;
}

bool CStdMemAlloc::IsVirtualHeapOn()
{
    return m_bSmallHeapOn || m_bMediumHeapOn;
}

void CStdMemAlloc::AddOutstanding(int64_t nDelta)
{
    uint32_t uThread = Plat_GetCurrentThreadId();
    volatile int64_t* pnBytes =
        &m_aOutstanding[(uThread ^ (uThread >> 4)) % kOutstandingStripes].m_nBytes;
    int64_t nOld = __atomic_load_n(pnBytes, __ATOMIC_RELAXED);
    while (!__atomic_compare_exchange_n(pnBytes, &nOld, nOld + nDelta, true, __ATOMIC_RELAXED,
                                        __ATOMIC_RELAXED))
    {
    }
}

int64_t CStdMemAlloc::OutstandingBytes() const
{
    int64_t nTotal = 0;
    for (const OutstandingStripe& stripe : m_aOutstanding)
        nTotal += __atomic_load_n(&stripe.m_nBytes, __ATOMIC_RELAXED);
    return nTotal;
}

// The runtime's own idea of a block's size. Counting that (rather than the
// request) on both sides keeps the total exact where the runtime rounds
// sizes up; on Windows the two are the same.
size_t CStdMemAlloc::CrtSize(void* pBlock)
{
    return Plat_CrtBlockSize(pBlock);
}

SmallBlockHeap* CStdMemAlloc::HeapOwning(const void* pBlock)
{
    if (m_SmallHeap.IsOwner(pBlock)) return &m_SmallHeap;
    if (m_MediumHeap.IsOwner(pBlock)) return &m_MediumHeap;
    return nullptr;
}

void* CStdMemAlloc::AllocateEx(size_t nSize, bool bQuiet)
{
    if (__atomic_load_n(&m_nTrackCount, __ATOMIC_RELAXED) != 0 && (int64_t)nSize >= m_nTrackMin &&
        (int64_t)nSize <= m_nTrackMax)
    {
        void* pTracked = TrackedAllocate(nSize);
        if (pTracked) return pTracked;
    }
    if ((m_bSmallHeapOn && nSize <= SBH_SMALL_MAX) ||
        (m_bMediumHeapOn && nSize < SBH_MEDIUM_MAX + 1))
    {
        void* pBlock = SmallBlockAllocate(nSize);
        if (pBlock) return pBlock;
    }
    void* pBlock = malloc(nSize);
    if (pBlock)
    {
        AddOutstanding((int64_t)CrtSize(pBlock));
        return pBlock;
    }
    if (!bQuiet) ReportOutOfMemory(nSize);
    return nullptr;
}

void* CStdMemAlloc::Allocate(size_t nSize)
{
    return AllocateEx(nSize, false);
}

void* CStdMemAlloc::AllocateTagged(size_t nSize, const char*, int)
{
    return AllocateEx(nSize, false);
}

void* CStdMemAlloc::AllocateQuiet(size_t nSize)
{
    return AllocateEx(nSize, true);
}

void* CStdMemAlloc::AllocateQuietTagged(size_t nSize, const char*, int)
{
    return AllocateEx(nSize, true);
}

void* CStdMemAlloc::SmallBlockAllocate(size_t nSize)
{
    void* pBlock = nullptr;
    if (m_bSmallHeapOn && m_SmallHeap.ShouldUse(nSize))
        pBlock = m_SmallHeap.Alloc(nSize);
    else if (m_bMediumHeapOn && m_MediumHeap.ShouldUse(nSize))
        pBlock = m_MediumHeap.Alloc(nSize);
    if (!pBlock) m_pfnFailHandler(nSize);
    return pBlock;
}

void* CStdMemAlloc::ReallocateUntracked(void* pBlock, size_t nSize)
{
    if (nSize == 0)
    {
        ReleaseUntracked(pBlock);
        return nullptr;
    }
    if (!pBlock) return Allocate(nSize);

    if (SmallBlockHeap* pHeap = HeapOwning(pBlock))
    {
        SmallBlockPool* pOld = pHeap->PoolOf(pBlock);
        if (pOld && pHeap->FindPool(nSize) == pOld) return pBlock;
        void* pNew = Allocate(nSize);
        if (!pNew) return nullptr; // the old block stays valid
        size_t nOld = pOld ? pOld->BlockSize() : 0;
        memcpy(pNew, pBlock, nSize < nOld ? nSize : nOld);
        pHeap->Free(pBlock);
        return pNew;
    }

    size_t nOld = CrtSize(pBlock);
    AddOutstanding(-(int64_t)nOld);
    void* pNew = realloc(pBlock, nSize);
    if (!pNew)
    {
        AddOutstanding((int64_t)nOld);
        ReportOutOfMemory(nSize);
        return nullptr;
    }
    AddOutstanding((int64_t)CrtSize(pNew));
    return pNew;
}

void* CStdMemAlloc::Reallocate(void* pBlock, size_t nSize)
{
    if (nSize != 0 && pBlock && InTrackingRegion(pBlock))
    {
        size_t nOld = TrackedSize(pBlock);
        void* pNew = Allocate(nSize);
        if (!pNew) return nullptr;
        memcpy(pNew, pBlock, nSize < nOld ? nSize : nOld);
        TrackedRelease(pBlock);
        return pNew;
    }
    if (nSize == 0 && pBlock && InTrackingRegion(pBlock))
    {
        TrackedRelease(pBlock);
        return nullptr;
    }
    return ReallocateUntracked(pBlock, nSize);
}

void* CStdMemAlloc::ReallocateTagged(void* pBlock, size_t nSize, const char*, int)
{
    return Reallocate(pBlock, nSize);
}

void CStdMemAlloc::ReleaseUntracked(void* pBlock)
{
    if (!pBlock) return;
    if (SmallBlockHeap* pHeap = HeapOwning(pBlock))
    {
        pHeap->Free(pBlock);
        return;
    }
    AddOutstanding(-(int64_t)CrtSize(pBlock));
    free(pBlock);
}

void CStdMemAlloc::Release(void* pBlock)
{
    if (!pBlock) return;
    if (InTrackingRegion(pBlock))
    {
        TrackedRelease(pBlock);
        return;
    }
    ReleaseUntracked(pBlock);
}

void CStdMemAlloc::ReleaseTagged(void* pBlock, const char*, int)
{
    Release(pBlock);
}

size_t CStdMemAlloc::BlockSizeEx(void* pBlock, bool bUntracked)
{
    if (!pBlock) return 0;
    if (!bUntracked && InTrackingRegion(pBlock)) return TrackedSize(pBlock);
    if (SmallBlockHeap* pHeap = HeapOwning(pBlock)) return pHeap->GetSize(pBlock);
    return CrtSize(pBlock);
}

size_t CStdMemAlloc::BlockSize(void* pBlock)
{
    return BlockSizeEx(pBlock, false);
}

void CStdMemAlloc::ReportOutOfMemory(size_t nSize)
{
    __atomic_store_n(&m_nLastFailedSize, (uint32_t)nSize, __ATOMIC_RELAXED);
    bool bDebugger = Plat_IsDebuggerPresent();
    if (bDebugger) Plat_DebugBreak();
    char szText[128];
    snprintf(szText, sizeof(szText), "***** OUT OF MEMORY! attempted allocation size: %llu ****\n",
             (unsigned long long)nSize);
    Plat_OutputDebugString(szText);
    if (bDebugger) return;
    AssertMsgFailed(true, kMemSource, __LINE__, "Fatal Assertion Failed: %s", szText);
    DbgTerminateProcess(1);
}

MemAllocFailHandler_t CStdMemAlloc::SetFailureCallback(MemAllocFailHandler_t pfnCallback)
{
    if (!pfnCallback) pfnCallback = &DefaultFailHandler;
    return __atomic_exchange_n(&m_pfnFailHandler, pfnCallback, __ATOMIC_ACQ_REL);
}

uint32_t CStdMemAlloc::LastFailedSize()
{
    return __atomic_load_n(&m_nLastFailedSize, __ATOMIC_RELAXED);
}

uint32_t CStdMemAlloc::GetOutstandingBytes()
{
    return (uint32_t)(uint64_t)OutstandingBytes();
}

size_t CStdMemAlloc::GetProcessMemoryInUse()
{
    return Plat_ProcessPagefileUsage();
}

int CStdMemAlloc::CheckHeap()
{
    ValidateHeap();
    return -2;
}

void CStdMemAlloc::CompactHeap()
{
    SpewMessage("Compact is no longer supported in release builds\n");
}

void CStdMemAlloc::CompactHeap2()
{
    CompactHeap();
}
