// Files and directories: the operating-system side of trestle/fileio.
//
// Paths arrive in the wide long-path form that CPathString builds: UTF-16,
// beginning with "\\?\" or "\\?\UNC\". On Windows they go to the W functions
// untouched; the POSIX stand-in strips the prefix, turns '\' into '/',
// converts to UTF-8 and, like Windows, finds each name of a path in any case.
// Results are 0 or a Windows error code (the stand-in maps errno onto the
// same codes), so callers see one contract.
#pragma once

#include "plinth/platform/platform_error.h"

#include <cstdint>

typedef char16_t PlatWChar;

// Operating-system file handle; PLAT_INVALID_FILE when closed.
typedef intptr_t PlatFileHandle;
static const PlatFileHandle PLAT_INVALID_FILE = -1;

// Access bits.
enum : uint32_t
{
    PLAT_FILE_ACCESS_READ = 1,
    PLAT_FILE_ACCESS_WRITE = 2,
};

// Share bits.
enum : uint32_t
{
    PLAT_FILE_SHARE_READ = 1,
    PLAT_FILE_SHARE_WRITE = 2,
    PLAT_FILE_SHARE_DELETE = 4,
};

// Dispositions.
enum : uint32_t
{
    PLAT_FILE_OPEN_EXISTING = 0,
    PLAT_FILE_OPEN_ALWAYS = 1,
    PLAT_FILE_CREATE_NEW = 2,
    PLAT_FILE_CREATE_ALWAYS = 3,
};

// Open flags.
enum : uint32_t
{
    PLAT_FILE_FLAG_OVERLAPPED = 1,
    PLAT_FILE_FLAG_NO_BUFFERING = 2,
    PLAT_FILE_FLAG_NO_ACCESS_TIME = 4, // keep the last-access time as it was
    PLAT_FILE_FLAG_SEQUENTIAL_SCAN = 8,
    PLAT_FILE_FLAG_TEMPORARY = 16,
    PLAT_FILE_FLAG_DELETE_ON_CLOSE = 32,
};

// Attribute bits.
enum : uint32_t
{
    PLAT_FILE_ATTRIBUTE_READONLY = 0x1,
    PLAT_FILE_ATTRIBUTE_HIDDEN = 0x2,
    PLAT_FILE_ATTRIBUTE_DIRECTORY = 0x10,
    PLAT_FILE_ATTRIBUTE_NORMAL = 0x80,
};

uint32_t Plat_CreateFile(const PlatWChar* pwszPath, uint32_t unAccess, uint32_t unShare,
                         uint32_t unDisposition, uint32_t unFlags, PlatFileHandle* phFile);
uint32_t Plat_CloseFile(PlatFileHandle hFile);
uint32_t Plat_ReadFile(PlatFileHandle hFile, void* pvDest, uint32_t cubToRead, uint32_t* pcubRead);
// Reads at an absolute offset; the file position afterwards is unspecified.
uint32_t Plat_ReadFileAt(PlatFileHandle hFile, void* pvDest, uint32_t cubToRead, uint64_t ulOffset,
                         uint32_t* pcubRead);
uint32_t Plat_WriteFile(PlatFileHandle hFile, const void* pvData, uint32_t cubToWrite,
                        uint32_t* pcubWritten);
// nOrigin: 0 begin, 1 current, 2 end.
uint32_t Plat_SeekFile(PlatFileHandle hFile, int64_t lOffset, int nOrigin, uint64_t* pulNewPos);
uint32_t Plat_GetFileSize(PlatFileHandle hFile, uint64_t* pulSize);
uint32_t Plat_FlushFile(PlatFileHandle hFile);

uint32_t Plat_GetFileAttributes(const PlatWChar* pwszPath, uint32_t* punAttributes);
uint32_t Plat_CreateDirectory(const PlatWChar* pwszPath);
uint32_t Plat_RemoveDirectory(const PlatWChar* pwszPath);
uint32_t Plat_DeleteFile(const PlatWChar* pwszPath);
// Moves a file, replacing an existing target.
uint32_t Plat_MoveFileReplace(const PlatWChar* pwszFrom, const PlatWChar* pwszTo);
// Bytes per sector of the drive whose root is given ("C:\"); null means the
// current drive.
uint32_t Plat_GetDiskSectorSize(const PlatWChar* pwszRoot, uint32_t* punBytesPerSector);

// The identity of what a path names after following symbolic links: equal
// identities are the same file or directory, whatever the path.
struct PlatFileId
{
    uint64_t m_ulVolume;
    uint64_t m_ulIndex;
};
uint32_t Plat_GetFileId(const PlatWChar* pwszPath, PlatFileId* pId);
// Makes pwszLink a symbolic link to pwszTarget (a folder when bDirectory).
// Where the system does not offer links, or not to this user, the error says so.
uint32_t Plat_CreateSymbolicLink(const PlatWChar* pwszLink, const PlatWChar* pwszTarget,
                                 bool bDirectory);

// Directory search with a wildcard pattern in the last path element ('*', '?').
// Entries come in the system's order and include "." and "..".
struct PlatFindData
{
    uint32_t m_unAttributes;
    uint64_t m_ulSize;
    uint64_t m_ulLastWriteTime; // 100 ns units since 1601
    PlatWChar m_wszFileName[260];
};

typedef void* PlatFindHandle;

// Null when nothing matches (with PLAT_ERROR_FILE_NOT_FOUND) or on failure.
PlatFindHandle Plat_FindFirstFile(const PlatWChar* pwszPattern, PlatFindData* pData,
                                  uint32_t* punError);
// False when no entry is left (PLAT_ERROR_NO_MORE_FILES) or on failure.
bool Plat_FindNextFile(PlatFindHandle hFind, PlatFindData* pData, uint32_t* punError);
void Plat_FindClose(PlatFindHandle hFind);
