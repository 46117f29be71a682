// CHeapMemAlloc over the process heap, and the start-up selection that
// decides whether it is prepared.
#include "plinth/memstd_heap.h"

#include "plinth/dbg.h"
#include "plinth/dbg_internal.h"
#include "plinth/platform/platform_debug.h"
#include "plinth/platform/platform_env.h"
#include "plinth/platform/platform_modules.h"
#include "plinth/platform/platform_registry.h"
#include "plinth/platform/platform_vmem.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <new>

namespace
{
const size_t kHeapAlign = 16;
const uint64_t kPageSize = 4096;

uint64_t PageRounded(size_t nHeapBytes)
{
    return ((uint64_t)nHeapBytes + kPageSize - 1) & ~(kPageSize - 1);
}

CHeapMemAlloc* volatile g_pProcessHeapAlloc = nullptr;
} // namespace

//-----------------------------------------------------------------------------
// CHeapMemAlloc
//-----------------------------------------------------------------------------
CHeapMemAlloc::CHeapMemAlloc(bool bZeroMemory, bool bPageHeap)
    : m_hHeap(Plat_GetProcessHeap()), m_bZeroMemory(bZeroMemory), m_bPageHeap(bPageHeap),
      m_nBytes(0), m_nPageBytes(0), m_nLiveBlocks(0), m_nLifetimeBlocks(0), m_nLastLive(0),
      m_nLastLifetime(0)
{
}

void CHeapMemAlloc::Count(size_t nHeapBytes, int nSign)
{
    uint64_t nUser = (uint64_t)(nHeapBytes - kHeapAlign);
    if (nSign > 0)
    {
        __atomic_add_fetch(&m_nBytes, nUser, __ATOMIC_RELAXED);
        __atomic_add_fetch(&m_nPageBytes, PageRounded(nHeapBytes), __ATOMIC_RELAXED);
        __atomic_add_fetch(&m_nLiveBlocks, 1u, __ATOMIC_RELAXED);
        __atomic_add_fetch(&m_nLifetimeBlocks, 1u, __ATOMIC_RELAXED);
    }
    else
    {
        __atomic_sub_fetch(&m_nBytes, nUser, __ATOMIC_RELAXED);
        __atomic_sub_fetch(&m_nPageBytes, PageRounded(nHeapBytes), __ATOMIC_RELAXED);
        __atomic_sub_fetch(&m_nLiveBlocks, 1u, __ATOMIC_RELAXED);
    }
}

void CHeapMemAlloc::OutOfMemory()
{
    DumpStatsToFile(nullptr);
    if (!m_bPageHeap && Plat_IsDebuggerPresent()) Plat_DebugBreak();
    DbgTerminateProcess(1);
}

void* CHeapMemAlloc::Allocate(size_t nSize)
{
    if (nSize == 0) return nullptr;
    size_t nHeapBytes = nSize + kHeapAlign;
    if (nHeapBytes < nSize) OutOfMemory();
    uint8_t* pHeapBlock = (uint8_t*)Plat_HeapAlloc(m_hHeap, nHeapBytes, m_bZeroMemory);
    if (!pHeapBlock) OutOfMemory();
    // The first aligned address with at least one byte before it.
    uint8_t* pResult =
        (uint8_t*)(((uintptr_t)pHeapBlock + kHeapAlign) & ~(uintptr_t)(kHeapAlign - 1));
    pResult[-1] = (uint8_t)(pResult - pHeapBlock);
    // Counted by the heap's own size of the block, as the release is; on
    // Windows that is the request exactly.
    size_t nCounted = Plat_HeapSize(m_hHeap, pHeapBlock);
    Count(nCounted != (size_t)-1 && nCounted >= nHeapBytes ? nCounted : nHeapBytes, +1);
    return pResult;
}

