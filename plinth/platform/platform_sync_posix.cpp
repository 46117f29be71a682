// Threads, events and the counter over pthreads: the stand-in for the Win32
// calls with the same contract (handles, wait results, exit codes).
#include "plinth/platform/platform_sync.h"
#include "plinth/platform/platform_threadid.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <pthread.h>
#include <signal.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

namespace
{
thread_local uint32_t t_lastError = 0;

uint32_t Fail(int err)
{
    t_lastError = (uint32_t)err;
    return (uint32_t)err;
}

void InitMonotonicCond(pthread_cond_t* pCond)
{
    pthread_condattr_t attr;
    pthread_condattr_init(&attr);
    pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
    pthread_cond_init(pCond, &attr);
    pthread_condattr_destroy(&attr);
}

timespec DeadlineAfter(uint32_t nTimeoutMs)
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    ts.tv_sec += nTimeoutMs / 1000;
    ts.tv_nsec += (long)(nTimeoutMs % 1000) * 1000000L;
    if (ts.tv_nsec >= 1000000000L)
    {
        ts.tv_sec += 1;
        ts.tv_nsec -= 1000000000L;
    }
    return ts;
}

// Waits on pCond under pMutex until *pReady or the time-out. The mutex is held
// on entry and on return.
bool WaitUntil(pthread_cond_t* pCond, pthread_mutex_t* pMutex, const bool* pReady,
               uint32_t nTimeoutMs)
{
    if (nTimeoutMs == PLAT_WAIT_INFINITE)
    {
        while (!*pReady)
            pthread_cond_wait(pCond, pMutex);
        return true;
    }
    timespec deadline = DeadlineAfter(nTimeoutMs);
    while (!*pReady)
    {
        if (pthread_cond_timedwait(pCond, pMutex, &deadline) == ETIMEDOUT) return *pReady;
    }
    return true;
}

// Ids of threads of ours whose start routine has returned. The kernel task
// lingers briefly after that; Windows reports such a thread as ended at once.
pthread_mutex_t g_exitedLock = PTHREAD_MUTEX_INITIALIZER;
uint32_t g_exitedIds[64];
unsigned g_nextExited = 0;

void NoteThreadStart(uint32_t threadId)
{
    pthread_mutex_lock(&g_exitedLock);
    for (uint32_t& id : g_exitedIds)
    {
        if (id == threadId) id = 0; // the kernel reused the id
    }
    pthread_mutex_unlock(&g_exitedLock);
}

void NoteThreadExit(uint32_t threadId)
{
    pthread_mutex_lock(&g_exitedLock);
    g_exitedIds[g_nextExited++ % 64] = threadId;
    pthread_mutex_unlock(&g_exitedLock);
}

bool HasExited(uint32_t threadId)
{
    bool bExited = false;
    pthread_mutex_lock(&g_exitedLock);
    for (uint32_t id : g_exitedIds)
        bExited = bExited || id == threadId;
    pthread_mutex_unlock(&g_exitedLock);
    return bExited;
}

// One thread: shared by the handle and the running thread, freed by whichever
// lets go last.
struct PosixThread
{
    pthread_t thread;
    pthread_mutex_t mutex;
    pthread_cond_t cond;
    ThreadProc_t pfnStart;
    void* pvParam;
    uint32_t threadId;
    bool bIdKnown;
    bool bReleased;
    bool bDone;
    uint32_t exitCode;
    int nRefs;
};

void ReleaseThread(PosixThread* pThread)
{
    pthread_mutex_lock(&pThread->mutex);
    bool bLast = --pThread->nRefs == 0;
    pthread_mutex_unlock(&pThread->mutex);
    if (!bLast) return;
    pthread_cond_destroy(&pThread->cond);
    pthread_mutex_destroy(&pThread->mutex);
    delete pThread;
}

