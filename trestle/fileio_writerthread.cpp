// The background writer thread of asynchronous CFileWriters: one per process,
// created on first use, running only while there is something to write.
#include "trestle/fileio.h"

#include <atomic>
#include <cstring>
#include <new>

#include "plinth/dbg.h"
#include "plinth/memalloc.h"
#include "plinth/platform/platform_process.h"
#include "plinth/threadtools.h"
#include "trestle/fileio_internal.h"
#include "trestle/strtools.h"
#include "trestle/utlbuffer.h"
#include "trestle/utlvector.h"

static const uint32_t k_cubWriterThreadStack = 40960;

struct FileWriterItem_t
{
    CFileWriter* m_pWriter;
    char* m_pchTargetFile; // null: append to the writer's open file
    bool m_bFlush;
    CUtlBuffer m_buf;
};

class CFileWriterThread : public CThread
{
public:
    CFileWriterThread();
    ~CFileWriterThread() override;

    int Body() override;

    void RegisterWriter(CFileWriter* pFile);
    void UnregisterWriter(CFileWriter* pFile);
    bool IsRegistered(CFileWriter* pFile);
    bool QueueWrite(CFileWriter* pFile, const void* pvData, uint32_t cubData,
                    const char* pchTargetFile, bool bFlush);
    void EnsureRunning();
    bool IsBodyRunning();
    void StopWhenIdle();
    // Process exit: ends the thread after the item in hand.
    void Shutdown();

private:
    void ProcessItem(FileWriterItem_t* pItem);
    static bool WriteThroughTemporaryFile(const char* pchTarget, const void* pvData,
                                          uint32_t cubData, bool bFlush);
    static void FreeItem(FileWriterItem_t* pItem);

    CTSQueue<FileWriterItem_t*> m_queueItemsPending;
    ThreadEvent m_eventWakeUp;
    CUtlVector<CFileWriter*> m_vecRegisteredWriters;
    CThreadMutex m_csRegisteredWriters; // also guards m_bRunning
    CThreadMutex m_mutexLaunch;
    std::atomic<bool> m_bExit;
    std::atomic<bool> m_bStopWhenIdle;
    bool m_bRunning;
};

CFileWriterThread::CFileWriterThread()
    : m_eventWakeUp(false), m_bExit(false), m_bStopWhenIdle(false), m_bRunning(false)
{
    SetName("CFileWriterThread");
}

CFileWriterThread::~CFileWriterThread()
{
    if (m_queueItemsPending.Count() != 0)
        AssertFailed(FILEIO_SOURCE, __LINE__, "m_queueItemsPending.Count() == 0");
    {
        CAutoLockT<CThreadMutex> lock(m_csRegisteredWriters);
        for (int i = 0; i < m_vecRegisteredWriters.Count(); ++i)
            AssertMsgFailed(false, FILEIO_SOURCE, __LINE__,
                            "CFileWriterThread: pending file writer %s",
                            m_vecRegisteredWriters[i]->GetFileName());
    }
    FileWriterItem_t* pItem = nullptr;
    while (m_queueItemsPending.PopItem(&pItem))
        FreeItem(pItem);
}

void CFileWriterThread::FreeItem(FileWriterItem_t* pItem)
{
    if (pItem->m_pchTargetFile)
        MemAlloc_FreeTagged(pItem->m_pchTargetFile, FILEIO_SOURCE, __LINE__);
    pItem->~FileWriterItem_t();
    MemAlloc_FreeTagged(pItem, FILEIO_SOURCE, __LINE__);
}

void CFileWriterThread::RegisterWriter(CFileWriter* pFile)
{
    if (!pFile || m_bExit.load())
    {
        AssertFailed(FILEIO_SOURCE, __LINE__, "pFile && !m_bExit");
        return;
    }
    CAutoLockT<CThreadMutex> lock(m_csRegisteredWriters);
    if (!m_vecRegisteredWriters.HasElement(pFile)) m_vecRegisteredWriters.AddToTail(pFile);
}

void CFileWriterThread::UnregisterWriter(CFileWriter* pFile)
{
    bool bNoneLeft;
    {
        CAutoLockT<CThreadMutex> lock(m_csRegisteredWriters);
        if (!m_vecRegisteredWriters.FindAndRemove(pFile)) return;
        bNoneLeft = m_vecRegisteredWriters.Count() == 0;
    }
    // Lets an idle thread see that it can end.
    if (bNoneLeft) m_eventWakeUp.Set();
}

bool CFileWriterThread::IsRegistered(CFileWriter* pFile)
{
    CAutoLockT<CThreadMutex> lock(m_csRegisteredWriters);
    return m_vecRegisteredWriters.HasElement(pFile);
}

