// Thread identity, priorities, sleeping, debugger thread names, the
// millisecond clock and thread-local slots.
#include "plinth/threadtools.h"

#include "plinth/dbg.h"
#include "plinth/platform/platform_debug.h"

uint32_t ThreadGetCurrentId()
{
    return Plat_GetCurrentThreadId();
}

bool IsThreadAlive(uint32_t threadId)
{
    return Plat_IsThreadActive(threadId);
}

int ThreadGetPriority(ThreadHandle_t hThread)
{
    return Plat_GetThreadPriority(hThread);
}

bool ThreadSetPriority(ThreadHandle_t hThread, int priority)
{
    return Plat_SetThreadPriority(hThread, priority);
}

void ThreadSleep(uint32_t nMilliseconds)
{
    Plat_Sleep(nMilliseconds);
}

void ThreadPause()
{
    Plat_ProcessorPause();
}

void SetDebuggerThreadName(const char* pszName)
{
    if (!pszName || !Plat_IsDebuggerPresent()) return;
    Plat_RaiseThreadNameException(pszName);
}

uint32_t Plat_MSTime()
{
    static const uint64_t s_nFrequency = Plat_PerformanceFrequency();
    static const uint64_t s_nBase = Plat_PerformanceCounter();
    static uint32_t s_nLatest = 0;

    uint64_t nElapsed = Plat_PerformanceCounter() - s_nBase;
    uint64_t nFreq = s_nFrequency ? s_nFrequency : 1;
    uint32_t nNow = (uint32_t)((nElapsed / nFreq) * 1000u + (nElapsed % nFreq) * 1000u / nFreq);

    // Callers on different processors must never see time step back.
    uint32_t nLatest = __atomic_load_n(&s_nLatest, __ATOMIC_RELAXED);
    for (;;)
    {
        if ((int32_t)(nNow - nLatest) <= 0) return nLatest;
        if (__atomic_compare_exchange_n(&s_nLatest, &nLatest, nNow, false, __ATOMIC_RELAXED,
                                        __ATOMIC_RELAXED))
            return nNow;
    }
}

ThreadLocalSlot::ThreadLocalSlot() : m_index(Plat_TlsAlloc())
{
    if (m_index == PLAT_TLS_OUT_OF_INDEXES)
    {
        m_index = kInvalidIndex;
        AssertMsgFailed(false, "threadtools", __LINE__, "Bad thread local");
        SpewError("Out of thread local storage!\n");
    }
}

ThreadLocalSlot::~ThreadLocalSlot()
{
    if (m_index != kInvalidIndex) Plat_TlsFree(m_index);
    m_index = kInvalidIndex;
}

void* ThreadLocalSlot::Get() const
{
    if (m_index == kInvalidIndex)
    {
        AssertMsgFailed(false, "threadtools", __LINE__, "Bad thread local");
        return nullptr;
    }
    return Plat_TlsGetValue(m_index);
}

void ThreadLocalSlot::Set(void* pValue)
{
    if (m_index == kInvalidIndex)
    {
        AssertMsgFailed(false, "threadtools", __LINE__, "Bad thread local");
        return;
    }
    Plat_TlsSetValue(m_index, pValue);
}