void* PosixThreadStart(void* pv)
{
    PosixThread* pThread = (PosixThread*)pv;
    NoteThreadStart(Plat_GetCurrentThreadId());
    pthread_mutex_lock(&pThread->mutex);
    pThread->threadId = Plat_GetCurrentThreadId();
    pThread->bIdKnown = true;
    pthread_cond_broadcast(&pThread->cond);
    // Like a thread created suspended: wait until the creator has stored the
    // handle and id.
    WaitUntil(&pThread->cond, &pThread->mutex, &pThread->bReleased, PLAT_WAIT_INFINITE);
    pthread_mutex_unlock(&pThread->mutex);

    uint32_t exitCode = (uint32_t)pThread->pfnStart(pThread->pvParam);

    NoteThreadExit(pThread->threadId);
    pthread_mutex_lock(&pThread->mutex);
    pThread->exitCode = exitCode;
    pThread->bDone = true;
    pthread_cond_broadcast(&pThread->cond);
    pthread_mutex_unlock(&pThread->mutex);
    ReleaseThread(pThread);
    return nullptr;
}

struct PosixEvent
{
    pthread_mutex_t mutex;
    pthread_cond_t cond;
    bool bManualReset;
    bool bSignaled;
};
} // namespace

uint32_t Plat_GetLastError()
{
    return t_lastError;
}

bool Plat_CreateThread(uint32_t nStackSize, ThreadProc_t pfnStart, void* pvParam,
                       ThreadHandle_t* phThread, uint32_t* pThreadId)
{
    *phThread = nullptr;
    *pThreadId = 0;
    PosixThread* pThread = new (std::nothrow) PosixThread;
    if (!pThread)
    {
        Fail(ENOMEM);
        return false;
    }
    pthread_mutex_init(&pThread->mutex, nullptr);
    InitMonotonicCond(&pThread->cond);
    pThread->pfnStart = pfnStart;
    pThread->pvParam = pvParam;
    pThread->threadId = 0;
    pThread->bIdKnown = false;
    pThread->bReleased = false;
    pThread->bDone = false;
    pThread->exitCode = PLAT_THREAD_STILL_ACTIVE;
    pThread->nRefs = 2;

    pthread_attr_t attr;
    pthread_attr_init(&attr);
    if (nStackSize)
    {
        size_t nBytes = nStackSize < (uint32_t)PTHREAD_STACK_MIN ? (size_t)PTHREAD_STACK_MIN
                                                                 : (size_t)nStackSize;
        nBytes = (nBytes + 0xFFFF) & ~(size_t)0xFFFF;
        pthread_attr_setstacksize(&attr, nBytes);
    }
    int err = pthread_create(&pThread->thread, &attr, PosixThreadStart, pThread);
    pthread_attr_destroy(&attr);
    if (err != 0)
    {
        Fail(err);
        pthread_cond_destroy(&pThread->cond);
        pthread_mutex_destroy(&pThread->mutex);
        delete pThread;
        return false;
    }

    // The kernel id is known only once the thread runs; it holds on until the
    // outputs are stored.
    pthread_mutex_lock(&pThread->mutex);
    WaitUntil(&pThread->cond, &pThread->mutex, &pThread->bIdKnown, PLAT_WAIT_INFINITE);
    *phThread = pThread;
    *pThreadId = pThread->threadId;
    pThread->bReleased = true;
    pthread_cond_broadcast(&pThread->cond);
    pthread_mutex_unlock(&pThread->mutex);
    return true;
}

PlatWaitResult Plat_WaitForThread(ThreadHandle_t hThread, uint32_t nTimeoutMs)
{
    if (!hThread)
    {
        Fail(EBADF);
        return PLAT_WAIT_FAILED;
    }
    PosixThread* pThread = (PosixThread*)hThread;
    pthread_mutex_lock(&pThread->mutex);
    bool bDone = WaitUntil(&pThread->cond, &pThread->mutex, &pThread->bDone, nTimeoutMs);
    pthread_mutex_unlock(&pThread->mutex);
    return bDone ? PLAT_WAIT_SIGNALED : PLAT_WAIT_TIMEOUT;
}

bool Plat_GetThreadExitCode(ThreadHandle_t hThread, uint32_t* pExitCode)
{
    if (!hThread || !pExitCode)
    {
        Fail(EBADF);
        return false;
    }
    PosixThread* pThread = (PosixThread*)hThread;
    pthread_mutex_lock(&pThread->mutex);
    *pExitCode = pThread->bDone ? pThread->exitCode : PLAT_THREAD_STILL_ACTIVE;
    pthread_mutex_unlock(&pThread->mutex);
    return true;
}