void* CHeapMemAlloc::HeapBlockOf(void* pBlock)
{
    uint8_t* p = (uint8_t*)pBlock;
    uint8_t nDistance = p[-1];
    if (((uintptr_t)p & (kHeapAlign - 1)) != 0 || nDistance == 0 || nDistance > kHeapAlign)
    {
        if (Plat_IsDebuggerPresent()) Plat_DebugBreak();
        return nullptr;
    }
    return p - nDistance;
}

void CHeapMemAlloc::Release(void* pBlock)
{
    if (!pBlock) return;
    void* pHeapBlock = HeapBlockOf(pBlock);
    if (!pHeapBlock) return; // not ours: leaking beats corrupting the heap
    size_t nHeapBytes = Plat_HeapSize(m_hHeap, pHeapBlock);
    if (nHeapBytes != (size_t)-1 && nHeapBytes >= kHeapAlign) Count(nHeapBytes, -1);
    Plat_HeapFree(m_hHeap, pHeapBlock);
}

size_t CHeapMemAlloc::BlockSize(void* pBlock)
{
    if (!pBlock) return 0;
    void* pHeapBlock = HeapBlockOf(pBlock);
    if (!pHeapBlock) return 0;
    size_t nHeapBytes = Plat_HeapSize(m_hHeap, pHeapBlock);
    if (nHeapBytes == (size_t)-1 || nHeapBytes < kHeapAlign) return 0;
    return nHeapBytes - kHeapAlign;
}

void* CHeapMemAlloc::Reallocate(void* pBlock, size_t nSize)
{
    if (!pBlock) return Allocate(nSize);
    if (nSize == 0)
    {
        Release(pBlock);
        return nullptr;
    }
    void* pNew = Allocate(nSize);
    size_t nOld = BlockSize(pBlock);
    memcpy(pNew, pBlock, nOld < nSize ? nOld : nSize);
    Release(pBlock);
    return pNew;
}

bool CHeapMemAlloc::ValidateHeap()
{
    return Plat_HeapValidate(m_hHeap);
}

void CHeapMemAlloc::GetCurrentSourceTag(const char** ppszFile, int* pnLine)
{
    if (ppszFile) *ppszFile = "";
    if (pnLine) *pnLine = 0;
}

void CHeapMemAlloc::DumpStatsToFile(const char*)
{
    uint32_t nLive = m_nLiveBlocks, nLifetime = m_nLifetimeBlocks;
    SpewMessage(
        "Sorry -- no stats saved to file memstats.txt when the heap allocator is enabled.\n");
    SpewMessage("%u MB allocated.\n", (unsigned)(m_nBytes >> 20));
    SpewMessage("%u MB memory used assuming maximum PageHeap overhead.\n",
                (unsigned)(m_nPageBytes >> 20));
    SpewMessage("%u MB address space used assuming maximum PageHeap overhead.\n",
                (unsigned)((m_nPageBytes + kPageSize * nLive) >> 20));
    SpewMessage("%u outstanding allocations (%d delta).\n", nLive, (int)(nLive - m_nLastLive));
    SpewMessage("%u lifetime allocations (%u delta).\n", nLifetime, nLifetime - m_nLastLifetime);
    m_nLastLive = nLive;
    m_nLastLifetime = nLifetime;
}

bool CHeapMemAlloc::EnableLowFragmentationHeap()
{
    return MemAlloc_EnableLowFragmentationHeap(m_hHeap, true);
}

//-----------------------------------------------------------------------------
// Start-up selection
//-----------------------------------------------------------------------------
ProcessHeapSelection_t ProcessHeapSelection_Decide(const char* pszCommandLine, bool bPageHeap,
                                                   bool bHeapTracing)
{
    char szUpper[512];
    size_t n = 0;
    if (pszCommandLine)
    {
        for (; n < sizeof(szUpper) - 1 && pszCommandLine[n]; ++n)
            szUpper[n] = (char)toupper((unsigned char)pszCommandLine[n]);
    }
    szUpper[n] = 0;

    ProcessHeapSelection_t selection;
    selection.m_bPageHeap = bPageHeap;
    selection.m_bHeapTracing = bHeapTracing;
    selection.m_bReserveLowMem = strstr(szUpper, "-RESERVELOWMEM") != nullptr;
    selection.m_bProcessHeap = strstr(szUpper, "-PROCESSHEAP") != nullptr;
    selection.m_bZeroMemory =
        selection.m_bProcessHeap && strstr(szUpper, "-PROCESSHEAPZEROMEM") != nullptr;
    if (!strstr(szUpper, "-NOPROCESSHEAP") && (bPageHeap || bHeapTracing))
        selection.m_bProcessHeap = true;
    return selection;
}

