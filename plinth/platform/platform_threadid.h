// Thread identity, thread-local slots, sleeping and critical sections.
#pragma once

#include <cstdint>

// The calling thread's id (GetCurrentThreadId; POSIX: the kernel thread id).
// Never 0.
uint32_t Plat_GetCurrentThreadId();

// Thread-local slots with TlsAlloc semantics: a fresh slot reads null on every
// thread. Plat_TlsAlloc answers PLAT_TLS_OUT_OF_INDEXES when none is left.
enum : uint32_t
{
    PLAT_TLS_OUT_OF_INDEXES = 0xFFFFFFFFu
};
uint32_t Plat_TlsAlloc();
void* Plat_TlsGetValue(uint32_t index);
bool Plat_TlsSetValue(uint32_t index, void* pValue);
bool Plat_TlsFree(uint32_t index);

// Sleep(ms); 0 gives up the rest of the time slice.
void Plat_Sleep(uint32_t ms);
// Gives the processor to another ready thread if there is one.
void Plat_YieldThread();

// The processor's spin-wait hint.
inline void Plat_ProcessorPause()
{
#if defined(__i386__) || defined(__x86_64__)
    __builtin_ia32_pause();
#elif defined(__aarch64__) || defined(__arm__)
    __asm__ __volatile__("yield");
#endif
}

// A recursive critical section (CRITICAL_SECTION; POSIX: a recursive mutex).
struct PlatCriticalSection
{
    alignas(8) unsigned char m_storage[64];
};
// InitializeCriticalSectionAndSpinCount.
bool Plat_InitializeCriticalSection(PlatCriticalSection* pCs, uint32_t spinCount);
void Plat_EnterCriticalSection(PlatCriticalSection* pCs);
// True when the caller now holds it (also when it already did).
bool Plat_TryEnterCriticalSection(PlatCriticalSection* pCs);
void Plat_LeaveCriticalSection(PlatCriticalSection* pCs);
void Plat_DeleteCriticalSection(PlatCriticalSection* pCs);
