// The stdio-like file calls. Pack handles are served from the mounted packs,
// everything else from the C runtime's streams; writing is disk-only.
#include "quern2wrapper/files/files.h"

#include "plinth/dbg.h"
#include "plinth/memalloc.h"
#include "plinth/platform/platform_crtfile.h"
#include "quern2wrapper/include/quern.h"
#include "quern2wrapper/quern_export.h"
#include "quern2wrapper/quernerror.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace
{
void SetFailure(TQuernError* pError, int failureType)
{
    if (pError) pError->failureType = failureType;
}

// Pack handles reaching a disk-only call are a caller bug; they then behave
// as unknown disk handles.
void CheckDiskOnly(uint32_t hFile, int nLine)
{
    if (hFile & BND_FILE_HANDLE_FLAG)
        AssertFailed(QUERN_FILES_SOURCE, nLine, "!(hFile & BND_FILE_HANDLE_FLAG)");
}

int32_t ClampPosition(int64_t position, int32_t size)
{
    if (position < 0) return 0;
    if (position > size) return size;
    return (int32_t)position;
}

// Drops the '\r' of every "\r\n" pair; returns the new length.
uint32_t CollapseLineEnds(char* pBytes, uint32_t count)
{
    uint32_t out = 0;
    for (uint32_t in = 0; in < count; ++in)
    {
        if (pBytes[in] == '\r' && in + 1 < count && pBytes[in + 1] == '\n') continue;
        pBytes[out++] = pBytes[in];
    }
    return out;
}

uint32_t ReadPack(PackEntryHandle* pEntry, bool bText, void* pBuffer, uint32_t elementSize,
                  uint32_t count, TQuernError* pError)
{
    // Never more than the entry has left, so the request fits ReadEntry's count.
    uint64_t want = (uint64_t)elementSize * count;
    uint64_t left = (uint64_t)(pEntry->m_nSize - pEntry->m_nPosition);
    if (want > left) want = left;
    if (!pBuffer) want = 0;
    uint32_t got = (uint32_t)pEntry->m_pStore->ReadEntry(*pEntry, pBuffer, (int)want);

    char* pBytes = static_cast<char*>(pBuffer);
    if (bText && got > 1)
    {
        got = CollapseLineEnds(pBytes, got);
    }
    else if (bText && got == 1 && pBytes[0] == '\r')
    {
        char next = 0;
        if (pEntry->m_pStore->ReadEntry(*pEntry, &next, 1) == 1)
        {
            if (next == '\n')
                pBytes[0] = '\n';
            else
                pEntry->m_nPosition =
                    ClampPosition((int64_t)pEntry->m_nPosition - 1, pEntry->m_nSize);
        }
    }

    if (elementSize > 1) got /= elementSize;
    if (got != count && pEntry->m_nPosition >= pEntry->m_nSize)
        SetFailure(pError, QUERN_FAILURE_END_OF_FILE);
    return got;
}
} // namespace

QUERN_EXPORT QuernFileHandle QuernOpenFileEx(const char* pszPath, const char* pszMode,
                                             uint32_t* pSize, TQuernError* pError)
{
    ClearError(pError);
    char chMode = pszMode ? pszMode[0] : '\0';
    // Update modes ("r+", "rb+", "r+b"...) write too: a pack handle would
    // refuse every write.
    bool bWrite = chMode == 'a' || chMode == 'A' || chMode == 'w' || chMode == 'W' ||
                  (pszMode && strchr(pszMode, '+'));
    if (pSize) *pSize = 0;

    uint32_t hFile = 0;
    if (!bWrite)
    {
        CMountReadScope mounts;
        hFile = PackOpen(pszPath, pszMode, pSize);
    }
    if (!hFile)
    {
        FILE* pStream = Plat_CrtOpen(pszPath, pszMode);
        if (pStream)
        {
            hFile = DiskRegister(pStream);
            // A stream that cannot be named could never be closed.
            if (!hFile) fclose(pStream);
            if (hFile && pSize)
            {
                long position = ftell(pStream);
                fseek(pStream, 0, SEEK_END);
                long size = ftell(pStream);
                fseek(pStream, position < 0 ? 0 : position, SEEK_SET);
                *pSize = size < 0 ? 0 : (uint32_t)size;
            }
        }
    }

    QUERN_VERBOSE_LOG("open file %s, mode %s, size %u, handle %u", pszPath ? pszPath : "(null)",
                      pszMode ? pszMode : "(null)", pSize ? *pSize : 0u, hFile);
    if (!hFile) SetFailure(pError, QUERN_FAILURE_NOT_FOUND);
    return hFile;
}

