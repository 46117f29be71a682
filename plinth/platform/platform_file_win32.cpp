// Files and directories on Windows: the W functions with long-path names.
#include "plinth/platform/platform_file.h"
// Test beds put the fault hook in front of these calls.
#define PLAT_FILE_SYSTEM_SIDE
#include "plinth/platform/platform_filefaults.h"

#include <windows.h>

#include <cstring>

static_assert(sizeof(wchar_t) == sizeof(PlatWChar), "wide paths are UTF-16");

namespace
{

const wchar_t* W(const PlatWChar* pwsz)
{
    return reinterpret_cast<const wchar_t*>(pwsz);
}

HANDLE H(PlatFileHandle hFile)
{
    return reinterpret_cast<HANDLE>(hFile);
}

void CopyFindData(const WIN32_FIND_DATAW& wfd, PlatFindData* pData)
{
    pData->m_unAttributes = wfd.dwFileAttributes;
    pData->m_ulSize = (static_cast<uint64_t>(wfd.nFileSizeHigh) << 32) | wfd.nFileSizeLow;
    pData->m_ulLastWriteTime = (static_cast<uint64_t>(wfd.ftLastWriteTime.dwHighDateTime) << 32) |
                               wfd.ftLastWriteTime.dwLowDateTime;
    static_assert(sizeof(pData->m_wszFileName) == sizeof(wfd.cFileName), "MAX_PATH names");
    memcpy(pData->m_wszFileName, wfd.cFileName, sizeof(wfd.cFileName));
}

} // namespace

uint32_t Plat_CreateFile(const PlatWChar* pwszPath, uint32_t unAccess, uint32_t unShare,
                         uint32_t unDisposition, uint32_t unFlags, PlatFileHandle* phFile)
{
    *phFile = PLAT_INVALID_FILE;

    DWORD dwAccess = 0;
    if (unAccess & PLAT_FILE_ACCESS_READ) dwAccess |= GENERIC_READ;
    if (unAccess & PLAT_FILE_ACCESS_WRITE) dwAccess |= GENERIC_WRITE;
    // Keeping the last-access time needs the right to set file times on this
    // very handle; write access brings it anyway.
    const bool bKeepAccessTime = (unFlags & PLAT_FILE_FLAG_NO_ACCESS_TIME) != 0;
    const DWORD dwTimeAccess =
        bKeepAccessTime && !(unAccess & PLAT_FILE_ACCESS_WRITE) ? FILE_WRITE_ATTRIBUTES : 0;

    DWORD dwShare = 0;
    if (unShare & PLAT_FILE_SHARE_READ) dwShare |= FILE_SHARE_READ;
    if (unShare & PLAT_FILE_SHARE_WRITE) dwShare |= FILE_SHARE_WRITE;
    if (unShare & PLAT_FILE_SHARE_DELETE) dwShare |= FILE_SHARE_DELETE;

    DWORD dwCreation;
    switch (unDisposition)
    {
    case PLAT_FILE_OPEN_EXISTING:
        dwCreation = OPEN_EXISTING;
        break;
    case PLAT_FILE_OPEN_ALWAYS:
        dwCreation = OPEN_ALWAYS;
        break;
    case PLAT_FILE_CREATE_NEW:
        dwCreation = CREATE_NEW;
        break;
    case PLAT_FILE_CREATE_ALWAYS:
        dwCreation = CREATE_ALWAYS;
        break;
    default:
        return ERROR_INVALID_PARAMETER;
    }

    DWORD dwFlags =
        (unFlags & PLAT_FILE_FLAG_TEMPORARY) ? FILE_ATTRIBUTE_TEMPORARY : FILE_ATTRIBUTE_NORMAL;
    if (unFlags & PLAT_FILE_FLAG_OVERLAPPED) dwFlags |= FILE_FLAG_OVERLAPPED;
    if (unFlags & PLAT_FILE_FLAG_NO_BUFFERING) dwFlags |= FILE_FLAG_NO_BUFFERING;
    if (unFlags & PLAT_FILE_FLAG_SEQUENTIAL_SCAN) dwFlags |= FILE_FLAG_SEQUENTIAL_SCAN;
    if (unFlags & PLAT_FILE_FLAG_DELETE_ON_CLOSE) dwFlags |= FILE_FLAG_DELETE_ON_CLOSE;

    HANDLE hFile = CreateFileW(W(pwszPath), dwAccess | dwTimeAccess, dwShare, nullptr, dwCreation,
                               dwFlags, nullptr);
    bool bMayKeepTime = bKeepAccessTime;
    if (hFile == INVALID_HANDLE_VALUE && dwTimeAccess)
    {
        // A file the caller may read but not change refuses that right
        // (access denied; Wine: a sharing violation for a file it cannot
        // open for writing). The access time is a wish, the read is not.
        const DWORD dwError = GetLastError();
        if (dwError != ERROR_ACCESS_DENIED && dwError != ERROR_SHARING_VIOLATION) return dwError;
        hFile = CreateFileW(W(pwszPath), dwAccess, dwShare, nullptr, dwCreation, dwFlags, nullptr);
        bMayKeepTime = false;
    }
    if (hFile == INVALID_HANDLE_VALUE) return GetLastError();

    if (bMayKeepTime)
    {
        // All one bits: the system leaves the last-access time alone for
        // this handle.
        FILETIME ftKeep;
        ftKeep.dwLowDateTime = 0xFFFFFFFF;
        ftKeep.dwHighDateTime = 0xFFFFFFFF;
        SetFileTime(hFile, nullptr, &ftKeep, nullptr);
    }

    *phFile = reinterpret_cast<PlatFileHandle>(hFile);
    return 0;
}

