// Heaps over malloc: the process heap and the C runtime heap are both the
// malloc heap; heap compatibility values are remembered per handle.
#include "plinth/platform/platform_heap.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <malloc.h>
#include <unistd.h>

namespace
{
// Distinct handles for the two heaps; neither is ever dereferenced.
char g_processHeapTag, g_crtHeapTag;
uint32_t g_processHeapCompat = 0, g_crtHeapCompat = 0;

uint32_t* CompatOf(PlatHeap hHeap)
{
    if (hHeap == (PlatHeap)&g_processHeapTag) return &g_processHeapCompat;
    if (hHeap == (PlatHeap)&g_crtHeapTag) return &g_crtHeapCompat;
    return nullptr;
}
} // namespace

PlatHeap Plat_GetProcessHeap()
{
    return (PlatHeap)&g_processHeapTag;
}

PlatHeap Plat_GetCrtHeap()
{
    return (PlatHeap)&g_crtHeapTag;
}

void* Plat_HeapAlloc(PlatHeap, size_t nBytes, bool bZero)
{
    return bZero ? calloc(1, nBytes ? nBytes : 1) : malloc(nBytes ? nBytes : 1);
}

bool Plat_HeapFree(PlatHeap, void* pBlock)
{
    free(pBlock);
    return true;
}

size_t Plat_HeapSize(PlatHeap, const void* pBlock)
{
    if (!pBlock) return (size_t)-1;
    return malloc_usable_size(const_cast<void*>(pBlock));
}

bool Plat_HeapValidate(PlatHeap)
{
    return true;
}

PlatHeapInfoResult Plat_HeapSetCompatibility(PlatHeap hHeap, uint32_t value, bool)
{
    uint32_t* pValue = CompatOf(hHeap);
    if (!pValue || value > 2) return PLAT_HEAPINFO_FAILED;
    *pValue = value;
    return PLAT_HEAPINFO_OK;
}

PlatHeapInfoResult Plat_HeapQueryCompatibility(PlatHeap hHeap, uint32_t* pValue, bool)
{
    uint32_t* pStored = CompatOf(hHeap);
    if (!pStored || !pValue) return PLAT_HEAPINFO_FAILED;
    *pValue = *pStored;
    return PLAT_HEAPINFO_OK;
}

uint32_t Plat_HeapInfoLastError()
{
    return 87; // ERROR_INVALID_PARAMETER: the only way the calls above fail
}

size_t Plat_CrtBlockSize(void* pBlock)
{
    return pBlock ? malloc_usable_size(pBlock) : 0;
}

bool Plat_WalkCrtHeap(void (*)(const PlatHeapEntry&, void*), void*)
{
    // malloc offers no walk; the heap looks empty.
    return true;
}

size_t Plat_ProcessPagefileUsage()
{
    FILE* pFile = fopen("/proc/self/statm", "r");
    if (!pFile) return 0;
    unsigned long nTotal = 0, nResident = 0;
    int n = fscanf(pFile, "%lu %lu", &nTotal, &nResident);
    fclose(pFile);
    if (n != 2) return 0;
    return (size_t)nResident * (size_t)sysconf(_SC_PAGESIZE);
}