QUERN_EXPORT QuernFileHandle QuernOpenFile(const char* pszPath, const char* pszMode,
                                           TQuernError* pError)
{
    uint32_t size = 0;
    return QuernOpenFileEx(pszPath, pszMode, &size, pError);
}

QUERN_EXPORT QuernFileHandle QuernOpenTmpFile(TQuernError* pError)
{
    ClearError(pError);
    FILE* pStream = tmpfile();
    return pStream ? DiskRegister(pStream) : 0;
}

QUERN_EXPORT int QuernCloseFile(QuernFileHandle hFile, TQuernError* pError)
{
    ClearError(pError);
    QUERN_VERBOSE_LOG("close file handle %u", hFile);
    if (PackClose(hFile)) return 0;
    FILE* pStream = DiskCloseLookup(hFile);
    return pStream ? fclose(pStream) : EOF;
}

QUERN_EXPORT uint32_t QuernReadFile(void* pBuffer, uint32_t elementSize, uint32_t count,
                                    QuernFileHandle hFile, TQuernError* pError)
{
    ClearError(pError);
    CMountReadScope mounts((hFile & BND_FILE_HANDLE_FLAG) != 0);
    if (PackEntryHandle* pEntry = PackLookup(hFile))
        return ReadPack(pEntry, (hFile & BND_TEXT_MODE_FLAG) != 0, pBuffer, elementSize, count,
                        pError);

    FILE* pStream = DiskLookup(hFile);
    if (!pStream || !pBuffer) return 0;
    size_t got = fread(pBuffer, elementSize, count, pStream);
    if (got < count && feof(pStream)) SetFailure(pError, QUERN_FAILURE_END_OF_FILE);
    return (uint32_t)got;
}

QUERN_EXPORT uint32_t QuernWriteFile(const void* pData, uint32_t elementSize, uint32_t count,
                                     QuernFileHandle hFile, TQuernError* pError)
{
    ClearError(pError);
    CheckDiskOnly(hFile, 671);
    FILE* pStream = DiskLookup(hFile);
    if (!pStream || !pData) return 0;
    return (uint32_t)fwrite(pData, elementSize, count, pStream);
}

QUERN_EXPORT int QuernSeekFile(QuernFileHandle hFile, int32_t offset, uint32_t origin,
                               TQuernError* pError)
{
    ClearError(pError);
    CMountReadScope mounts((hFile & BND_FILE_HANDLE_FLAG) != 0);
    if (PackEntryHandle* pEntry = PackLookup(hFile))
    {
        int64_t base = origin == 0 ? 0 : origin == 1 ? pEntry->m_nPosition : pEntry->m_nSize;
        pEntry->m_nPosition = ClampPosition(base + offset, pEntry->m_nSize);
        return 0;
    }
    FILE* pStream = DiskLookup(hFile);
    if (!pStream) return -1;
    int whence = origin == 0 ? SEEK_SET : origin == 1 ? SEEK_CUR : SEEK_END;
    return fseek(pStream, offset, whence);
}

QUERN_EXPORT int32_t QuernTellFile(QuernFileHandle hFile, TQuernError* pError)
{
    ClearError(pError);
    CMountReadScope mounts((hFile & BND_FILE_HANDLE_FLAG) != 0);
    if (PackEntryHandle* pEntry = PackLookup(hFile)) return pEntry->m_nPosition;
    FILE* pStream = DiskLookup(hFile);
    return pStream ? (int32_t)ftell(pStream) : -1;
}

