// Events, the recursive spin mutex, the two reader/writer locks and the plain
// mutex.
#include "plinth/threadtools.h"

#include "plinth/dbg.h"

#include <cstring>

//-----------------------------------------------------------------------------
// ThreadEvent
//-----------------------------------------------------------------------------
ThreadEvent::ThreadEvent(bool bManualReset)
    : m_hEvent(Plat_CreateEvent(bManualReset, false)), m_bOwnsHandle(true)
{
    if (!m_hEvent)
        AssertMsgFailed(false, "threadtools", __LINE__, "Failed to create event (error 0x%x)",
                        (unsigned)Plat_GetLastError());
}

ThreadEvent::ThreadEvent(EventHandle_t hEvent) : m_hEvent(hEvent), m_bOwnsHandle(false) {}

ThreadEvent::~ThreadEvent()
{
    if (m_bOwnsHandle && m_hEvent)
    {
        if (!Plat_CloseEvent(m_hEvent)) AssertFailed("threadtools", __LINE__, "0");
    }
    m_hEvent = nullptr;
}

bool ThreadEvent::Set()
{
    if (!m_hEvent)
    {
        AssertMsgFailed(false, "threadtools", __LINE__,
                        "Thread synchronization object is unuseable");
        return false;
    }
    return Plat_SetEvent(m_hEvent);
}

bool ThreadEvent::Reset()
{
    if (!m_hEvent)
    {
        AssertMsgFailed(false, "threadtools", __LINE__,
                        "Thread synchronization object is unuseable");
        return false;
    }
    return Plat_ResetEvent(m_hEvent);
}

bool ThreadEvent::Wait(uint32_t nTimeoutMs)
{
    if (!m_hEvent)
    {
        AssertMsgFailed(false, "threadtools", __LINE__,
                        "Thread synchronization object is unuseable");
        return false;
    }
    PlatWaitResult result = Plat_WaitForEvent(m_hEvent, nTimeoutMs);
    return result == PLAT_WAIT_SIGNALED || result == PLAT_WAIT_ABANDONED;
}

//-----------------------------------------------------------------------------
// RecursiveSpinMutex
//-----------------------------------------------------------------------------
RecursiveSpinMutex::RecursiveSpinMutex() : m_ownerId(0), m_nDepth(0)
{
    Plat_InitializeCriticalSection(&m_waiters, 4000);
}

RecursiveSpinMutex::~RecursiveSpinMutex()
{
    Plat_DeleteCriticalSection(&m_waiters);
}

uint32_t RecursiveSpinMutex::GetOwnerId() const
{
    return __atomic_load_n(&m_ownerId, __ATOMIC_RELAXED);
}

bool RecursiveSpinMutex::TryClaim(uint32_t threadId)
{
    uint32_t expected = 0;
    return __atomic_compare_exchange_n(&m_ownerId, &expected, threadId, false, __ATOMIC_ACQUIRE,
                                       __ATOMIC_RELAXED);
}

void RecursiveSpinMutex::Lock()
{
    uint32_t threadId = ThreadGetCurrentId();
    if (GetOwnerId() == threadId)
    {
        ++m_nDepth;
        return;
    }
    if (TryClaim(threadId))
    {
        ++m_nDepth;
        return;
    }
    ThreadPause();
    for (int i = 0; i < 1000; ++i)
    {
        if (TryClaim(threadId))
        {
            ++m_nDepth;
            return;
        }
        ThreadPause();
    }
    // Contended: queue on the critical section so waiters stop burning time.
    Plat_EnterCriticalSection(&m_waiters);
    while (!TryClaim(threadId))
        ThreadPause();
    ++m_nDepth;
    Plat_LeaveCriticalSection(&m_waiters);
}

bool RecursiveSpinMutex::TryLock()
{
    uint32_t threadId = ThreadGetCurrentId();
    if (GetOwnerId() == threadId || TryClaim(threadId))
    {
        ++m_nDepth;
        return true;
    }
    return false;
}

void RecursiveSpinMutex::Unlock()
{
    // An unlock without a lock would wrap the depth and never free the owner.
    if (!QAssertAt(m_nDepth > 0, "threadtools", __LINE__)) return;
    if (--m_nDepth == 0) __atomic_exchange_n(&m_ownerId, 0u, __ATOMIC_RELEASE);
}

