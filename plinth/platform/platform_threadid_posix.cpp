// Thread identity, slots and critical sections over pthreads.
#include "plinth/platform/platform_threadid.h"

#include <new>
#include <pthread.h>
#include <sched.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

static_assert(sizeof(pthread_mutex_t) <= sizeof(PlatCriticalSection::m_storage),
              "critical section storage too small");

uint32_t Plat_GetCurrentThreadId()
{
    static thread_local uint32_t s_id = 0;
    if (!s_id) s_id = (uint32_t)syscall(SYS_gettid);
    return s_id;
}

uint32_t Plat_TlsAlloc()
{
    pthread_key_t key;
    if (pthread_key_create(&key, nullptr) != 0) return PLAT_TLS_OUT_OF_INDEXES;
    // Keep the "no index" value free for its meaning.
    if ((uint32_t)key == PLAT_TLS_OUT_OF_INDEXES)
    {
        pthread_key_delete(key);
        return PLAT_TLS_OUT_OF_INDEXES;
    }
    return (uint32_t)key;
}

void* Plat_TlsGetValue(uint32_t index)
{
    if (index == PLAT_TLS_OUT_OF_INDEXES) return nullptr;
    return pthread_getspecific((pthread_key_t)index);
}

bool Plat_TlsSetValue(uint32_t index, void* pValue)
{
    if (index == PLAT_TLS_OUT_OF_INDEXES) return false;
    return pthread_setspecific((pthread_key_t)index, pValue) == 0;
}

bool Plat_TlsFree(uint32_t index)
{
    if (index == PLAT_TLS_OUT_OF_INDEXES) return false;
    return pthread_key_delete((pthread_key_t)index) == 0;
}

void Plat_Sleep(uint32_t ms)
{
    if (ms == 0)
    {
        sched_yield();
        return;
    }
    timespec ts;
    ts.tv_sec = ms / 1000;
    ts.tv_nsec = (long)(ms % 1000) * 1000000L;
    while (nanosleep(&ts, &ts) != 0)
    {
    }
}

void Plat_YieldThread()
{
    sched_yield();
}

static pthread_mutex_t* MutexOf(PlatCriticalSection* pCs)
{
    return reinterpret_cast<pthread_mutex_t*>(pCs->m_storage);
}

bool Plat_InitializeCriticalSection(PlatCriticalSection* pCs, uint32_t)
{
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_t* pMutex = new (pCs->m_storage) pthread_mutex_t;
    bool bOk = pthread_mutex_init(pMutex, &attr) == 0;
    pthread_mutexattr_destroy(&attr);
    return bOk;
}

void Plat_EnterCriticalSection(PlatCriticalSection* pCs)
{
    pthread_mutex_lock(MutexOf(pCs));
}

bool Plat_TryEnterCriticalSection(PlatCriticalSection* pCs)
{
    return pthread_mutex_trylock(MutexOf(pCs)) == 0;
}

void Plat_LeaveCriticalSection(PlatCriticalSection* pCs)
{
    pthread_mutex_unlock(MutexOf(pCs));
}

void Plat_DeleteCriticalSection(PlatCriticalSection* pCs)
{
    pthread_mutex_destroy(MutexOf(pCs));
}