QUERN_EXPORT int32_t QuernSizeFile(QuernFileHandle hFile, TQuernError* pError)
{
    ClearError(pError);
    int32_t size = -1;
    if (hFile & BND_FILE_HANDLE_FLAG)
    {
        CMountReadScope mounts;
        if (PackEntryHandle* pEntry = PackLookup(hFile)) size = pEntry->m_nSize;
    }
    else if (FILE* pStream = DiskLookup(hFile))
    {
        long position = ftell(pStream);
        if (position >= 0)
        {
            // A seek that fails (its flush of buffered bytes, say) finds no
            // end: the position is not the size.
            if (fseek(pStream, 0, SEEK_END) == 0) size = (int32_t)ftell(pStream);
            fseek(pStream, position, SEEK_SET);
        }
    }
    QUERN_VERBOSE_LOG("size handle %u, size %u", hFile, (uint32_t)size);
    return size;
}

QUERN_EXPORT int QuernFlushFile(QuernFileHandle hFile, TQuernError* pError)
{
    ClearError(pError);
    CheckDiskOnly(hFile, 494);
    // No stream: every output stream is flushed, as stdio does for null.
    return fflush(DiskLookup(hFile));
}

QUERN_EXPORT int QuernGetc(QuernFileHandle hFile, TQuernError* pError)
{
    ClearError(pError);
    CMountReadScope mounts((hFile & BND_FILE_HANDLE_FLAG) != 0);
    if (PackEntryHandle* pEntry = PackLookup(hFile))
    {
        signed char ch = 0;
        pEntry->m_pStore->ReadEntry(*pEntry, &ch, 1);
        return ch;
    }
    FILE* pStream = DiskLookup(hFile);
    return pStream ? fgetc(pStream) : EOF;
}

QUERN_EXPORT int QuernPutc(int ch, QuernFileHandle hFile, TQuernError* pError)
{
    ClearError(pError);
    CheckDiskOnly(hFile, 694);
    FILE* pStream = DiskLookup(hFile);
    return pStream ? fputc(ch, pStream) : EOF;
}

QUERN_EXPORT int QuernPrintFile(QuernFileHandle hFile, TQuernError* pError, const char* pszFormat,
                                ...)
{
    ClearError(pError);
    CheckDiskOnly(hFile, 701);
    FILE* pStream = DiskLookup(hFile);
    if (!pStream || !pszFormat) return 0;

    FILE* pNull = Plat_CrtOpen(Plat_CrtNullDevice(), "w");
    if (!pNull) return 0;
    va_list args;
    va_start(args, pszFormat);
    int len = vfprintf(pNull, pszFormat, args);
    va_end(args);
    if (fclose(pNull) != 0 || len <= 0) return 0;

    char* pText = static_cast<char*>(
        MemAlloc_AllocQuietTagged((size_t)len + 1, QUERN_FILES_SOURCE, __LINE__));
    if (!pText) return 0;
    va_start(args, pszFormat);
    vsnprintf(pText, (size_t)len + 1, pszFormat, args);
    va_end(args);
    size_t written = fwrite(pText, 1, (size_t)len, pStream);
    MemAlloc_FreeTagged(pText, QUERN_FILES_SOURCE, __LINE__);
    return (int)written;
}

QUERN_EXPORT int QuernSetvBuf(QuernFileHandle hFile, void* pBuffer, uint32_t mode, uint32_t size,
                              TQuernError* pError)
{
    ClearError(pError);
    CheckDiskOnly(hFile, 472);
    FILE* pStream = DiskLookup(hFile);
    if (mode != 0 && mode != 1) return -1;
    if (!pStream) return -1;
    return setvbuf(pStream, static_cast<char*>(pBuffer), mode == 0 ? _IOFBF : _IONBF, size);
}