bool CFileWriterThread::QueueWrite(CFileWriter* pFile, const void* pvData, uint32_t cubData,
                                   const char* pchTargetFile, bool bFlush)
{
    if (cubData >= FIO_MAX_IO_BYTES)
    {
        AssertFailed(FILEIO_SOURCE, __LINE__, "cubData < FIO_MAX_IO_BYTES");
        return false;
    }

    FileWriterItem_t* pItem = static_cast<FileWriterItem_t*>(
        MemAlloc_AllocTagged(sizeof(FileWriterItem_t), FILEIO_SOURCE, __LINE__));
    new (pItem) FileWriterItem_t{pFile, nullptr, bFlush, CUtlBuffer(0, 0, 0)};
    if (pchTargetFile)
    {
        const size_t cchTarget = strlen(pchTargetFile) + 1;
        pItem->m_pchTargetFile =
            static_cast<char*>(MemAlloc_AllocTagged(cchTarget, FILEIO_SOURCE, __LINE__));
        memcpy(pItem->m_pchTargetFile, pchTargetFile, cchTarget);
    }
    pItem->m_buf.EnsureCapacity(static_cast<int>(cubData));
    pItem->m_buf.Put(pvData, static_cast<int>(cubData));

    {
        CAutoLockT<CThreadMutex> lock(m_csRegisteredWriters);
        // A whole-file write keeps its writer registered until it is done;
        // the thread may just have unregistered it after an earlier one.
        if (pchTargetFile && !m_bExit.load() && !m_vecRegisteredWriters.HasElement(pFile))
            m_vecRegisteredWriters.AddToTail(pFile);
        if (!m_vecRegisteredWriters.HasElement(pFile))
        {
            AssertFailed(FILEIO_SOURCE, __LINE__, "m_vecRegisteredWriters.HasElement( pFile )");
            FreeItem(pItem);
            return false;
        }
        pFile->m_cubOutstanding += static_cast<int32_t>(cubData);
        m_queueItemsPending.PushItem(pItem);
    }
    m_eventWakeUp.Set();
    EnsureRunning();
    return true;
}

void CFileWriterThread::EnsureRunning()
{
    if (m_bExit.load()) return;
    CAutoLockT<CThreadMutex> lockLaunch(m_mutexLaunch);
    {
        CAutoLockT<CThreadMutex> lock(m_csRegisteredWriters);
        if (m_bRunning) return;
        m_bRunning = true;
    }
    // A previous run may still be on its way out.
    WaitForExit();
    if (!Launch(k_cubWriterThreadStack))
    {
        CAutoLockT<CThreadMutex> lock(m_csRegisteredWriters);
        m_bRunning = false;
    }
}

bool CFileWriterThread::IsBodyRunning()
{
    CAutoLockT<CThreadMutex> lock(m_csRegisteredWriters);
    return m_bRunning;
}

void CFileWriterThread::StopWhenIdle()
{
    m_bStopWhenIdle = true;
    m_eventWakeUp.Set();
}

void CFileWriterThread::Shutdown()
{
    m_bExit = true;
    // Always woken: an idle thread would otherwise never see the exit flag
    // and the join below would not return.
    m_eventWakeUp.Set();
    CAutoLockT<CThreadMutex> lockLaunch(m_mutexLaunch);
    WaitForExit();
}

int CFileWriterThread::Body()
{
    while (!m_bExit.load())
    {
        FileWriterItem_t* pItem = nullptr;
        if (m_queueItemsPending.PopItem(&pItem))
        {
            ProcessItem(pItem);
            continue;
        }
        {
            // Items are queued under this lock, so an empty queue seen here
            // stays empty until a queueing call that also wakes us or, once
            // m_bRunning is false, launches a new run.
            CAutoLockT<CThreadMutex> lock(m_csRegisteredWriters);
            if (m_queueItemsPending.Count() == 0 &&
                (m_vecRegisteredWriters.Count() == 0 || m_bStopWhenIdle.load()))
            {
                m_bStopWhenIdle = false;
                m_bRunning = false;
                return 0;
            }
        }
        m_eventWakeUp.Wait(TT_INFINITE);
    }
    CAutoLockT<CThreadMutex> lock(m_csRegisteredWriters);
    m_bRunning = false;
    return 0;
}

void CFileWriterThread::ProcessItem(FileWriterItem_t* pItem)
{
    CFileWriter* pWriter = pItem->m_pWriter;
    const uint32_t cubData = static_cast<uint32_t>(pItem->m_buf.TellPut());

    if (pWriter->m_hFile != PLAT_INVALID_FILE)
    {
        uint64_t cubWritten = 0;
        const uint32_t unError =
            WriteFileHandle(pWriter->m_hFile, pItem->m_buf.Base(), cubData, &cubWritten);
        if (unError != 0 || cubWritten != cubData) pWriter->m_bFailed = true;
    }
    else if (pItem->m_pchTargetFile)
    {
        if (!WriteThroughTemporaryFile(pItem->m_pchTargetFile, pItem->m_buf.Base(), cubData,
                                       pItem->m_bFlush))
            pWriter->m_bFailed = true;
        UnregisterWriter(pWriter);
    }
    else
    {
        // The writer was closed with bytes still queued: they are lost.
        pWriter->m_bFailed = true;
    }

    // Last touch of the writer: once its count reaches 0 its owner may go on.
    pWriter->m_cubOutstanding -= static_cast<int32_t>(cubData);
    FreeItem(pItem);
}

