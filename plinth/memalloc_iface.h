// IMemAlloc: the allocator interface. The operation table keeps its slot
// order (callers reach operations by slot), so nothing may be inserted or
// reordered and there is no virtual destructor: an allocator lives for the
// process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

class IMemAlloc
{
public:
    // 1-2
    virtual void InitVirtualHeap(int nKind) = 0;
    virtual bool IsVirtualHeapOn() = 0;
    // 3-8
    virtual void* AllocateTagged(size_t nSize, const char* pszFile, int nLine) = 0;
    virtual void* Allocate(size_t nSize) = 0;
    virtual void* ReallocateTagged(void* pBlock, size_t nSize, const char* pszFile, int nLine) = 0;
    virtual void* Reallocate(void* pBlock, size_t nSize) = 0;
    virtual void ReleaseTagged(void* pBlock, const char* pszFile, int nLine) = 0;
    virtual void Release(void* pBlock) = 0;
    // 9-10
    virtual void PushSourceTag(const char* pszFile, int nLine) = 0;
    virtual void PopSourceTag() = 0;
    // 11
    virtual size_t BlockSize(void* pBlock) = 0;
    // 12-15
    virtual void SetBlockTag(void* pBlock, const char* pszTag) = 0;
    virtual const char* GetBlockTag(void* pBlock) = 0;
    virtual void SetBreakOnAllocation(long nRequest) = 0;
    virtual int SetReportFlags(int nFlags) = 0;
    // 16-17
    virtual bool IsBlockValid(const void* pBlock) = 0;
    virtual bool IsHeapConsistent() = 0;
    // 18
    virtual bool ValidateHeap() = 0;
    // 19-20
    virtual void* SetReportHook(void* pfnHook) = 0;
    virtual void ClearReportHook() = 0;
    // 21
    virtual void DumpStatsToFile(const char* pszFileBase) = 0;
    // 22-24
    virtual void DumpBlockStats(void* pBlock) = 0;
    virtual void SetStatsExtraInfo(const char* pszMapName, const char* pszComment) = 0;
    virtual size_t SetAllocationLimit(size_t nBytes) = 0;
    // 25-26
    virtual int CheckHeap() = 0;
    virtual bool IsDebugHeap() = 0;
    // 27
    virtual void GetCurrentSourceTag(const char** ppszFile, int* pnLine) = 0;
    // 28-30
    virtual void NoteAllocation(const char* pszFile, int nLine, size_t nLogical, size_t nActual,
                                unsigned nTime) = 0;
    virtual void NoteRelease(const char* pszFile, int nLine, size_t nLogical, size_t nActual,
                             unsigned nTime) = 0;
    virtual int SetHeapDebugFlags(int nFlags) = 0;
    // 31-33
    virtual size_t GetProcessMemoryInUse() = 0;
    virtual uint32_t GetOutstandingBytes() = 0;
    virtual void CompactHeap() = 0;
    // 34-35
    virtual void* AllocateQuietTagged(size_t nSize, const char* pszFile, int nLine) = 0;
    virtual void* AllocateQuiet(size_t nSize) = 0;
    // 36-38
    virtual void DumpHeapStatistics() = 0;
    virtual void TrackAllocations(int nMinSize, int nMaxSize, int nCount) = 0;
    virtual bool EnableLowFragmentationHeap() = 0;
    // 39-52
    virtual void BeginTrackingRegion(const char* pszName) = 0;
    virtual void EndTrackingRegion() = 0;
    virtual void SetAllocationHook(void* pfnHook) = 0;
    virtual void SetReleaseHook(void* pfnHook) = 0;
    virtual int GetAllocationCount() = 0;
    virtual void ResetAllocationCount() = 0;
    virtual void SetFillPattern(uint8_t uPattern) = 0;
    virtual void SetGuardBytes(int nBytes) = 0;
    virtual void FlushCaches() = 0;
    virtual void SetCacheLimit(size_t nBytes) = 0;
    virtual size_t GetCacheSize() = 0;
    virtual void MarkHeapCheckpoint() = 0;
    virtual void ReportSinceCheckpoint() = 0;
    virtual bool IsInAllocator() = 0;
    // 53-56
    virtual size_t GetSmallBlockBytesInUse() = 0;
    virtual size_t GetSmallBlockBytesCommitted() = 0;
    virtual size_t GetSmallBlockBytesFree() = 0;
    virtual size_t GetSmallBlockSmallestPool() = 0;

protected:
    ~IMemAlloc() {}
};

// The process allocator (a CStdMemAlloc, created on first use).
IMemAlloc* MemAlloc_Process();