void ProcessHeapSelection_Probe(const char* pszExePath, bool* pbPageHeap, bool* pbHeapTracing)
{
    *pbPageHeap = false;
    *pbHeapTracing = false;
    if (!pszExePath) return;
    // The POSIX stand-in's paths use '/'.
    const char* pszName = pszExePath;
    for (const char* p = pszExePath; *p; ++p)
        if (*p == '\\' || *p == '/') pszName = p + 1;
    size_t len = strlen(pszName);
    if (len > 0 && pszName[len - 1] == ' ')
    {
        Plat_OutputDebugString("Trailing space on executable name! This will cause Application "
                               "Verifier and ETW Heap tracing to fail!\n");
        if (Plat_IsDebuggerPresent()) Plat_DebugBreak();
    }
    char szKey[600];
    int cch = snprintf(szKey, sizeof(szKey),
                       "Software\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution "
                       "Options\\%s",
                       pszName);
    if (cch <= 0 || (size_t)cch >= sizeof(szKey)) return;
    PlatRegKey hKey = nullptr;
    if (Plat_RegOpenKeyA(Plat_RegRootKey(PLAT_HKEY_LOCAL_MACHINE), szKey, PLAT_KEY_READ, &hKey) !=
        PLAT_ERROR_SUCCESS)
        return;
    bool bStack = Plat_RegQueryValueA(hKey, "StackTraceDatabaseSizeInMB", nullptr, nullptr,
                                      nullptr) == PLAT_ERROR_SUCCESS;
    bool bFlags =
        Plat_RegQueryValueA(hKey, "PageHeapFlags", nullptr, nullptr, nullptr) == PLAT_ERROR_SUCCESS;
    *pbPageHeap = bStack && bFlags;
    *pbHeapTracing =
        Plat_RegQueryValueA(hKey, "TracingFlags", nullptr, nullptr, nullptr) == PLAT_ERROR_SUCCESS;
    Plat_RegCloseKey(hKey);
}

ProcessHeapSelection_t ProcessHeapSelection()
{
    char szExe[1024];
    bool bPageHeap = false, bTracing = false;
    if (Plat_GetModuleFileNameUtf8(nullptr, szExe, sizeof(szExe)) > 0)
        ProcessHeapSelection_Probe(szExe, &bPageHeap, &bTracing);

    // Keeps a well-known fill value from ever addressing usable memory.
    Plat_VirtualReserve((void*)(uintptr_t)0xFFEEFFEEu, 1);

    ProcessHeapSelection_t selection =
        ProcessHeapSelection_Decide(Plat_GetCommandLine(), bPageHeap, bTracing);
    if (selection.m_bProcessHeap && !g_pProcessHeapAlloc)
    {
        alignas(CHeapMemAlloc) static unsigned char s_storage[sizeof(CHeapMemAlloc)];
        g_pProcessHeapAlloc = new (s_storage) CHeapMemAlloc(selection.m_bZeroMemory, bPageHeap);
        Plat_OutputDebugString(bPageHeap
                                   ? "PageHeap is on. Memory use will be larger than normal.\n"
                                   : "PageHeap is off. Memory use will be normal.\n");
        if (selection.m_bZeroMemory) Plat_OutputDebugString("  HEAP_ZERO_MEMORY is specified.\n");
    }
    return selection;
}

CHeapMemAlloc* ProcessHeapMemAlloc()
{
    return g_pProcessHeapAlloc;
}
