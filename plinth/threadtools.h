// Threads and synchronisation: the worker thread object, events, spin and
// event based locks, thread-local slots, a lock-free stack and queue, thread
// identity and the millisecond clock.
//
// Everything here is safe to use from any thread. Misuse is reported through
// ReportAssertion with the source "threadtools" and the operation then does
// the safe thing; nothing throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "plinth/memalloc.h"
#include "plinth/platform/platform_sync.h"
#include "plinth/platform/platform_threadid.h"

#define TT_INFINITE 0xFFFFFFFFu
#define TT_STILL_ACTIVE 259

//-----------------------------------------------------------------------------
// Thread identity, priority, sleeping and the clock
//-----------------------------------------------------------------------------

// The calling thread's id (never 0).
uint32_t ThreadGetCurrentId();
// True when the thread with this id exists and has not exited; false when it
// cannot be opened.
bool IsThreadAlive(uint32_t threadId);
// Priority of a thread handle; a null handle means the calling thread.
int ThreadGetPriority(ThreadHandle_t hThread = nullptr);
bool ThreadSetPriority(ThreadHandle_t hThread, int priority);
void ThreadSleep(uint32_t nMilliseconds);
// One processor pause (spin-wait hint).
void ThreadPause();
// Names the calling thread for an attached debugger; does nothing without one.
void SetDebuggerThreadName(const char* pszName);
// Milliseconds since the clock's first use, from the high-resolution counter;
// never goes backwards (wraps after about 49 days).
uint32_t Plat_MSTime();

//-----------------------------------------------------------------------------
// CThread: base class of worker threads. Derived classes supply Body().
//-----------------------------------------------------------------------------
class CThread
{
public:
    CThread();
    virtual ~CThread();

    // Runs on the new thread before Launch returns; false makes Launch fail.
    virtual bool Prepare() { return true; }
    virtual int Body() = 0;
    // Runs on the thread after Body.
    virtual void AfterBody() {}
    // True while the thread handle exists and the thread has not exited.
    virtual bool IsRunning();
    // The start routine handed to the operating system.
    virtual ThreadProc_t GetThreadProc();

    // At most 31 characters are kept.
    void SetName(const char* pszName);
    const char* GetName() const { return m_szName; }

    // nStackSize 0 takes the default stack; otherwise it is a reservation size.
    bool Launch(uint32_t nStackSize = 0);
    // True when the thread has ended (or never started) and its handle is closed.
    bool WaitForExit(uint32_t nTimeoutMs = TT_INFINITE);

    ThreadHandle_t GetThreadHandle() const { return m_hThread; }
    uint32_t GetThreadId() const { return m_threadId; }
    // 0 before the first start, -1 while Body runs, then Body's value.
    int GetResult() const;

    // The CThread whose body the calling thread runs, or null.
    static CThread* GetCurrentCThread();

protected:
    static unsigned long THREADPROC_CALL ThreadProc(void* pvStartInfo);

    ThreadHandle_t m_hThread;
    uint32_t m_threadId;
    volatile int32_t m_result;
    char m_szName[32];
    bool m_bExitOnException;

private:
    CThread(const CThread&) = delete;
    CThread& operator=(const CThread&) = delete;
};

//-----------------------------------------------------------------------------
// ThreadEvent: a manual- or automatic-reset event.
//-----------------------------------------------------------------------------
class ThreadEvent
{
public:
    explicit ThreadEvent(bool bManualReset = false);
    // Wraps an existing handle without taking ownership.
    explicit ThreadEvent(EventHandle_t hEvent);
    ~ThreadEvent();

    bool Set();
    bool Reset();
    // True when the event was signalled (or abandoned) within the time-out.
    bool Wait(uint32_t nTimeoutMs = TT_INFINITE);

    EventHandle_t GetHandle() const { return m_hEvent; }

private:
    ThreadEvent(const ThreadEvent&) = delete;
    ThreadEvent& operator=(const ThreadEvent&) = delete;

