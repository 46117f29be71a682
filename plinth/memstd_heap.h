// CHeapMemAlloc: the allocator interface over the operating system's process
// heap, with 16-byte aligned blocks; and the start-up selection that prepares
// it when asked to (the process allocator stays CStdMemAlloc).
#pragma once

#include "plinth/memalloc_iface.h"
#include "plinth/platform/platform_heap.h"

class CHeapMemAlloc final : public IMemAlloc
{
public:
    // Takes the process heap; bZeroMemory asks for zero-filled blocks;
    // bPageHeap only changes what an out-of-memory exit does.
    CHeapMemAlloc(bool bZeroMemory, bool bPageHeap);
    ~CHeapMemAlloc() {}

    void InitVirtualHeap(int) override {}
    bool IsVirtualHeapOn() override { return true; }
    void* AllocateTagged(size_t nSize, const char*, int) override { return Allocate(nSize); }
    void* Allocate(size_t nSize) override;
    void* ReallocateTagged(void* pBlock, size_t nSize, const char*, int) override
    {
        return Reallocate(pBlock, nSize);
    }
    void* Reallocate(void* pBlock, size_t nSize) override;
    void ReleaseTagged(void* pBlock, const char*, int) override { Release(pBlock); }
    void Release(void* pBlock) override;
    void PushSourceTag(const char*, int) override {}
    void PopSourceTag() override {}
    size_t BlockSize(void* pBlock) override;
    void SetBlockTag(void*, const char*) override {}
    const char* GetBlockTag(void*) override { return nullptr; }
    void SetBreakOnAllocation(long) override {}
    int SetReportFlags(int) override { return 0; }
    bool IsBlockValid(const void*) override { return false; }
    bool IsHeapConsistent() override { return false; }
    bool ValidateHeap() override;
    void* SetReportHook(void*) override { return nullptr; }
    void ClearReportHook() override {}
    void DumpStatsToFile(const char* pszFileBase) override;
    void DumpBlockStats(void*) override {}
    void SetStatsExtraInfo(const char*, const char*) override {}
    size_t SetAllocationLimit(size_t) override { return 0; }
    int CheckHeap() override { return -2; }
    bool IsDebugHeap() override { return false; }
    void GetCurrentSourceTag(const char** ppszFile, int* pnLine) override;
    void NoteAllocation(const char*, int, size_t, size_t, unsigned) override {}
    void NoteRelease(const char*, int, size_t, size_t, unsigned) override {}
    int SetHeapDebugFlags(int) override { return 0; }
    size_t GetProcessMemoryInUse() override { return 0; }
    uint32_t GetOutstandingBytes() override { return 0; }
    void CompactHeap() override {}
    void* AllocateQuietTagged(size_t nSize, const char*, int) override { return Allocate(nSize); }
    void* AllocateQuiet(size_t nSize) override { return Allocate(nSize); }
    void DumpHeapStatistics() override {}
    void TrackAllocations(int, int, int) override {}
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
    size_t GetSmallBlockBytesInUse() override { return 0; }
    size_t GetSmallBlockBytesCommitted() override { return 0; }
    size_t GetSmallBlockBytesFree() override { return 0; }
    size_t GetSmallBlockSmallestPool() override { return 0; }

    // Counters behind the memory summary.
    uint64_t Bytes() const { return m_nBytes; }
    uint64_t PageRoundedBytes() const { return m_nPageBytes; }
    uint32_t LiveBlocks() const { return m_nLiveBlocks; }
    uint32_t LifetimeBlocks() const { return m_nLifetimeBlocks; }

private:
    CHeapMemAlloc(const CHeapMemAlloc&) = delete;
    CHeapMemAlloc& operator=(const CHeapMemAlloc&) = delete;

    // The heap block behind a returned address, or null when its distance
    // byte is broken.
    void* HeapBlockOf(void* pBlock);
    void Count(size_t nHeapBytes, int nSign);
    [[noreturn]] void OutOfMemory();

    PlatHeap m_hHeap;
    bool m_bZeroMemory;
    bool m_bPageHeap;
    volatile uint64_t m_nBytes;
    volatile uint64_t m_nPageBytes;
    volatile uint32_t m_nLiveBlocks;
    volatile uint32_t m_nLifetimeBlocks;
    uint32_t m_nLastLive;
    uint32_t m_nLastLifetime;
};

// What the start-up selection found.
struct ProcessHeapSelection_t
{
    bool m_bProcessHeap;   // the process heap is selected
    bool m_bZeroMemory;    // zero-filled blocks were asked for
    bool m_bPageHeap;      // PageHeap settings exist for the executable
    bool m_bHeapTracing;   // heap tracing settings exist
    bool m_bReserveLowMem; // "-RESERVELOWMEM" was given (no further effect)
};

// The decision of the start-up selection from a command line and the
// executable's PageHeap / tracing state.
ProcessHeapSelection_t ProcessHeapSelection_Decide(const char* pszCommandLine, bool bPageHeap,
                                                   bool bHeapTracing);
// Probes the PageHeap and tracing values under "Image File Execution Options"
// for the executable at pszExePath (a full path).
void ProcessHeapSelection_Probe(const char* pszExePath, bool* pbPageHeap, bool* pbHeapTracing);
// Runs the whole selection once (at allocator construction): command line,
// probe, the reservation at 0xFFEEFFEE and preparing CHeapMemAlloc.
ProcessHeapSelection_t ProcessHeapSelection();
// The process-heap allocator prepared by the selection, or null.
CHeapMemAlloc* ProcessHeapMemAlloc();

// Sets the low-fragmentation heap on hHeap (looking the heap-information
// functions up at run time when bLookUp) and reports the outcome.
bool MemAlloc_EnableLowFragmentationHeap(PlatHeap hHeap, bool bLookUp);
