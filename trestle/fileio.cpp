// Path preparation and the plain file operations.
#include "trestle/fileio.h"

#include <cstring>

#include "plinth/dbg.h"
#include "plinth/memalloc.h"
#include "trestle/fileio_internal.h"
#include "trestle/strtools.h"
#include "trestle/utlbuffer.h"

// Room for "\\?\UNC\" in front of the converted path.
static const int k_cwchWidePrefix = 8;
static const int k_cwchWideBody = FIO_MAX_PATH_WIDE_BYTES / 2;

// ---------------------------------------------------------------------------
// CPathString
// ---------------------------------------------------------------------------

CPathString::CPathString(const char* pchPath) : m_pchUTF8Path(nullptr), m_pwchWidePath(nullptr)
{
    Prepare(pchPath);
}

CPathString::CPathString(const char* pchPath, const char* pchAppend)
    : m_pchUTF8Path(nullptr), m_pwchWidePath(nullptr)
{
    Prepare(pchPath);
    if (!pchAppend || !m_pchUTF8Path[0]) return;
    const size_t cch = strlen(m_pchUTF8Path);
    if (m_pchUTF8Path[cch - 1] != '\\') V_BoundedAppend(m_pchUTF8Path, "\\", FIO_MAX_PATH_UTF8);
    V_BoundedAppend(m_pchUTF8Path, pchAppend, FIO_MAX_PATH_UTF8);
}

CPathString::~CPathString()
{
    MemAlloc_FreeTagged(m_pchUTF8Path, FILEIO_SOURCE, __LINE__);
    if (m_pwchWidePath) MemAlloc_FreeTagged(m_pwchWidePath, FILEIO_SOURCE, __LINE__);
}

void CPathString::Prepare(const char* pchPath)
{
    // On the heap: the writer thread runs on a small stack.
    m_pchUTF8Path =
        static_cast<char*>(MemAlloc_AllocTagged(FIO_MAX_PATH_UTF8, FILEIO_SOURCE, __LINE__));
    m_pchUTF8Path[0] = 0;
    if (!pchPath) return;
    V_MakeAbsolutePath(m_pchUTF8Path, FIO_MAX_PATH_UTF8, pchPath);
    V_CollapseSlashPairs(m_pchUTF8Path);
}

const PlatWChar* CPathString::GetWCharPath()
{
    if (m_pwchWidePath) return m_pwchWidePath;

    const int cwchTotal = k_cwchWidePrefix + k_cwchWideBody;
    m_pwchWidePath = static_cast<PlatWChar*>(
        MemAlloc_AllocTagged(cwchTotal * sizeof(PlatWChar), FILEIO_SOURCE, __LINE__));
    m_pwchWidePath[0] = 0;
    if (!m_pchUTF8Path[0]) return m_pwchWidePath;

    const char* pchSource = m_pchUTF8Path;
    const char* pchPrefix;
    if (strncmp(pchSource, "\\\\?\\", 4) == 0)
        pchPrefix = "";
    else if (pchSource[0] == '\\' && pchSource[1] == '\\')
    {
        pchPrefix = "\\\\?\\UNC\\";
        pchSource += 2;
    }
    else
        pchPrefix = "\\\\?\\";

    int cwchPrefix = 0;
    for (; pchPrefix[cwchPrefix]; ++cwchPrefix)
        m_pwchWidePath[cwchPrefix] = static_cast<PlatWChar>(pchPrefix[cwchPrefix]);

    // A path that does not fit is refused as a whole: a cut path would name
    // some other file.
    const int cubResult =
        V_UTF8ToUTF16(pchSource, reinterpret_cast<char16_t*>(m_pwchWidePath + cwchPrefix),
                      FIO_MAX_PATH_WIDE_BYTES, ConvertFailOnInvalid | ConvertMeasureOnOverflow);
    if (cubResult <= 0 || cubResult > FIO_MAX_PATH_WIDE_BYTES) m_pwchWidePath[0] = 0;
    return m_pwchWidePath;
}

// ---------------------------------------------------------------------------
// Plain file operations
// ---------------------------------------------------------------------------

