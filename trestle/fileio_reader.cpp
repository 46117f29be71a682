// Sequential file reader with an optional read-ahead window or unbuffered I/O.
#include "trestle/fileio.h"

#include <atomic>
#include <cstring>

#include "plinth/dbg.h"
#include "plinth/memalloc.h"
#include "trestle/fileio_internal.h"

static const uint32_t k_cubMinReadAheadChunk = 8192;
static const uint32_t k_cubPageSize = 4096;

CFileReader::CFileReader(bool bUnbuffered, uint32_t unReadAheadChunkSize)
    : m_hFile(PLAT_INVALID_FILE), m_ulPosition(0), m_unChunkSize(0), m_ulWindowStart(0),
      m_cubWindow(0), m_pubReadAhead(nullptr), m_bUnbuffered(bUnbuffered), m_unSectorSize(0)
{
    if (bUnbuffered && unReadAheadChunkSize != 0)
    {
        AssertMsgFailed(false, FILEIO_SOURCE, __LINE__,
                        "unReadAheadChunkSize should be zero when using bUnbuffered = true");
        unReadAheadChunkSize = 0;
    }
    if (unReadAheadChunkSize > 0x3FFFFFFE)
    {
        AssertFailed(FILEIO_SOURCE, __LINE__, "unReadAheadChunkSize < INT32_MAX/2");
        unReadAheadChunkSize = 0;
    }
    if (unReadAheadChunkSize != 0)
        m_unChunkSize = unReadAheadChunkSize < k_cubMinReadAheadChunk ? k_cubMinReadAheadChunk
                                                                      : unReadAheadChunkSize;
}

CFileReader::~CFileReader()
{
    Close();
}

void CFileReader::Close()
{
    if (m_hFile != PLAT_INVALID_FILE) CloseFileHandle(m_hFile);
    m_hFile = PLAT_INVALID_FILE;
    m_ulPosition = 0;
    EmptyWindow();
    if (m_pubReadAhead) MemAlloc_FreeTagged(m_pubReadAhead, FILEIO_SOURCE, __LINE__);
    m_pubReadAhead = nullptr;
}

bool CFileReader::BOpenFile(const char* pchPath, uint32_t unFlags)
{
    Close();

    const uint32_t unSupported = PLAT_FILE_FLAG_NO_ACCESS_TIME | PLAT_FILE_FLAG_SEQUENTIAL_SCAN;
    if (unFlags & ~unSupported)
    {
        AssertMsgFailed(false, FILEIO_SOURCE, __LINE__,
                        "unsupported flags 0x%x passed to CFileReader::BOpenFile", unFlags);
        unFlags &= unSupported;
    }

    if (m_bUnbuffered)
    {
        m_unSectorSize = GetSectorSizeForPath(pchPath);
        if (m_unSectorSize == 0)
        {
            AssertMsgFailed(
                false, FILEIO_SOURCE, __LINE__,
                "Failed to get sector size for drive file %s is on, not using unbuffered IO",
                pchPath ? pchPath : "");
            m_bUnbuffered = false;
        }
        else
        {
            unFlags |= PLAT_FILE_FLAG_NO_BUFFERING;
        }
    }

    if (OpenFileHandle(pchPath, PLAT_FILE_ACCESS_READ, PLAT_FILE_SHARE_READ | PLAT_FILE_SHARE_WRITE,
                       PLAT_FILE_OPEN_EXISTING, unFlags, &m_hFile) != 0)
        return false;

    // The window buffer is freed by Close; a reopened reader gets it back.
    if (m_unChunkSize != 0)
        m_pubReadAhead =
            static_cast<uint8_t*>(MemAlloc_AllocTagged(m_unChunkSize, FILEIO_SOURCE, __LINE__));
    return true;
}

bool CFileReader::GetFileSize(uint64_t* pulSize) const
{
    *pulSize = 0;
    if (!IsOpen()) return false;
    return GetFileHandleSize(m_hFile, pulSize) == 0;
}

bool CFileReader::Read(void* pvData, uint32_t cubData, uint32_t* pcubRead)
{
    if (pcubRead) *pcubRead = 0;
    if (!IsOpen()) return false;

    uint8_t* pubDest = static_cast<uint8_t*>(pvData);
    const uint32_t cubMaxPiece = 0x7FFFFFFFu - m_unChunkSize;
    uint32_t cubTotal = 0;
    bool bOk = true;
    while (cubTotal < cubData)
    {
        const uint32_t cubLeft = cubData - cubTotal;
        const uint32_t cubPiece = cubLeft < cubMaxPiece ? cubLeft : cubMaxPiece;
        uint32_t cubGot = 0;
        bOk = ReadPiece(pubDest + cubTotal, cubPiece, &cubGot);
        cubTotal += cubGot;
        if (!bOk || cubGot < cubPiece) break;
    }

    if (pcubRead)
        *pcubRead = cubTotal;
    else if (cubTotal != cubData)
        return false;
    return bOk;
}

