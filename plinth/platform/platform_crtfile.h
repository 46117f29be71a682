// The C runtime's file calls that the legacy file layer mirrors: stdio opens
// of paths as the caller spelled them, the wide stat and find-first/find-next
// with 32-bit times, and the null device.
//
// Windows: fopen, _wstat32, _wfindfirst32/_wfindnext32/_findclose and "nul:".
// POSIX stand-in: '\' is taken as a separator, stat/opendir stand in for the
// wide calls, each name of a path is found in any case as on Windows, and the
// search matches names as the Windows search does for the patterns old
// programs use ("*", "*.*", "name.*", "*.ext", '?').
#pragma once

#include <cstdint>
#include <cstdio>

// What the wide stat reports, in the C runtime's 32-bit form.
struct PlatCrtStat
{
    bool m_bDirectory;
    bool m_bRegular; // an ordinary file (not a directory, device, pipe, ...)
    uint32_t m_uSize;
    uint32_t m_uAccessTime; // seconds since 1970-01-01 UTC
    uint32_t m_uWriteTime;
    uint32_t m_uCreateTime;
};

// One result of the wide find-first/find-next, the name in UTF-8.
struct PlatCrtFindData
{
    uint32_t m_uAttributes; // 0x10: a subdirectory
    uint32_t m_uSize;
    uint32_t m_uAccessTime;
    uint32_t m_uWriteTime;
    uint32_t m_uCreateTime;
    char m_szName[1040];
};

constexpr uint32_t PLAT_CRT_ATTRIBUTE_SUBDIR = 0x10;

// Search handle; PLAT_CRT_FIND_NONE when nothing matched or on failure.
typedef intptr_t PlatCrtFindHandle;
constexpr PlatCrtFindHandle PLAT_CRT_FIND_NONE = -1;

// fopen of the path (POSIX: found in any case).
FILE* Plat_CrtOpen(const char* pszPath, const char* pszMode);
// Name of the null device for fopen ("nul:" on Windows).
const char* Plat_CrtNullDevice();
// False when the path cannot be stat'ed (pStat untouched).
bool Plat_CrtStat(const char* pszPath, PlatCrtStat* pStat);

PlatCrtFindHandle Plat_CrtFindFirst(const char* pszPattern, PlatCrtFindData* pData);
// False at the end (or for a bad handle).
bool Plat_CrtFindNext(PlatCrtFindHandle hFind, PlatCrtFindData* pData);
void Plat_CrtFindClose(PlatCrtFindHandle hFind);
