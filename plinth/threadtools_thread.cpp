// CThread: launch handshake, body, exit and destruction of worker threads.
#include "plinth/threadtools.h"

#include "plinth/dbg.h"
#include "plinth/dumpguard.h"

#include <cstdio>
#include <new>

namespace
{
// The CThread each thread runs, created at load, freed at exit.
ThreadLocalSlot g_currentThreadSlot;

// Names the loading thread for an attached debugger.
struct MainThreadNamer_t
{
    MainThreadNamer_t() { SetDebuggerThreadName("MainThrd"); }
} g_mainThreadNamer;

// Shared by Launch and the new thread; whichever lets go last frees it, so a
// Launch that gave up waiting leaves nothing dangling for a late thread.
struct ThreadStartInfo_t
{
    CThread* pThread;
    ThreadEvent* pStartEvent;
    bool bInitSuccess;
    int32_t nRefs;
};

void ReleaseStartInfo(ThreadStartInfo_t* pInfo)
{
    if (__atomic_sub_fetch(&pInfo->nRefs, 1, __ATOMIC_ACQ_REL) != 0) return;
    pInfo->pStartEvent->~ThreadEvent();
    MemAlloc_FreeTagged(pInfo->pStartEvent, __FILE__, __LINE__);
    MemAlloc_FreeTagged(pInfo, __FILE__, __LINE__);
}

void CopyName(char* pszDest, const char* pszSrc, size_t nDestSize)
{
    size_t i = 0;
    if (pszSrc)
    {
        for (; i + 1 < nDestSize && pszSrc[i]; ++i)
            pszDest[i] = pszSrc[i];
    }
    pszDest[i] = '\0';
}
} // namespace

CThread::CThread() : m_hThread(nullptr), m_threadId(0), m_result(0), m_bExitOnException(false)
{
    m_szName[0] = '\0';
}

CThread::~CThread()
{
    if (!m_hThread) return;

    for (int i = 0; i < 50 && GetResult() == -1; ++i)
        ThreadSleep(20);

    bool bStillRunning = GetResult() == -1;
    if (bStillRunning)
    {
        if (!m_szName[0])
            snprintf(m_szName, sizeof(m_szName), "Thread(0x%p/0x%p/0x%x)", (void*)this, m_hThread,
                     (unsigned)m_threadId);
        AssertMsgFailed(false, "threadtools", __LINE__, "Illegal termination of worker thread '%s'",
                        m_szName);
    }

    bool bOnSelf = m_threadId == ThreadGetCurrentId();
    if (bOnSelf)
    {
        AssertMsgFailed(false, "threadtools", __LINE__,
                        "Deleting thread object from the thread, this is bad");
        // Tells the thread procedure the object is gone.
        if (GetCurrentCThread() == this) g_currentThreadSlot.Set(nullptr);
    }

    // Also when the body has returned: AfterBody still runs on this object.
    if (!bOnSelf) WaitForExit(TT_INFINITE);

    if (m_hThread)
    {
        Plat_CloseThread(m_hThread);
        m_hThread = nullptr;
        m_threadId = 0;
    }
}

bool CThread::IsRunning()
{
    uint32_t exitCode = 0;
    return m_hThread && Plat_GetThreadExitCode(m_hThread, &exitCode) &&
           exitCode == PLAT_THREAD_STILL_ACTIVE;
}

ThreadProc_t CThread::GetThreadProc()
{
    return &CThread::ThreadProc;
}

void CThread::SetName(const char* pszName)
{
    CopyName(m_szName, pszName, sizeof(m_szName));
}

int CThread::GetResult() const
{
    return __atomic_load_n(&m_result, __ATOMIC_ACQUIRE);
}

CThread* CThread::GetCurrentCThread()
{
    return (CThread*)g_currentThreadSlot.Get();
}