bool Plat_CloseThread(ThreadHandle_t hThread)
{
    if (!hThread)
    {
        Fail(EBADF);
        return false;
    }
    PosixThread* pThread = (PosixThread*)hThread;
    pthread_detach(pThread->thread);
    ReleaseThread(pThread);
    return true;
}

bool Plat_IsThreadActive(uint32_t threadId)
{
    if (threadId == 0 || HasExited(threadId)) return false;
    return syscall(SYS_tgkill, (long)getpid(), (long)threadId, 0L) == 0;
}

int Plat_GetThreadPriority(ThreadHandle_t)
{
    return 0;
}

bool Plat_SetThreadPriority(ThreadHandle_t, int)
{
    return true;
}

void Plat_RaiseThreadNameException(const char* pszName)
{
    if (!pszName) return;
    char szShort[16];
    strncpy(szShort, pszName, sizeof(szShort) - 1);
    szShort[sizeof(szShort) - 1] = '\0';
    pthread_setname_np(pthread_self(), szShort);
}

EventHandle_t Plat_CreateEvent(bool bManualReset, bool bInitialState)
{
    PosixEvent* pEvent = new (std::nothrow) PosixEvent;
    if (!pEvent)
    {
        Fail(ENOMEM);
        return nullptr;
    }
    pthread_mutex_init(&pEvent->mutex, nullptr);
    InitMonotonicCond(&pEvent->cond);
    pEvent->bManualReset = bManualReset;
    pEvent->bSignaled = bInitialState;
    return pEvent;
}

bool Plat_SetEvent(EventHandle_t hEvent)
{
    if (!hEvent)
    {
        Fail(EBADF);
        return false;
    }
    PosixEvent* pEvent = (PosixEvent*)hEvent;
    pthread_mutex_lock(&pEvent->mutex);
    pEvent->bSignaled = true;
    // An automatic-reset event releases one waiter, a manual one all of them.
    if (pEvent->bManualReset)
        pthread_cond_broadcast(&pEvent->cond);
    else
        pthread_cond_signal(&pEvent->cond);
    pthread_mutex_unlock(&pEvent->mutex);
    return true;
}

bool Plat_ResetEvent(EventHandle_t hEvent)
{
    if (!hEvent)
    {
        Fail(EBADF);
        return false;
    }
    PosixEvent* pEvent = (PosixEvent*)hEvent;
    pthread_mutex_lock(&pEvent->mutex);
    pEvent->bSignaled = false;
    pthread_mutex_unlock(&pEvent->mutex);
    return true;
}

PlatWaitResult Plat_WaitForEvent(EventHandle_t hEvent, uint32_t nTimeoutMs)
{
    if (!hEvent)
    {
        Fail(EBADF);
        return PLAT_WAIT_FAILED;
    }
    PosixEvent* pEvent = (PosixEvent*)hEvent;
    pthread_mutex_lock(&pEvent->mutex);
    bool bSignaled = WaitUntil(&pEvent->cond, &pEvent->mutex, &pEvent->bSignaled, nTimeoutMs);
    if (bSignaled && !pEvent->bManualReset) pEvent->bSignaled = false;
    pthread_mutex_unlock(&pEvent->mutex);
    return bSignaled ? PLAT_WAIT_SIGNALED : PLAT_WAIT_TIMEOUT;
}

bool Plat_CloseEvent(EventHandle_t hEvent)
{
    if (!hEvent)
    {
        Fail(EBADF);
        return false;
    }
    PosixEvent* pEvent = (PosixEvent*)hEvent;
    pthread_cond_destroy(&pEvent->cond);
    pthread_mutex_destroy(&pEvent->mutex);
    delete pEvent;
    return true;
}

uint64_t Plat_PerformanceCounter()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (uint64_t)ts.tv_sec * 1000000000ull + (uint64_t)ts.tv_nsec;
}

uint64_t Plat_PerformanceFrequency()
{
    return 1000000000ull;
}