//-----------------------------------------------------------------------------
// SpinRWLock
//-----------------------------------------------------------------------------
namespace
{
uint64_t PackLockInfo(uint32_t writerId, uint32_t nReaders)
{
    SpinRWLock::LockInfo_t info = {writerId, nReaders};
    uint64_t n;
    memcpy(&n, &info, sizeof(n));
    return n;
}

SpinRWLock::LockInfo_t UnpackLockInfo(uint64_t n)
{
    SpinRWLock::LockInfo_t info;
    memcpy(&info, &n, sizeof(info));
    return info;
}

inline uint64_t* LockWord(volatile SpinRWLock::LockInfo_t* pInfo)
{
    return (uint64_t*)pInfo;
}
} // namespace

static_assert(sizeof(SpinRWLock::LockInfo_t) == 8, "lock word is one 64-bit value");

SpinRWLock::SpinRWLock() : m_nWriters(0)
{
    m_lockInfo.m_writerId = 0;
    m_lockInfo.m_nReaders = 0;
}

uint32_t SpinRWLock::GetWriterId() const
{
    return UnpackLockInfo(__atomic_load_n(LockWord(const_cast<volatile LockInfo_t*>(&m_lockInfo)),
                                          __ATOMIC_RELAXED))
        .m_writerId;
}

uint32_t SpinRWLock::GetReaderCount() const
{
    return UnpackLockInfo(__atomic_load_n(LockWord(const_cast<volatile LockInfo_t*>(&m_lockInfo)),
                                          __ATOMIC_RELAXED))
        .m_nReaders;
}

uint32_t SpinRWLock::GetWritersWaiting() const
{
    return (uint32_t)__atomic_load_n(&m_nWriters, __ATOMIC_RELAXED);
}

bool SpinRWLock::TryReadOnce()
{
    uint64_t oldWord = __atomic_load_n(LockWord(&m_lockInfo), __ATOMIC_RELAXED);
    LockInfo_t info = UnpackLockInfo(oldWord);
    if (info.m_writerId != 0) return false;
    uint64_t expected = PackLockInfo(0, info.m_nReaders);
    return __atomic_compare_exchange_n(LockWord(&m_lockInfo), &expected,
                                       PackLockInfo(0, info.m_nReaders + 1), false,
                                       __ATOMIC_ACQUIRE, __ATOMIC_RELAXED);
}

bool SpinRWLock::TryWriteOnce(uint32_t threadId)
{
    uint64_t expected = PackLockInfo(0, 0);
    return __atomic_compare_exchange_n(LockWord(&m_lockInfo), &expected, PackLockInfo(threadId, 0),
                                       false, __ATOMIC_ACQUIRE, __ATOMIC_RELAXED);
}

void SpinRWLock::LockForRead()
{
    // A writer that wants the lock keeps new readers out.
    if (GetWritersWaiting() == 0 && TryReadOnce()) return;
    for (int i = 0; i < 1000; ++i)
    {
        ThreadPause();
        if (GetWritersWaiting() == 0 && TryReadOnce()) return;
    }
    for (int i = 0; i < 20000; ++i)
    {
        ThreadPause();
        ThreadSleep(0);
        if (GetWritersWaiting() == 0 && TryReadOnce()) return;
    }
    for (;;)
    {
        ThreadPause();
        ThreadSleep(1);
        if (GetWritersWaiting() == 0 && TryReadOnce()) return;
    }
}

bool SpinRWLock::TryLockForRead()
{
    return GetWritersWaiting() == 0 && TryReadOnce();
}

void SpinRWLock::UnlockRead()
{
    LockInfo_t info = UnpackLockInfo(__atomic_load_n(LockWord(&m_lockInfo), __ATOMIC_RELAXED));
    if (!(info.m_nReaders > 0 && info.m_writerId == 0))
    {
        // Not read-locked: leave the word alone rather than wrap the count.
        AssertFailed("threadtools", __LINE__,
                     "m_lockInfo.m_nReaders > 0 && m_lockInfo.m_writerId == 0");
        return;
    }

    auto tryRelease = [this]() -> bool
    {
        uint64_t oldWord = __atomic_load_n(LockWord(&m_lockInfo), __ATOMIC_RELAXED);
        LockInfo_t cur = UnpackLockInfo(oldWord);
        uint64_t expected = PackLockInfo(0, cur.m_nReaders);
        return __atomic_compare_exchange_n(LockWord(&m_lockInfo), &expected,
                                           PackLockInfo(0, cur.m_nReaders - 1), false,
                                           __ATOMIC_RELEASE, __ATOMIC_RELAXED);
    };

    if (tryRelease()) return;
    for (int i = 0; i < 500; ++i)
    {
        ThreadPause();
        if (tryRelease()) return;
    }
    for (int i = 0; i < 20000; ++i)
    {
        ThreadPause();
        ThreadSleep(0);
        if (tryRelease()) return;
    }
    for (;;)
    {
        ThreadPause();
        ThreadSleep(1);
        if (tryRelease()) return;
    }
}

