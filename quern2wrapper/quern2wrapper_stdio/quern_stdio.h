// The legacy file calls: mounting, stdio-like file handles, stat, directory
// search and local copies. Pack files and disk files share one handle space.
#pragma once

#include "quern2wrapper/include/quern.h"

#include <stddef.h>
#include <stdint.h>

/* Set in handles that name a file inside a mounted pack. */
#define BND_FILE_HANDLE_FLAG 0x40000000u
/* With BND_FILE_HANDLE_FLAG: the pack file was opened in text mode. */
#define BND_TEXT_MODE_FLAG 0x20000000u

typedef uint32_t QuernFileHandle;
typedef uint32_t QuernFindHandle;

#ifndef QUERN_ELEMINFO_DEFINED
#define QUERN_ELEMINFO_DEFINED
/* Stat and search record (280 bytes). Times are seconds since 1970 UTC. */
typedef struct QuernElemInfo
{
    int32_t isDirectory;
    uint32_t size;
    int32_t isLocal; /* 1 found on disk, 0 found in a pack */
    char name[256];
    uint32_t lastAccessTime;
    uint32_t lastModificationTime;
    uint32_t creationTime;
} QuernElemInfo;
#endif

#ifdef __cplusplus
static_assert(sizeof(QuernElemInfo) == 280, "QuernElemInfo layout");
static_assert(offsetof(QuernElemInfo, size) == 4, "QuernElemInfo layout");
static_assert(offsetof(QuernElemInfo, isLocal) == 8, "QuernElemInfo layout");
static_assert(offsetof(QuernElemInfo, name) == 12, "QuernElemInfo layout");
static_assert(offsetof(QuernElemInfo, lastAccessTime) == 268, "QuernElemInfo layout");
static_assert(offsetof(QuernElemInfo, lastModificationTime) == 272, "QuernElemInfo layout");
static_assert(offsetof(QuernElemInfo, creationTime) == 276, "QuernElemInfo layout");
#endif

/* Mounting */
QUERN_EXTERN_C int QuernMountAppFilesystem(TQuernError* pError);
QUERN_EXTERN_C int QuernMountFilesystem(uint32_t depotId, const char* pszPath,
                                        TQuernError* pError);
QUERN_EXTERN_C int QuernUnmountAppFilesystem(TQuernError* pError);

/* File handles and streams */
QUERN_EXTERN_C QuernFileHandle QuernOpenFile(const char* pszPath, const char* pszMode,
                                             TQuernError* pError);
QUERN_EXTERN_C QuernFileHandle QuernOpenFileEx(const char* pszPath, const char* pszMode,
                                               uint32_t* pSize, TQuernError* pError);
QUERN_EXTERN_C QuernFileHandle QuernOpenTmpFile(TQuernError* pError);
QUERN_EXTERN_C int QuernCloseFile(QuernFileHandle hFile, TQuernError* pError);
QUERN_EXTERN_C uint32_t QuernReadFile(void* pBuffer, uint32_t elementSize, uint32_t count,
                                      QuernFileHandle hFile, TQuernError* pError);
QUERN_EXTERN_C uint32_t QuernWriteFile(const void* pData, uint32_t elementSize, uint32_t count,
                                       QuernFileHandle hFile, TQuernError* pError);
QUERN_EXTERN_C int QuernSeekFile(QuernFileHandle hFile, int32_t offset, uint32_t origin,
                                 TQuernError* pError);
QUERN_EXTERN_C int32_t QuernTellFile(QuernFileHandle hFile, TQuernError* pError);
QUERN_EXTERN_C int32_t QuernSizeFile(QuernFileHandle hFile, TQuernError* pError);
QUERN_EXTERN_C int QuernFlushFile(QuernFileHandle hFile, TQuernError* pError);
QUERN_EXTERN_C int QuernGetc(QuernFileHandle hFile, TQuernError* pError);
QUERN_EXTERN_C int QuernPutc(int ch, QuernFileHandle hFile, TQuernError* pError);
QUERN_EXTERN_C int QuernPrintFile(QuernFileHandle hFile, TQuernError* pError,
                                  const char* pszFormat, ...);
QUERN_EXTERN_C int QuernSetvBuf(QuernFileHandle hFile, void* pBuffer, uint32_t mode,
                                uint32_t size, TQuernError* pError);

/* Stat, search and local copies */
QUERN_EXTERN_C int QuernStat(const char* pszPath, QuernElemInfo* pInfo, TQuernError* pError);
QUERN_EXTERN_C int QuernIsFileImmediatelyAvailable(const char* pszPath, TQuernError* pError);
QUERN_EXTERN_C QuernFindHandle QuernFindFirst(const char* pszPattern, uint32_t filter,
                                              QuernElemInfo* pInfo, TQuernError* pError);
QUERN_EXTERN_C int QuernFindNext(QuernFindHandle hFind, QuernElemInfo* pInfo,
                                 TQuernError* pError);
QUERN_EXTERN_C int QuernFindClose(QuernFindHandle hFind, TQuernError* pError);
QUERN_EXTERN_C int QuernGetLocalFileCopy(const char* pszPath, TQuernError* pError);
