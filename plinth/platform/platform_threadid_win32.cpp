// Thread identity, slots and critical sections over kernel32.
#include "plinth/platform/platform_threadid.h"

#include <windows.h>

static_assert(sizeof(CRITICAL_SECTION) <= sizeof(PlatCriticalSection::m_storage),
              "critical section storage too small");
static_assert(TLS_OUT_OF_INDEXES == PLAT_TLS_OUT_OF_INDEXES, "TLS index sentinel");

uint32_t Plat_GetCurrentThreadId()
{
    return GetCurrentThreadId();
}

uint32_t Plat_TlsAlloc()
{
    return TlsAlloc();
}

void* Plat_TlsGetValue(uint32_t index)
{
    return TlsGetValue(index);
}

bool Plat_TlsSetValue(uint32_t index, void* pValue)
{
    return TlsSetValue(index, pValue) != FALSE;
}

bool Plat_TlsFree(uint32_t index)
{
    return TlsFree(index) != FALSE;
}

void Plat_Sleep(uint32_t ms)
{
    Sleep(ms);
}

void Plat_YieldThread()
{
    if (!SwitchToThread()) Sleep(0);
}

static CRITICAL_SECTION* SectionOf(PlatCriticalSection* pCs)
{
    return reinterpret_cast<CRITICAL_SECTION*>(pCs->m_storage);
}

bool Plat_InitializeCriticalSection(PlatCriticalSection* pCs, uint32_t spinCount)
{
    return InitializeCriticalSectionAndSpinCount(SectionOf(pCs), spinCount) != FALSE;
}

void Plat_EnterCriticalSection(PlatCriticalSection* pCs)
{
    EnterCriticalSection(SectionOf(pCs));
}

bool Plat_TryEnterCriticalSection(PlatCriticalSection* pCs)
{
    return TryEnterCriticalSection(SectionOf(pCs)) != FALSE;
}

void Plat_LeaveCriticalSection(PlatCriticalSection* pCs)
{
    LeaveCriticalSection(SectionOf(pCs));
}

void Plat_DeleteCriticalSection(PlatCriticalSection* pCs)
{
    DeleteCriticalSection(SectionOf(pCs));
}