uint32_t OpenFileHandle(const char* pchPath, uint32_t unAccess, uint32_t unShare,
                        uint32_t unDisposition, uint32_t unFlags, PlatFileHandle* phFile)
{
    *phFile = PLAT_INVALID_FILE;
    if (unAccess < 1 || unAccess > 3) return PLAT_ERROR_INVALID_PARAMETER;
    if (unShare > 3 && unShare != 7) return PLAT_ERROR_INVALID_PARAMETER;
    if (unDisposition > 3) return PLAT_ERROR_INVALID_PARAMETER;

    CPathString path(pchPath);
    return Plat_CreateFile(path.GetWCharPath(), unAccess, unShare, unDisposition, unFlags, phFile);
}

uint32_t CloseFileHandle(PlatFileHandle hFile)
{
    return Plat_CloseFile(hFile);
}

uint32_t GetFileHandleSize(PlatFileHandle hFile, uint64_t* pulSize)
{
    return Plat_GetFileSize(hFile, pulSize);
}

uint32_t ReadFileHandle(PlatFileHandle hFile, void* pvDest, uint32_t cubToRead, uint32_t* pcubRead)
{
    uint32_t cubRead = 0;
    const uint32_t unError = Plat_ReadFile(hFile, pvDest, cubToRead, &cubRead);
    if (pcubRead) *pcubRead = cubRead;
    if (unError) return unError;
    if (!pcubRead && cubRead != cubToRead) return PLAT_ERROR_HANDLE_EOF;
    return 0;
}

uint32_t ReadFileHandleAt(PlatFileHandle hFile, void* pvDest, uint32_t cubToRead, uint64_t ulOffset,
                          uint32_t* pcubRead)
{
    uint32_t cubRead = 0;
    const uint32_t unError = Plat_ReadFileAt(hFile, pvDest, cubToRead, ulOffset, &cubRead);
    if (pcubRead) *pcubRead = cubRead;
    if (unError) return unError;
    if (!pcubRead && cubRead != cubToRead) return PLAT_ERROR_HANDLE_EOF;
    return 0;
}

uint32_t SeekFileHandle(PlatFileHandle hFile, int64_t lOffset, int nOrigin, uint64_t* pulNewPos)
{
    if (nOrigin < 0 || nOrigin > 2) return PLAT_ERROR_INVALID_PARAMETER;
    return Plat_SeekFile(hFile, lOffset, nOrigin, pulNewPos);
}

uint32_t WriteFileHandle(PlatFileHandle hFile, const void* pvData, uint64_t cubData,
                         uint64_t* pcubWritten)
{
    const uint8_t* pubData = static_cast<const uint8_t*>(pvData);
    uint64_t cubDone = 0;
    uint32_t unError = 0;
    while (cubDone < cubData)
    {
        const uint64_t cubLeft = cubData - cubDone;
        const uint32_t cubPiece =
            static_cast<uint32_t>(cubLeft < FIO_MAX_IO_BYTES ? cubLeft : FIO_MAX_IO_BYTES);
        uint32_t cubWritten = 0;
        unError = Plat_WriteFile(hFile, pubData + cubDone, cubPiece, &cubWritten);
        cubDone += cubWritten;
        if (unError || cubWritten == 0) break;
    }
    if (pcubWritten) *pcubWritten = cubDone;
    return unError;
}

uint32_t FlushFileHandle(PlatFileHandle hFile)
{
    return Plat_FlushFile(hFile);
}

bool BCreateDirectory(const char* pchPath)
{
    CPathString path(pchPath);
    const uint32_t unError = Plat_CreateDirectory(path.GetWCharPath());
    return unError == 0 || unError == PLAT_ERROR_ALREADY_EXISTS;
}

bool BFileExists(const char* pchPath)
{
    CPathString path(pchPath);
    uint32_t unAttributes = 0;
    return Plat_GetFileAttributes(path.GetWCharPath(), &unAttributes) == 0;
}