uint32_t Plat_CloseFile(PlatFileHandle hFile)
{
    if (hFile == PLAT_INVALID_FILE) return ERROR_INVALID_HANDLE;
    return CloseHandle(H(hFile)) ? 0 : GetLastError();
}

uint32_t Plat_ReadFile(PlatFileHandle hFile, void* pvDest, uint32_t cubToRead, uint32_t* pcubRead)
{
    DWORD cubRead = 0;
    const BOOL bOk = ReadFile(H(hFile), pvDest, cubToRead, &cubRead, nullptr);
    *pcubRead = cubRead;
    return bOk ? 0 : GetLastError();
}

uint32_t Plat_ReadFileAt(PlatFileHandle hFile, void* pvDest, uint32_t cubToRead, uint64_t ulOffset,
                         uint32_t* pcubRead)
{
    OVERLAPPED ov;
    memset(&ov, 0, sizeof(ov));
    ov.Offset = static_cast<DWORD>(ulOffset);
    ov.OffsetHigh = static_cast<DWORD>(ulOffset >> 32);
    DWORD cubRead = 0;
    const BOOL bOk = ReadFile(H(hFile), pvDest, cubToRead, &cubRead, &ov);
    *pcubRead = cubRead;
    if (bOk) return 0;
    const DWORD dwError = GetLastError();
    // Reading at or past the end is a short read, not a failure.
    return dwError == ERROR_HANDLE_EOF ? 0 : dwError;
}

uint32_t Plat_WriteFile(PlatFileHandle hFile, const void* pvData, uint32_t cubToWrite,
                        uint32_t* pcubWritten)
{
    DWORD cubWritten = 0;
    const BOOL bOk = WriteFile(H(hFile), pvData, cubToWrite, &cubWritten, nullptr);
    *pcubWritten = cubWritten;
    return bOk ? 0 : GetLastError();
}

uint32_t Plat_SeekFile(PlatFileHandle hFile, int64_t lOffset, int nOrigin, uint64_t* pulNewPos)
{
    DWORD dwMethod;
    switch (nOrigin)
    {
    case 0:
        dwMethod = FILE_BEGIN;
        break;
    case 1:
        dwMethod = FILE_CURRENT;
        break;
    case 2:
        dwMethod = FILE_END;
        break;
    default:
        return ERROR_INVALID_PARAMETER;
    }
    LARGE_INTEGER liMove;
    LARGE_INTEGER liNew;
    liMove.QuadPart = lOffset;
    liNew.QuadPart = 0;
    if (!SetFilePointerEx(H(hFile), liMove, &liNew, dwMethod)) return GetLastError();
    if (pulNewPos) *pulNewPos = static_cast<uint64_t>(liNew.QuadPart);
    return 0;
}

uint32_t Plat_GetFileSize(PlatFileHandle hFile, uint64_t* pulSize)
{
    LARGE_INTEGER liSize;
    if (!GetFileSizeEx(H(hFile), &liSize)) return GetLastError();
    *pulSize = static_cast<uint64_t>(liSize.QuadPart);
    return 0;
}

uint32_t Plat_FlushFile(PlatFileHandle hFile)
{
    return FlushFileBuffers(H(hFile)) ? 0 : GetLastError();
}