    EventHandle_t m_hEvent;
    bool m_bOwnsHandle;
};

//-----------------------------------------------------------------------------
// RecursiveSpinMutex: spins on the owner id, then queues contended waiters on a
// critical section. Recursive; Unlock does not check the owner.
//-----------------------------------------------------------------------------
class RecursiveSpinMutex
{
public:
    RecursiveSpinMutex();
    ~RecursiveSpinMutex();

    void Lock();
    void Unlock();
    // Takes the mutex only if it is free or already ours.
    bool TryLock();

    uint32_t GetOwnerId() const;
    uint32_t GetDepth() const { return m_nDepth; }

private:
    RecursiveSpinMutex(const RecursiveSpinMutex&) = delete;
    RecursiveSpinMutex& operator=(const RecursiveSpinMutex&) = delete;

    bool TryClaim(uint32_t threadId);

    volatile uint32_t m_ownerId;
    uint32_t m_nDepth;
    PlatCriticalSection m_waiters;
};

//-----------------------------------------------------------------------------
// SpinRWLock: many readers or one writer, spinning then sleeping. A writer
// that wants the lock keeps new readers out (writer priority). Writers are not
// re-entrant; readers may nest only while no writer waits.
//-----------------------------------------------------------------------------
class SpinRWLock
{
public:
    SpinRWLock();

    void LockForRead();
    void UnlockRead();
    void LockForWrite();
    void UnlockWrite();

    bool TryLockForRead();
    bool TryLockForWrite();

    uint32_t GetWriterId() const;
    uint32_t GetReaderCount() const;
    uint32_t GetWritersWaiting() const;

    struct LockInfo_t
    {
        uint32_t m_writerId;
        uint32_t m_nReaders;
    };

private:
    SpinRWLock(const SpinRWLock&) = delete;
    SpinRWLock& operator=(const SpinRWLock&) = delete;

    bool TryReadOnce();
    bool TryWriteOnce(uint32_t threadId);

    alignas(8) volatile LockInfo_t m_lockInfo;
    volatile int32_t m_nWriters;
};

//-----------------------------------------------------------------------------
// EventRWLock: many readers or one writer; waiters block on events instead of
// spinning. Writers have priority over readers that have not yet entered.
//-----------------------------------------------------------------------------
class EventRWLock
{
public:
    EventRWLock();

    void LockForRead();
    void UnlockRead();
    void LockForWrite();
    void UnlockWrite();

private:
    EventRWLock(const EventRWLock&) = delete;
    EventRWLock& operator=(const EventRWLock&) = delete;

    RecursiveSpinMutex m_mutex;
    ThreadEvent m_canWrite; // automatic reset
    ThreadEvent m_canRead;  // manual reset
    int32_t m_nWriters;     // active and waiting
    int32_t m_nActiveReaders;
    int32_t m_nPendingReaders;
};

//-----------------------------------------------------------------------------
// CThreadMutex: a plain recursive mutex over a critical section.
//-----------------------------------------------------------------------------
class CThreadMutex
{
public:
    CThreadMutex();
    ~CThreadMutex();
    void Lock();
    void Unlock();
    bool TryLock();

private:
    CThreadMutex(const CThreadMutex&) = delete;
    CThreadMutex& operator=(const CThreadMutex&) = delete;

    PlatCriticalSection m_cs;
};

// Scoped holders for the locks above.
template <class LOCK> class CAutoLockT
{
public:
    explicit CAutoLockT(LOCK& lock) : m_lock(lock) { m_lock.Lock(); }
    ~CAutoLockT() { m_lock.Unlock(); }

private:
    CAutoLockT(const CAutoLockT&) = delete;
    CAutoLockT& operator=(const CAutoLockT&) = delete;
    LOCK& m_lock;
};