void SpinRWLock::LockForWrite()
{
    __atomic_add_fetch(&m_nWriters, 1, __ATOMIC_ACQ_REL);
    uint32_t threadId = ThreadGetCurrentId();
    if (TryWriteOnce(threadId)) return;
    for (int i = 0; i < 1000; ++i)
    {
        ThreadPause();
        if (TryWriteOnce(threadId)) return;
    }
    for (int i = 0; i < 20000; ++i)
    {
        ThreadPause();
        ThreadSleep(0);
        if (TryWriteOnce(threadId)) return;
    }
    for (;;)
    {
        ThreadPause();
        ThreadSleep(1);
        if (TryWriteOnce(threadId)) return;
    }
}

bool SpinRWLock::TryLockForWrite()
{
    __atomic_add_fetch(&m_nWriters, 1, __ATOMIC_ACQ_REL);
    if (TryWriteOnce(ThreadGetCurrentId())) return true;
    __atomic_sub_fetch(&m_nWriters, 1, __ATOMIC_ACQ_REL);
    return false;
}

void SpinRWLock::UnlockWrite()
{
    LockInfo_t info = UnpackLockInfo(__atomic_load_n(LockWord(&m_lockInfo), __ATOMIC_RELAXED));
    if (!(info.m_writerId == ThreadGetCurrentId() && info.m_nReaders == 0))
    {
        // Not ours: clearing the word would release another thread's lock.
        AssertFailed("threadtools", __LINE__,
                     "m_lockInfo.m_writerId == ThreadGetCurrentId() && m_lockInfo.m_nReaders == 0");
        return;
    }
    __atomic_store_n(LockWord(&m_lockInfo), PackLockInfo(0, 0), __ATOMIC_RELEASE);
    __atomic_sub_fetch(&m_nWriters, 1, __ATOMIC_ACQ_REL);
}

//-----------------------------------------------------------------------------
// EventRWLock
//-----------------------------------------------------------------------------
EventRWLock::EventRWLock()
    : m_canWrite(false), m_canRead(true), m_nWriters(0), m_nActiveReaders(0), m_nPendingReaders(0)
{
}

void EventRWLock::LockForRead()
{
    m_mutex.Lock();
    if (m_nWriters > 0)
    {
        ++m_nPendingReaders;
        while (m_nWriters > 0)
        {
            m_mutex.Unlock();
            m_canRead.Wait(TT_INFINITE);
            m_mutex.Lock();
        }
        --m_nPendingReaders;
    }
    ++m_nActiveReaders;
    m_mutex.Unlock();
}

void EventRWLock::UnlockRead()
{
    m_mutex.Lock();
    --m_nActiveReaders;
    if (m_nActiveReaders == 0 && m_nWriters > 0) m_canWrite.Set();
    m_mutex.Unlock();
}

void EventRWLock::LockForWrite()
{
    m_mutex.Lock();
    bool bMustWait = m_nWriters > 0 || m_nActiveReaders > 0;
    ++m_nWriters;
    m_canRead.Reset();
    m_mutex.Unlock();
    if (bMustWait) m_canWrite.Wait(TT_INFINITE);
}

void EventRWLock::UnlockWrite()
{
    m_mutex.Lock();
    --m_nWriters;
    if (m_nWriters > 0)
        m_canWrite.Set();
    else if (m_nPendingReaders > 0)
        m_canRead.Set();
    m_mutex.Unlock();
}

//-----------------------------------------------------------------------------
// CThreadMutex
//-----------------------------------------------------------------------------
CThreadMutex::CThreadMutex()
{
    Plat_InitializeCriticalSection(&m_cs, 4000);
}

CThreadMutex::~CThreadMutex()
{
    Plat_DeleteCriticalSection(&m_cs);
}

void CThreadMutex::Lock()
{
    Plat_EnterCriticalSection(&m_cs);
}

void CThreadMutex::Unlock()
{
    Plat_LeaveCriticalSection(&m_cs);
}

bool CThreadMutex::TryLock()
{
    return Plat_TryEnterCriticalSection(&m_cs);
}
