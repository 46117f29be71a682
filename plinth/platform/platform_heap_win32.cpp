// Heaps over kernel32, the C runtime and psapi.
#include "plinth/platform/platform_heap.h"

#include <windows.h>
#include <malloc.h>
#include <psapi.h>

namespace
{
typedef BOOL(WINAPI* HeapSetInformation_t)(HANDLE, HEAP_INFORMATION_CLASS, PVOID, SIZE_T);
typedef BOOL(WINAPI* HeapQueryInformation_t)(HANDLE, HEAP_INFORMATION_CLASS, PVOID, SIZE_T,
                                             PSIZE_T);

thread_local uint32_t t_lastHeapInfoError = 0;

HMODULE Kernel32()
{
    return GetModuleHandleA("kernel32.dll");
}
} // namespace

PlatHeap Plat_GetProcessHeap()
{
    return (PlatHeap)GetProcessHeap();
}

PlatHeap Plat_GetCrtHeap()
{
    return (PlatHeap)_get_heap_handle();
}

void* Plat_HeapAlloc(PlatHeap hHeap, size_t nBytes, bool bZero)
{
    return HeapAlloc((HANDLE)hHeap, bZero ? HEAP_ZERO_MEMORY : 0, nBytes);
}

bool Plat_HeapFree(PlatHeap hHeap, void* pBlock)
{
    return HeapFree((HANDLE)hHeap, 0, pBlock) != FALSE;
}

size_t Plat_HeapSize(PlatHeap hHeap, const void* pBlock)
{
    return HeapSize((HANDLE)hHeap, 0, pBlock);
}

bool Plat_HeapValidate(PlatHeap hHeap)
{
    return HeapValidate((HANDLE)hHeap, 0, nullptr) != FALSE;
}

PlatHeapInfoResult Plat_HeapSetCompatibility(PlatHeap hHeap, uint32_t value, bool bLookUp)
{
    HeapSetInformation_t pfnSet = &HeapSetInformation;
    if (bLookUp)
    {
        HMODULE hKernel = Kernel32();
        pfnSet = hKernel
                     ? (HeapSetInformation_t)(void*)GetProcAddress(hKernel, "HeapSetInformation")
                     : nullptr;
        if (!pfnSet) return PLAT_HEAPINFO_NOT_FOUND;
    }
    ULONG ulValue = value;
    if (pfnSet((HANDLE)hHeap, HeapCompatibilityInformation, &ulValue, sizeof(ulValue)))
        return PLAT_HEAPINFO_OK;
    t_lastHeapInfoError = GetLastError();
    return PLAT_HEAPINFO_FAILED;
}

PlatHeapInfoResult Plat_HeapQueryCompatibility(PlatHeap hHeap, uint32_t* pValue, bool bLookUp)
{
    HeapQueryInformation_t pfnQuery = &HeapQueryInformation;
    if (bLookUp)
    {
        HMODULE hKernel = Kernel32();
        pfnQuery =
            hKernel ? (HeapQueryInformation_t)(void*)GetProcAddress(hKernel, "HeapQueryInformation")
                    : nullptr;
        if (!pfnQuery) return PLAT_HEAPINFO_NOT_FOUND;
    }
    ULONG ulValue = 0;
    SIZE_T cbReturned = 0;
    if (pfnQuery((HANDLE)hHeap, HeapCompatibilityInformation, &ulValue, sizeof(ulValue),
                 &cbReturned))
    {
        if (pValue) *pValue = ulValue;
        return PLAT_HEAPINFO_OK;
    }
    t_lastHeapInfoError = GetLastError();
    return PLAT_HEAPINFO_FAILED;
}

uint32_t Plat_HeapInfoLastError()
{
    return t_lastHeapInfoError;
}

size_t Plat_CrtBlockSize(void* pBlock)
{
    return pBlock ? _msize(pBlock) : 0;
}

bool Plat_WalkCrtHeap(void (*pfnVisit)(const PlatHeapEntry& entry, void* pContext), void* pContext)
{
    _HEAPINFO info;
    info._pentry = nullptr;
    int status;
    while ((status = _heapwalk(&info)) == _HEAPOK)
    {
        PlatHeapEntry entry;
        entry.m_pBlock = info._pentry;
        entry.m_nBytes = info._size;
        entry.m_kind = info._useflag == _USEDENTRY   ? PLAT_HEAPENTRY_USED
                       : info._useflag == _FREEENTRY ? PLAT_HEAPENTRY_FREE
                                                     : PLAT_HEAPENTRY_OTHER;
        if (pfnVisit) pfnVisit(entry, pContext);
    }
    return status == _HEAPEND || status == _HEAPEMPTY;
}

size_t Plat_ProcessPagefileUsage()
{
    PROCESS_MEMORY_COUNTERS counters;
    counters.cb = sizeof(counters);
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters))) return 0;
    return counters.PagefileUsage;
}