bool CFileReader::ReadPiece(uint8_t* pubDest, uint32_t cubToRead, uint32_t* pcubRead)
{
    *pcubRead = 0;
    QAssertAt(cubToRead < INT32_MAX, FILEIO_SOURCE, __LINE__);

    if (m_bUnbuffered)
    {
        if (cubToRead % m_unSectorSize != 0)
        {
            AssertMsgFailed(false, FILEIO_SOURCE, __LINE__,
                            "CFileReader::Read must be called with a cubData value that is a "
                            "multiple of the sector size when using unbuffered IO");
            return false;
        }
        static std::atomic<bool> s_bReportedAlignment(false);
        static std::atomic<bool> s_bReportedLength(false);
        if ((reinterpret_cast<uintptr_t>(pubDest) % k_cubPageSize) != 0 &&
            !s_bReportedAlignment.exchange(true))
            AssertMsgFailed(false, FILEIO_SOURCE, __LINE__,
                            "Unbuffered read should be called with pvData buffer that is aligned "
                            "to system page size (4kb)");
        if ((cubToRead % k_cubPageSize) != 0 && !s_bReportedLength.exchange(true))
            AssertMsgFailed(false, FILEIO_SOURCE, __LINE__,
                            "Unbuffered read should be called with cubData length that is aligned "
                            "to system page size (4kb)");
    }

    uint32_t cubDelivered = 0;

    // What the window already holds at the position.
    if (m_pubReadAhead && m_cubWindow != 0 && m_ulPosition >= m_ulWindowStart &&
        m_ulPosition < m_ulWindowStart + m_cubWindow)
    {
        const uint64_t cubAvailable = m_ulWindowStart + m_cubWindow - m_ulPosition;
        const uint32_t cubCopy =
            static_cast<uint32_t>(cubAvailable < cubToRead ? cubAvailable : cubToRead);
        memcpy(pubDest, m_pubReadAhead + (m_ulPosition - m_ulWindowStart), cubCopy);
        m_ulPosition += cubCopy;
        cubDelivered = cubCopy;
    }

    const uint32_t cubLeft = cubToRead - cubDelivered;
    if (cubLeft == 0)
    {
        *pcubRead = cubDelivered;
        return true;
    }

    // The system's file position equals m_ulPosition here: the window always
    // ends where the last read from the file ended.
    uint32_t cubFetch = cubLeft;
    if (m_pubReadAhead && cubFetch < m_unChunkSize) cubFetch = m_unChunkSize;

    uint32_t unError;
    if (m_pubReadAhead && cubFetch == m_unChunkSize)
    {
        uint32_t cubGot = 0;
        unError = ReadFileHandle(m_hFile, m_pubReadAhead, m_unChunkSize, &cubGot);
        m_ulWindowStart = m_ulPosition;
        m_cubWindow = cubGot;
        const uint32_t cubCopy = cubGot < cubLeft ? cubGot : cubLeft;
        memcpy(pubDest + cubDelivered, m_pubReadAhead, cubCopy);
        m_ulPosition += cubCopy;
        cubDelivered += cubCopy;
    }
    else
    {
        uint32_t cubGot = 0;
        unError = ReadFileHandle(m_hFile, pubDest + cubDelivered, cubLeft, &cubGot);
        EmptyWindow();
        m_ulPosition += cubGot;
        cubDelivered += cubGot;
    }

    *pcubRead = cubDelivered;
    return unError == 0;
}

bool CFileReader::Seek(int64_t lOffset, int nOrigin)
{
    if (!IsOpen()) return false;
    if (m_bUnbuffered && (lOffset % static_cast<int64_t>(m_unSectorSize)) != 0)
    {
        AssertMsgFailed(false, FILEIO_SOURCE, __LINE__,
                        "Seeking to a position which is not sector aligned will break unbuffered "
                        "io");
        return false;
    }

    if (!m_pubReadAhead)
    {
        uint64_t ulNewPos = 0;
        if (SeekFileHandle(m_hFile, lOffset, nOrigin, &ulNewPos) != 0) return false;
        m_ulPosition = ulNewPos;
        return true;
    }

    int64_t lTarget;
    switch (nOrigin)
    {
    case 0:
        lTarget = lOffset;
        break;
    case 1:
        lTarget = static_cast<int64_t>(m_ulPosition) + lOffset;
        break;
    case 2:
    {
        uint64_t ulSize = 0;
        if (GetFileHandleSize(m_hFile, &ulSize) != 0) return false;
        lTarget = static_cast<int64_t>(ulSize) + lOffset;
        break;
    }
    default:
        return false;
    }
    if (lTarget < 0) return false;

    const uint64_t ulTarget = static_cast<uint64_t>(lTarget);
    if (m_cubWindow != 0 && ulTarget >= m_ulWindowStart && ulTarget < m_ulWindowStart + m_cubWindow)
    {
        m_ulPosition = ulTarget;
        return true;
    }

    // A failed seek leaves the file where the window ends, so the window stays.
    uint64_t ulNewPos = 0;
    if (SeekFileHandle(m_hFile, lTarget, 0, &ulNewPos) != 0) return false;
    EmptyWindow();
    m_ulPosition = ulNewPos;
    return true;
}
