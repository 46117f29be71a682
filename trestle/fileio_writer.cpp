// File writer: direct writes, or queued to the background writer thread.
#include "trestle/fileio.h"

#include <cstring>

#include "plinth/dbg.h"
#include "plinth/memalloc.h"
#include "plinth/threadtools.h"
#include "trestle/fileio_internal.h"
#include "trestle/strtools.h"

CFileWriter::CFileWriter(bool bAsync)
    : m_hFile(PLAT_INVALID_FILE), m_cubWritten(0), m_cubOutstanding(0), m_bAsync(bAsync),
      m_bFailed(false)
{
    m_szFileName[0] = 0;
}

CFileWriter::~CFileWriter()
{
    Close();
}

bool CFileWriter::Open(const char* pchPath, bool bAppend)
{
    CPathString path(pchPath);
    const char* pchFull = path.GetUTF8Path();

    const size_t cchFull = strlen(pchFull);
    char* pchDirectory =
        static_cast<char*>(MemAlloc_AllocTagged(cchFull + 1, FILEIO_SOURCE, __LINE__));
    memcpy(pchDirectory, pchFull, cchFull + 1);
    V_TruncateAtLastSlash(pchDirectory);
    if (pchDirectory[0]) CreateDirectories(pchDirectory);
    MemAlloc_FreeTagged(pchDirectory, FILEIO_SOURCE, __LINE__);

    // The previous file (if any) is finished before the new one starts.
    Close();
    V_BoundedCopy(m_szFileName, V_FileNamePart(pchFull), sizeof(m_szFileName));
    m_cubWritten = 0;
    m_cubOutstanding = 0;
    m_bFailed = false;

    if (bAppend)
    {
        if (OpenFileHandle(pchFull, PLAT_FILE_ACCESS_WRITE, PLAT_FILE_SHARE_READ,
                           PLAT_FILE_OPEN_EXISTING, 0, &m_hFile) == 0)
        {
            uint64_t ulEnd = 0;
            if (SeekFileHandle(m_hFile, 0, 2, &ulEnd) != 0)
            {
                CloseFileHandle(m_hFile);
                m_hFile = PLAT_INVALID_FILE;
                return false;
            }
            m_cubWritten = ulEnd;
        }
    }
    if (!IsOpen())
    {
        if (OpenFileHandle(pchFull, PLAT_FILE_ACCESS_WRITE, PLAT_FILE_SHARE_READ,
                           PLAT_FILE_CREATE_ALWAYS, 0, &m_hFile) != 0)
            m_hFile = PLAT_INVALID_FILE;
    }

    if (IsOpen() && m_bAsync) FileWriterThread_RegisterWriter(this);
    return IsOpen();
}

bool CFileWriter::Write(const void* pvData, uint32_t cubData)
{
    if (cubData >= INT32_MAX)
    {
        AssertFailed(FILEIO_SOURCE, __LINE__, "cubData < INT32_MAX");
        return false;
    }
    if (cubData == 0) return true;

    if (m_bAsync)
    {
        if (!FileWriterThread_QueueWrite(this, pvData, cubData, nullptr, false)) return false;
    }
    else
    {
        uint64_t cubWritten = 0;
        const uint32_t unError = WriteFileHandle(m_hFile, pvData, cubData, &cubWritten);
        // A short write is a failure too: the bytes are not in the file.
        if (unError != 0 || cubWritten != cubData)
        {
            m_bFailed = true;
            return false;
        }
    }
    m_cubWritten += cubData;
    return true;
}

bool CFileWriter::WriteFileAsync(const char* pchTargetPath, const void* pvData, uint32_t cubData,
                                 bool bFlushToDisk)
{
    if (!QAssertAt(m_bAsync && !IsOpen(), FILEIO_SOURCE, __LINE__)) return false;
    if (!pchTargetPath || !pchTargetPath[0]) return false;
    if (cubData >= INT32_MAX)
    {
        AssertFailed(FILEIO_SOURCE, __LINE__, "cubData < INT32_MAX");
        return false;
    }

    // Registered until the thread has moved the file into place.
    FileWriterThread_RegisterWriter(this);
    if (!FileWriterThread_QueueWrite(this, pvData, cubData, pchTargetPath, bFlushToDisk))
        return false;
    m_cubWritten += cubData;
    return true;
}

void CFileWriter::WaitForOutstanding()
{
    if (m_cubOutstanding.load() <= 0) return;
    for (int i = 0; i < 60000 && m_cubOutstanding.load() > 0; ++i)
    {
        if (!FileWriterThread_IsAvailable())
            return; // shut down at process exit: nothing will drain the queue
        FileWriterThread_EnsureRunning();
        ThreadSleep(10);
    }
    const int32_t cubLeft = m_cubOutstanding.load();
    if (cubLeft > 0)
        AssertMsgFailed(false, FILEIO_SOURCE, __LINE__,
                        "Waited 60k iterations in CFileWriter::Flush - m_cubOutstanding = %d",
                        cubLeft);
}

bool CFileWriter::Flush()
{
    if (m_bAsync) WaitForOutstanding();
    if (!IsOpen()) return !m_bFailed;
    const bool bFlushed = FlushFileHandle(m_hFile) == 0;
    return bFlushed && !m_bFailed;
}

void CFileWriter::Close()
{
    if (m_bAsync) WaitForOutstanding();
    if (IsOpen())
    {
        FlushFileHandle(m_hFile);
        CloseFileHandle(m_hFile);
        m_hFile = PLAT_INVALID_FILE;
    }
    if (m_bAsync) FileWriterThread_UnregisterWriter(this);
}