bool BDirectoryExists(const char* pchPath)
{
    CPathString path(pchPath);
    uint32_t unAttributes = 0;
    return Plat_GetFileAttributes(path.GetWCharPath(), &unAttributes) == 0 &&
           (unAttributes & PLAT_FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool CreateDirectories(const char* pchPath)
{
    CPathString path(pchPath);
    const char* pchFull = path.GetUTF8Path();
    if (BFileExists(pchFull)) return true;

    const size_t cchFull = strlen(pchFull);
    if (cchFull == 0) return false;
    char* pchWork = static_cast<char*>(MemAlloc_AllocTagged(cchFull + 1, FILEIO_SOURCE, __LINE__));
    memcpy(pchWork, pchFull, cchFull + 1);

    // Deepest existing ancestor: cut at backslashes from the end.
    size_t iExisting = 0;
    for (size_t i = cchFull - 1; i > 0; --i)
    {
        if (pchWork[i] != '\\') continue;
        pchWork[i] = 0;
        const bool bExists = BFileExists(pchWork);
        pchWork[i] = '\\';
        if (bExists)
        {
            iExisting = i;
            break;
        }
    }

    // Every missing level below it, then the full path.
    for (size_t i = iExisting + 1; i < cchFull; ++i)
    {
        if (pchWork[i] != '\\') continue;
        pchWork[i] = 0;
        BCreateDirectory(pchWork);
        pchWork[i] = '\\';
    }
    MemAlloc_FreeTagged(pchWork, FILEIO_SOURCE, __LINE__);
    return BCreateDirectory(pchFull);
}

bool BMoveFileReplace(const char* pchFrom, const char* pchTo)
{
    CPathString from(pchFrom);
    CPathString to(pchTo);
    return Plat_MoveFileReplace(from.GetWCharPath(), to.GetWCharPath()) == 0;
}

bool BDeleteFile(const char* pchPath)
{
    CPathString path(pchPath);
    return Plat_DeleteFile(path.GetWCharPath()) == 0;
}

uint32_t GetSectorSizeForPath(const char* pchPath)
{
    CPathString path(pchPath);
    const char* pchFull = path.GetUTF8Path();
    const char* pchColon = strchr(pchFull, ':');
    uint32_t unBytesPerSector = 0;
    if (!pchColon)
    {
        if (Plat_GetDiskSectorSize(nullptr, &unBytesPerSector) != 0) return 0;
        return unBytesPerSector;
    }

    // The drive root: everything up to and including the character after ':'.
    char szRoot[260];
    size_t cchRoot = static_cast<size_t>(pchColon - pchFull) + 1;
    if (pchColon[1]) ++cchRoot;
    if (cchRoot >= sizeof(szRoot)) return 0;
    memcpy(szRoot, pchFull, cchRoot);
    szRoot[cchRoot] = 0;
    char16_t wszRoot[260];
    if (V_UTF8ToUTF16(szRoot, wszRoot, sizeof(wszRoot), ConvertFailOnInvalid) <= 0) return 0;
    if (Plat_GetDiskSectorSize(wszRoot, &unBytesPerSector) != 0) return 0;
    return unBytesPerSector;
}

bool LoadFileIntoBuffer(const char* pchPath, uint64_t ulOffset, uint32_t cubMaxRead,
                        CUtlBuffer& buf, bool bText)
{
    buf.SetBufferType(bText, bText);

    PlatFileHandle hFile;
    if (OpenFileHandle(pchPath, PLAT_FILE_ACCESS_READ, PLAT_FILE_SHARE_READ | PLAT_FILE_SHARE_WRITE,
                       PLAT_FILE_OPEN_EXISTING, 0, &hFile) != 0)
        return false;

    uint64_t ulSize = 0;
    if (GetFileHandleSize(hFile, &ulSize) != 0)
    {
        CloseFileHandle(hFile);
        return false;
    }
    const uint64_t cubToRead = cubMaxRead < ulSize ? cubMaxRead : ulSize;
    if (cubToRead > FIO_MAX_IO_BYTES || !buf.EnsureCapacity(static_cast<int>(cubToRead) + 1))
    {
        CloseFileHandle(hFile);
        return false;
    }
    if (ulOffset != 0 && SeekFileHandle(hFile, static_cast<int64_t>(ulOffset), 0) != 0)
    {
        CloseFileHandle(hFile);
        return false;
    }

    // The file's bytes replace the buffer's content.
    buf.Clear();
    uint32_t cubRead = 0;
    const uint32_t unError =
        ReadFileHandle(hFile, buf.Base(), static_cast<uint32_t>(cubToRead), &cubRead);
    CloseFileHandle(hFile);
    buf.SeekPut(CUtlBuffer::SEEK_HEAD, static_cast<int>(cubRead));
    buf.Base()[cubRead] = 0;
    buf.Base()[cubToRead] = 0;
    return unError == 0;
}