bool CThread::Launch(uint32_t nStackSize)
{
    if (m_hThread)
    {
        if (IsRunning())
        {
            AssertMsgFailed(false, "threadtools", __LINE__,
                            "Tried to create a thread that has already been created!");
            return false;
        }
        // A finished thread that was never waited for: drop its handle.
        Plat_CloseThread(m_hThread);
        m_hThread = nullptr;
        m_threadId = 0;
    }

    ThreadStartInfo_t* pInfo =
        (ThreadStartInfo_t*)MemAlloc_AllocTagged(sizeof(ThreadStartInfo_t), __FILE__, __LINE__);
    void* pvEvent = MemAlloc_AllocTagged(sizeof(ThreadEvent), __FILE__, __LINE__);
    pInfo->pThread = this;
    pInfo->pStartEvent = new (pvEvent) ThreadEvent(false);
    pInfo->bInitSuccess = false;
    pInfo->nRefs = 2;

    if (!Plat_CreateThread(nStackSize, GetThreadProc(), pInfo, &m_hThread, &m_threadId))
    {
        AssertMsgFailed(false, "threadtools", __LINE__, "Failed to create thread (error 0x%x)",
                        (unsigned)Plat_GetLastError());
        m_threadId = 0;
        pInfo->nRefs = 1;
        ReleaseStartInfo(pInfo);
        return false;
    }

    bool bWaited = pInfo->pStartEvent->Wait(60000);
    if (!bWaited)
        AssertMsgFailed(false, "threadtools", __LINE__,
                        "Probably deadlock or failure waiting for thread to initialize.");

    bool bResult;
    if (bWaited && __atomic_load_n(&pInfo->bInitSuccess, __ATOMIC_ACQUIRE))
    {
        if (!m_hThread)
        {
            SpewMessage("Thread exited immediately\n");
            bResult = false;
        }
        else
        {
            bResult = true;
        }
    }
    else
    {
        SpewMessage("Thread failed to initialize\n");
        Plat_CloseThread(m_hThread);
        m_hThread = nullptr;
        m_threadId = 0;
        bResult = false;
    }

    ReleaseStartInfo(pInfo);
    return bResult;
}

namespace
{
struct BodyCall_t
{
    CThread* pThread;
    int nResult;
};
} // namespace

// Reaches the protected Body() through the dump wrapper's one-pointer call.
class CThreadBodyAccess
{
public:
    static void RunBody(void* pv)
    {
        BodyCall_t* pCall = (BodyCall_t*)pv;
        pCall->nResult = pCall->pThread->Body();
    }
};

unsigned long THREADPROC_CALL CThread::ThreadProc(void* pvStartInfo)
{
    ThreadStartInfo_t* pInfo = (ThreadStartInfo_t*)pvStartInfo;
    CThread* pThread = pInfo->pThread;

    if (pThread->m_szName[0]) SetDebuggerThreadName(pThread->m_szName);

    g_currentThreadSlot.Set(pThread);

    __atomic_store_n(&pThread->m_result, -1, __ATOMIC_RELEASE);
    __atomic_store_n(&pInfo->bInitSuccess, false, __ATOMIC_RELAXED);
    bool bInitOk = pThread->Prepare();
    __atomic_store_n(&pInfo->bInitSuccess, bInitOk, __ATOMIC_RELEASE);
    pInfo->pStartEvent->Set();

    if (!bInitOk)
    {
        g_currentThreadSlot.Set(nullptr);
        ReleaseStartInfo(pInfo);
        return 0;
    }

    BodyCall_t call = {pThread, 0};
    void* pvCall = &call;
    CatchAndWriteContext_t context;
    context.Set(&CThreadBodyAccess::RunBody, &pvCall, pThread->m_bExitOnException);
    // A body that deleted its own object leaves nothing to store into; one
    // deleted by AfterBody is not read again either.
    if (g_currentThreadSlot.Get() == pThread)
    {
        __atomic_store_n(&pThread->m_result, call.nResult, __ATOMIC_RELEASE);
        pThread->AfterBody();
        g_currentThreadSlot.Set(nullptr);
    }
    ReleaseStartInfo(pInfo);
    return (unsigned long)(uint32_t)call.nResult;
}

bool CThread::WaitForExit(uint32_t nTimeoutMs)
{
    if (!m_hThread) return true;

    if (m_threadId == ThreadGetCurrentId())
    {
        AssertMsgFailed(false, "threadtools", __LINE__, "Thread cannot be joined with self");
        return false;
    }

    PlatWaitResult result = Plat_WaitForThread(m_hThread, nTimeoutMs);
    if (result == PLAT_WAIT_TIMEOUT) return false;
    if (result == PLAT_WAIT_SIGNALED || result == PLAT_WAIT_FAILED)
    {
        Plat_CloseThread(m_hThread);
        m_hThread = nullptr;
        m_threadId = 0;
        return true;
    }
    if (Plat_GetLastError() != 0) AssertFailed("threadtools", __LINE__, "0");
    return false;
}