template <class RWLOCK> class CReadLockT
{
public:
    explicit CReadLockT(RWLOCK& lock) : m_lock(lock) { m_lock.LockForRead(); }
    ~CReadLockT() { m_lock.UnlockRead(); }

private:
    CReadLockT(const CReadLockT&) = delete;
    CReadLockT& operator=(const CReadLockT&) = delete;
    RWLOCK& m_lock;
};

template <class RWLOCK> class CWriteLockT
{
public:
    explicit CWriteLockT(RWLOCK& lock) : m_lock(lock) { m_lock.LockForWrite(); }
    ~CWriteLockT() { m_lock.UnlockWrite(); }

private:
    CWriteLockT(const CWriteLockT&) = delete;
    CWriteLockT& operator=(const CWriteLockT&) = delete;
    RWLOCK& m_lock;
};

//-----------------------------------------------------------------------------
// ThreadLocalSlot: one thread-local storage index per object. Running out of
// indices ends the process.
//-----------------------------------------------------------------------------
class ThreadLocalSlot
{
public:
    ThreadLocalSlot();
    ~ThreadLocalSlot();

    void* Get() const;
    void Set(void* pValue);
    bool IsValid() const { return m_index != kInvalidIndex; }

private:
    ThreadLocalSlot(const ThreadLocalSlot&) = delete;
    ThreadLocalSlot& operator=(const ThreadLocalSlot&) = delete;

    static const uint32_t kInvalidIndex = 0xFFFFFFFFu;
    uint32_t m_index;
};

// Typed convenience over ThreadLocalSlot (pointers and small integers).
template <class T> class CThreadLocal
{
public:
    T Get() const { return (T)(intptr_t)m_slot.Get(); }
    void Set(T value) { m_slot.Set((void*)(intptr_t)value); }

private:
    ThreadLocalSlot m_slot;
};

//-----------------------------------------------------------------------------
// CTSListBase: lock-free stack of caller-owned nodes.
//
// The head is a {node pointer, word} pair changed by one double-width
// compare-and-exchange: 8 bytes on 32-bit builds, 16 bytes on 64-bit builds
// (where the pointer alone is 8). The word's low 16 bits count the nodes and
// its high 16 bits are a sequence bumped by every push, so a node popped and
// pushed back between a read and the exchange makes the exchange fail.
//-----------------------------------------------------------------------------
struct TSLNodeBase_t
{
    TSLNodeBase_t* volatile Next;
};

#if UINTPTR_MAX > 0xFFFFFFFFu
#define TSL_HEAD_ALIGN 16
#else
#define TSL_HEAD_ALIGN 8
#endif

struct alignas(TSL_HEAD_ALIGN) TSLHead_t
{
    TSLNodeBase_t* Next;
    uint32_t DepthSequence; // low 16: depth, high 16: sequence
#if UINTPTR_MAX > 0xFFFFFFFFu
    uint32_t Padding;
#endif
};

class CTSListBase
{
public:
    CTSListBase();
    ~CTSListBase() {}

    // Puts the head in its empty state; a misaligned head is a fatal error.
    void Init();
    void Push(TSLNodeBase_t* pNode);
    // Null when the list is empty.
    TSLNodeBase_t* Pop();
    // Removes every node at once and returns the former top (a linked chain).
    TSLNodeBase_t* Detach();

    uint32_t Count() const;
    TSLHead_t GetHead() const;

private:
    CTSListBase(const CTSListBase&) = delete;
    CTSListBase& operator=(const CTSListBase&) = delete;

    TSLHead_t m_Head;
};

//-----------------------------------------------------------------------------
// LockFreeQueue: lock-free FIFO of fixed-size elements held in caller nodes.
//
// Head and tail are {node pointer, counter} pairs (double-width as above). The
// chain ends with the address of m_Tail rather than null, so an empty queue is
// one dummy node whose Next is that address. Dequeued nodes go onto the
// queue's free-node list (FreeNodes()) for reuse by later enqueues.
//-----------------------------------------------------------------------------
struct LFQNode_t
{
    LFQNode_t* volatile Next;
    // element bytes follow, starting at ElementOf(node)
};