uint32_t Plat_GetFileAttributes(const PlatWChar* pwszPath, uint32_t* punAttributes)
{
    const DWORD dwAttributes = GetFileAttributesW(W(pwszPath));
    if (dwAttributes == INVALID_FILE_ATTRIBUTES)
    {
        *punAttributes = 0;
        return GetLastError();
    }
    *punAttributes = dwAttributes;
    return 0;
}

uint32_t Plat_GetFileId(const PlatWChar* pwszPath, PlatFileId* pId)
{
    pId->m_ulVolume = pId->m_ulIndex = 0;
    // No access rights needed; backup semantics lets directories open too.
    HANDLE hFile =
        CreateFileW(W(pwszPath), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (hFile == INVALID_HANDLE_VALUE) return GetLastError();
    BY_HANDLE_FILE_INFORMATION info;
    DWORD dwError = 0;
    if (GetFileInformationByHandle(hFile, &info))
    {
        pId->m_ulVolume = info.dwVolumeSerialNumber;
        pId->m_ulIndex = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    }
    else
        dwError = GetLastError();
    CloseHandle(hFile);
    return dwError;
}

uint32_t Plat_CreateSymbolicLink(const PlatWChar* pwszLink, const PlatWChar* pwszTarget,
                                 bool bDirectory)
{
    // Looked up at run time: older systems have no links at all.
    typedef BOOLEAN(WINAPI * CreateLink_t)(LPCWSTR, LPCWSTR, DWORD);
    HMODULE hKernel = GetModuleHandleW(L"kernel32.dll");
    CreateLink_t pfnCreate = hKernel ? reinterpret_cast<CreateLink_t>(reinterpret_cast<void*>(
                                           GetProcAddress(hKernel, "CreateSymbolicLinkW")))
                                     : nullptr;
    if (!pfnCreate) return ERROR_NOT_SUPPORTED;
    return pfnCreate(W(pwszLink), W(pwszTarget), bDirectory ? 1 : 0) ? 0 : GetLastError();
}

uint32_t Plat_CreateDirectory(const PlatWChar* pwszPath)
{
    return CreateDirectoryW(W(pwszPath), nullptr) ? 0 : GetLastError();
}

uint32_t Plat_RemoveDirectory(const PlatWChar* pwszPath)
{
    return RemoveDirectoryW(W(pwszPath)) ? 0 : GetLastError();
}

uint32_t Plat_DeleteFile(const PlatWChar* pwszPath)
{
    return DeleteFileW(W(pwszPath)) ? 0 : GetLastError();
}

uint32_t Plat_MoveFileReplace(const PlatWChar* pwszFrom, const PlatWChar* pwszTo)
{
    return MoveFileExW(W(pwszFrom), W(pwszTo), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED)
               ? 0
               : GetLastError();
}

uint32_t Plat_GetDiskSectorSize(const PlatWChar* pwszRoot, uint32_t* punBytesPerSector)
{
    DWORD dwSectorsPerCluster = 0;
    DWORD dwBytesPerSector = 0;
    DWORD dwFreeClusters = 0;
    DWORD dwClusters = 0;
    if (!GetDiskFreeSpaceW(pwszRoot ? W(pwszRoot) : nullptr, &dwSectorsPerCluster,
                           &dwBytesPerSector, &dwFreeClusters, &dwClusters))
    {
        *punBytesPerSector = 0;
        return GetLastError();
    }
    *punBytesPerSector = dwBytesPerSector;
    return 0;
}

PlatFindHandle Plat_FindFirstFile(const PlatWChar* pwszPattern, PlatFindData* pData,
                                  uint32_t* punError)
{
    WIN32_FIND_DATAW wfd;
    HANDLE hFind = FindFirstFileW(W(pwszPattern), &wfd);
    if (hFind == INVALID_HANDLE_VALUE)
    {
        *punError = GetLastError();
        return nullptr;
    }
    CopyFindData(wfd, pData);
    *punError = 0;
    return hFind;
}

bool Plat_FindNextFile(PlatFindHandle hFind, PlatFindData* pData, uint32_t* punError)
{
    WIN32_FIND_DATAW wfd;
    if (!hFind || !FindNextFileW(static_cast<HANDLE>(hFind), &wfd))
    {
        if (punError) *punError = hFind ? GetLastError() : ERROR_INVALID_HANDLE;
        return false;
    }
    CopyFindData(wfd, pData);
    if (punError) *punError = 0;
    return true;
}

void Plat_FindClose(PlatFindHandle hFind)
{
    if (hFind) FindClose(static_cast<HANDLE>(hFind));
}
