// Heaps of the operating system and the C runtime: the process heap, the C
// runtime heap's handle and block sizes, heap information, heap walking and
// the process's memory figures.
//
// POSIX stand-in: the process heap is the C runtime heap (malloc), heap
// information is kept per handle in this layer, and heap walking sees no
// blocks.
#pragma once

#include <cstddef>
#include <cstdint>

typedef struct PlatHeap_s* PlatHeap;

// GetProcessHeap.
PlatHeap Plat_GetProcessHeap();
// The C runtime's own heap (_get_heap_handle).
PlatHeap Plat_GetCrtHeap();

// HeapAlloc / HeapReAlloc / HeapFree / HeapSize / HeapValidate. `bZero` adds
// HEAP_ZERO_MEMORY. HeapSize answers (size_t)-1 on failure.
void* Plat_HeapAlloc(PlatHeap hHeap, size_t nBytes, bool bZero);
bool Plat_HeapFree(PlatHeap hHeap, void* pBlock);
size_t Plat_HeapSize(PlatHeap hHeap, const void* pBlock);
bool Plat_HeapValidate(PlatHeap hHeap);

// HeapSetInformation(HeapCompatibilityInformation) and its query. With
// `bLookUp` the two functions are looked up in "kernel32.dll" at run time.
enum PlatHeapInfoResult
{
    PLAT_HEAPINFO_OK = 0,
    PLAT_HEAPINFO_FAILED = 1,    // the call failed (Plat_HeapInfoLastError says why)
    PLAT_HEAPINFO_NOT_FOUND = 2, // the function could not be looked up
};
PlatHeapInfoResult Plat_HeapSetCompatibility(PlatHeap hHeap, uint32_t value, bool bLookUp);
PlatHeapInfoResult Plat_HeapQueryCompatibility(PlatHeap hHeap, uint32_t* pValue, bool bLookUp);
// GetLastError right after the failing call above.
uint32_t Plat_HeapInfoLastError();

// The C runtime's block size of a malloc'ed block (_msize; POSIX:
// malloc_usable_size).
size_t Plat_CrtBlockSize(void* pBlock);

// One step of the C runtime heap walk (_heapwalk). Entries are free, used,
// or other (regions the runtime does not describe).
enum PlatHeapEntryKind
{
    PLAT_HEAPENTRY_FREE = 0,
    PLAT_HEAPENTRY_USED = 1,
    PLAT_HEAPENTRY_OTHER = 2,
};
struct PlatHeapEntry
{
    void* m_pBlock;
    size_t m_nBytes;
    PlatHeapEntryKind m_kind;
};
// Calls pfnVisit for every entry; false when the heap could not be walked.
bool Plat_WalkCrtHeap(void (*pfnVisit)(const PlatHeapEntry& entry, void* pContext), void* pContext);

// PagefileUsage from GetProcessMemoryInfo; 0 on failure. POSIX: the
// process's private dirty memory is not tracked; resident set size.
size_t Plat_ProcessPagefileUsage();
