// The process allocator: CStdMemAlloc over the C runtime heap, with two
// optional small-block heaps, allocation tracking and the out-of-memory
// report. MemAlloc_Process() (memalloc_iface.h) returns the one instance.
#pragma once

#include "plinth/memalloc_iface.h"
#include "plinth/memstd_sbh.h"
#include "plinth/platform/platform_threadid.h"

#include <cstddef>
#include <cstdint>

// Called with the request size when an enabled small-block heap cannot serve
// it; the result is ignored.
typedef size_t (*MemAllocFailHandler_t)(size_t nBytes);

enum
{
    MEMALLOC_HEAP_SMALL = 1, // InitVirtualHeap kinds
    MEMALLOC_HEAP_MEDIUM = 2,
};

class CStdMemAlloc final : public IMemAlloc
{
public:
    CStdMemAlloc();
    // Only allocators made for tests are destroyed; the process allocator
    // lives until exit.
    ~CStdMemAlloc();

    void InitVirtualHeap(int nKind) override;
    bool IsVirtualHeapOn() override;
    void* AllocateTagged(size_t nSize, const char* pszFile, int nLine) override;
    void* Allocate(size_t nSize) override;
    void* ReallocateTagged(void* pBlock, size_t nSize, const char* pszFile, int nLine) override;
    void* Reallocate(void* pBlock, size_t nSize) override;
    void ReleaseTagged(void* pBlock, const char* pszFile, int nLine) override;
    void Release(void* pBlock) override;
    void PushSourceTag(const char*, int) override {}
    void PopSourceTag() override {}
    size_t BlockSize(void* pBlock) override;
    void SetBlockTag(void*, const char*) override {}
    const char* GetBlockTag(void*) override { return nullptr; }
    void SetBreakOnAllocation(long) override {}
    int SetReportFlags(int) override { return 0; }
    bool IsBlockValid(const void*) override { return true; }
    bool IsHeapConsistent() override { return true; }
    bool ValidateHeap() override { return true; }
    void* SetReportHook(void*) override { return nullptr; }
    void ClearReportHook() override {}
    void DumpStatsToFile(const char* pszFileBase) override;
    void DumpBlockStats(void*) override {}
    void SetStatsExtraInfo(const char*, const char*) override {}
    size_t SetAllocationLimit(size_t) override { return 0; }
    int CheckHeap() override;
    bool IsDebugHeap() override { return false; }
    void GetCurrentSourceTag(const char**, int*) override {}
    void NoteAllocation(const char*, int, size_t, size_t, unsigned) override {}
    void NoteRelease(const char*, int, size_t, size_t, unsigned) override {}
    int SetHeapDebugFlags(int) override { return 0; }
    size_t GetProcessMemoryInUse() override;
    uint32_t GetOutstandingBytes() override;
    void CompactHeap() override;
    void* AllocateQuietTagged(size_t nSize, const char* pszFile, int nLine) override;
    void* AllocateQuiet(size_t nSize) override;
    void DumpHeapStatistics() override;
    void TrackAllocations(int nMinSize, int nMaxSize, int nCount) override;
    bool EnableLowFragmentationHeap() override;
    void BeginTrackingRegion(const char*) override {}
    void EndTrackingRegion() override {}
    void SetAllocationHook(void*) override {}
    void SetReleaseHook(void*) override {}
    int GetAllocationCount() override { return 0; }
    void ResetAllocationCount() override {}
    void SetFillPattern(uint8_t) override {}
    void SetGuardBytes(int) override {}
    void FlushCaches() override {}
    void SetCacheLimit(size_t) override {}
    size_t GetCacheSize() override { return 0; }
    void MarkHeapCheckpoint() override {}
    void ReportSinceCheckpoint() override {}
    bool IsInAllocator() override { return false; }
    size_t GetSmallBlockBytesInUse() override;
    size_t GetSmallBlockBytesCommitted() override;
    size_t GetSmallBlockBytesFree() override;
    size_t GetSmallBlockSmallestPool() override;

    // Operations of this allocator only, after the common ones.
    virtual void* AllocateEx(size_t nSize, bool bQuiet);
    virtual void* SmallBlockAllocate(size_t nSize);
    virtual void* ReallocateUntracked(void* pBlock, size_t nSize);
    virtual void ReleaseUntracked(void* pBlock);
    virtual size_t BlockSizeEx(void* pBlock, bool bUntracked);
    virtual void DumpSmallBlockStats();
    virtual int Reserved63() { return 0; }
    virtual void ReportOutOfMemory(size_t nSize);
    virtual void CompactHeap2();
    virtual MemAllocFailHandler_t SetFailureCallback(MemAllocFailHandler_t pfnCallback);
    virtual uint32_t LastFailedSize();

    // Signed running total of bytes handed out from the C runtime heap and
    // the tracking region.
    int64_t OutstandingBytes() const;
    bool IsSmallHeapOn() const { return m_bSmallHeapOn; }
    bool IsMediumHeapOn() const { return m_bMediumHeapOn; }
    SmallBlockHeap& SmallHeap() { return m_SmallHeap; }
    SmallBlockHeap& MediumHeap() { return m_MediumHeap; }
    // Live and lifetime tracked blocks.
    int TrackedLive() const { return m_nTrackedLive; }
    int TrackedTotal() const { return m_nTrackedTotal; }

private:
    CStdMemAlloc(const CStdMemAlloc&) = delete;
    CStdMemAlloc& operator=(const CStdMemAlloc&) = delete;

    void AddOutstanding(int64_t nDelta);
    SmallBlockHeap* HeapOwning(const void* pBlock);
    size_t CrtSize(void* pBlock);

    // Tracking (memstd_track.cpp).
    bool InTrackingRegion(const void* pBlock) const;
    void* TrackedAllocate(size_t nSize);
    void TrackedRelease(void* pBlock);
    size_t TrackedSize(void* pBlock);

    SmallBlockHeap m_SmallHeap;
    SmallBlockHeap m_MediumHeap;
    bool m_bSmallHeapOn;
    bool m_bMediumHeapOn;
    // Bytes outstanding, spread over stripes of a cache line each, picked by
    // thread: threads allocating at once would otherwise fight over one line
    // on every call. The total is the sum of the stripes.
    struct alignas(64) OutstandingStripe
    {
        volatile int64_t m_nBytes;
    };
    static constexpr int kOutstandingStripes = 16;
    OutstandingStripe m_aOutstanding[kOutstandingStripes];
    volatile uint32_t m_nLastFailedSize;
    MemAllocFailHandler_t volatile m_pfnFailHandler;
    PlatCriticalSection m_StatsLock;

    // Tracking state.
    volatile int32_t m_nTrackingBusy;
    volatile int32_t m_nTrackCount;
    int m_nTrackMin;
    int m_nTrackMax;
    int m_nTrackerOffset;
    int m_nSizeWithStack;
    uint8_t* m_pTrackRegion;
    size_t m_nTrackRegionUsed;
    void* m_pTrackFreeSlots;
    volatile int32_t m_nTrackedLive;
    volatile int32_t m_nTrackedTotal;
};

// The process allocator itself (the object behind MemAlloc_Process()).
CStdMemAlloc& StdMemAlloc();