bool CFileWriterThread::WriteThroughTemporaryFile(const char* pchTarget, const void* pvData,
                                                  uint32_t cubData, bool bFlush)
{
    CPathString target(pchTarget);
    const char* pchFull = target.GetUTF8Path();
    const int cchTemp = static_cast<int>(strlen(pchFull)) + 32;
    char* pchTemp = static_cast<char*>(MemAlloc_AllocTagged(cchTemp, FILEIO_SOURCE, __LINE__));
    V_BoundedFormat(pchTemp, cchTemp, "%s.async%u.tmp", pchFull, Plat_GetCurrentProcessId());

    char* pchDirectory = static_cast<char*>(MemAlloc_AllocTagged(cchTemp, FILEIO_SOURCE, __LINE__));
    V_BoundedCopy(pchDirectory, pchTemp, cchTemp);
    V_TruncateAtLastSlash(pchDirectory);
    if (pchDirectory[0]) CreateDirectories(pchDirectory);
    MemAlloc_FreeTagged(pchDirectory, FILEIO_SOURCE, __LINE__);

    bool bOk = false;
    PlatFileHandle hFile = PLAT_INVALID_FILE;
    if (OpenFileHandle(pchTemp, PLAT_FILE_ACCESS_WRITE, PLAT_FILE_SHARE_READ,
                       PLAT_FILE_CREATE_ALWAYS, 0, &hFile) == 0)
    {
        uint64_t cubWritten = 0;
        bOk = WriteFileHandle(hFile, pvData, cubData, &cubWritten) == 0 && cubWritten == cubData;
        if (bOk && bFlush) bOk = FlushFileHandle(hFile) == 0;
        CloseFileHandle(hFile);
        if (bOk) bOk = BMoveFileReplace(pchTemp, pchFull);
        // Never leave a half-made temporary file behind.
        if (!bOk) BDeleteFile(pchTemp);
    }
    MemAlloc_FreeTagged(pchTemp, FILEIO_SOURCE, __LINE__);
    return bOk;
}

// ---------------------------------------------------------------------------
// The process's one instance
// ---------------------------------------------------------------------------

static std::atomic<CFileWriterThread*> g_pFileWriterThread(nullptr);
static std::atomic<bool> g_bFileWriterThreadShutDown(false);

namespace
{
// Owns the thread: made on first use, so it is destroyed at process exit
// before the runtime objects that existed earlier (the thread-local slots the
// thread uses). Writers destroyed later find the thread gone and no longer
// wait for it.
struct CFileWriterThreadOwner
{
    CFileWriterThreadOwner()
    {
        void* pMem = MemAlloc_AllocTagged(sizeof(CFileWriterThread), FILEIO_SOURCE, __LINE__);
        m_pThread = new (pMem) CFileWriterThread();
        g_pFileWriterThread = m_pThread;
    }
    ~CFileWriterThreadOwner()
    {
        g_pFileWriterThread = nullptr;
        g_bFileWriterThreadShutDown = true;
        m_pThread->Shutdown();
        m_pThread->~CFileWriterThread();
        MemAlloc_FreeTagged(m_pThread, FILEIO_SOURCE, __LINE__);
    }
    CFileWriterThread* m_pThread;
};
} // namespace

static CFileWriterThread* FileWriterThread()
{
    if (g_bFileWriterThreadShutDown.load()) return nullptr;
    static CFileWriterThreadOwner s_owner;
    return s_owner.m_pThread;
}

void FileWriterThread_RegisterWriter(CFileWriter* pWriter)
{
    if (CFileWriterThread* pThread = FileWriterThread()) pThread->RegisterWriter(pWriter);
}

void FileWriterThread_UnregisterWriter(CFileWriter* pWriter)
{
    if (CFileWriterThread* pThread = FileWriterThread()) pThread->UnregisterWriter(pWriter);
}

bool FileWriterThread_IsRegistered(CFileWriter* pWriter)
{
    CFileWriterThread* pThread = FileWriterThread();
    return pThread && pThread->IsRegistered(pWriter);
}

bool FileWriterThread_QueueWrite(CFileWriter* pWriter, const void* pvData, uint32_t cubData,
                                 const char* pchTargetFile, bool bFlush)
{
    CFileWriterThread* pThread = FileWriterThread();
    return pThread && pThread->QueueWrite(pWriter, pvData, cubData, pchTargetFile, bFlush);
}

void FileWriterThread_EnsureRunning()
{
    if (CFileWriterThread* pThread = FileWriterThread()) pThread->EnsureRunning();
}

bool FileWriterThread_IsAvailable()
{
    return !g_bFileWriterThreadShutDown.load();
}

bool FileWriterThread_IsRunning()
{
    CFileWriterThread* pThread = g_pFileWriterThread.load();
    return pThread && pThread->IsBodyRunning();
}

void FileWriterThread_StopWhenIdle()
{
    if (CFileWriterThread* pThread = g_pFileWriterThread.load()) pThread->StopWhenIdle();
}