struct alignas(TSL_HEAD_ALIGN) LFQEnd_t
{
    LFQNode_t* pNode;
    uintptr_t nCounter;
};

class LockFreeQueue
{
public:
    LockFreeQueue();

    // Element storage starts this many bytes into a node.
    static size_t ElementOffset() { return sizeof(void*); }
    static void* ElementOf(LFQNode_t* pNode) { return (char*)pNode + ElementOffset(); }

    // Starts the queue with a dummy node (no element).
    void Init(LFQNode_t* pDummy);
    // The node's element must already be filled in (see StoreElement).
    void Enqueue(LFQNode_t* pNode);
    // Copies the front element into pBuffer (nElementSize bytes). Returns null
    // when the queue is empty; otherwise the node given up, which has already
    // been pushed onto FreeNodes() and must not be touched by the caller.
    LFQNode_t* Dequeue(void* pBuffer, size_t nElementSize);

    CTSListBase& FreeNodes() { return m_FreeNodes; }
    // The current dummy node (the one before the first element).
    LFQNode_t* HeadNode() const { return m_Head.pNode; }
    bool IsEmpty() const;

    // Writes an element into a node the way Dequeue reads it back (word by
    // word with atomic stores), so a stale reader never sees a torn word.
    static void StoreElement(LFQNode_t* pNode, const void* pElement, size_t nElementSize);

private:
    LockFreeQueue(const LockFreeQueue&) = delete;
    LockFreeQueue& operator=(const LockFreeQueue&) = delete;

    LFQNode_t* EndMarker() { return (LFQNode_t*)&m_Tail; }

    LFQEnd_t m_Head;
    LFQEnd_t m_Tail;
    CTSListBase m_FreeNodes;
};

// Typed queue over LockFreeQueue: allocates nodes on demand from the process
// allocator and recycles dequeued ones. T must be trivially copyable.
template <class T> class CTSQueue
{
    static_assert(std::is_trivially_copyable<T>::value, "CTSQueue copies elements bytewise");

public:
    CTSQueue() : m_nCount(0) { m_queue.Init(NewNode()); }
    ~CTSQueue()
    {
        T item;
        while (PopItem(&item))
        {
        }
        MemAlloc_FreeTagged(m_queue.HeadNode(), __FILE__, __LINE__);
        while (TSLNodeBase_t* pNode = m_queue.FreeNodes().Pop())
            MemAlloc_FreeTagged(pNode, __FILE__, __LINE__);
    }

    void PushItem(const T& item)
    {
        LFQNode_t* pNode = (LFQNode_t*)m_queue.FreeNodes().Pop();
        if (!pNode) pNode = NewNode();
        LockFreeQueue::StoreElement(pNode, &item, sizeof(T));
        m_queue.Enqueue(pNode);
        __atomic_add_fetch(&m_nCount, 1, __ATOMIC_RELAXED);
    }

    bool PopItem(T* pItem)
    {
        if (!m_queue.Dequeue(pItem, sizeof(T))) return false;
        __atomic_sub_fetch(&m_nCount, 1, __ATOMIC_RELAXED);
        return true;
    }

    int Count() const { return __atomic_load_n(&m_nCount, __ATOMIC_RELAXED); }

private:
    CTSQueue(const CTSQueue&) = delete;
    CTSQueue& operator=(const CTSQueue&) = delete;

    static LFQNode_t* NewNode()
    {
        size_t nBytes = LockFreeQueue::ElementOffset() + ((sizeof(T) + 3) & ~(size_t)3);
        LFQNode_t* pNode = (LFQNode_t*)MemAlloc_AllocTagged(nBytes, __FILE__, __LINE__);
        pNode->Next = nullptr;
        return pNode;
    }

    LockFreeQueue m_queue;
    int m_nCount;
};
