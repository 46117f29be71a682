// The C runtime's file calls, POSIX stand-in: '\' becomes '/', stat and
// opendir stand in for the wide calls, names match as on Windows.
#include "plinth/platform/platform_crtfile.h"
// Test beds put the fault hook in front of the stream open.
#define PLAT_FILE_SYSTEM_SIDE
#include "plinth/platform/platform_filefaults.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <sys/types.h>

#include "plinth/memalloc.h"
#include "plinth/platform/posix_support.h"

#define PLATFORM_CRTFILE_SOURCE "..\\plinth\\platform\\platform_crtfile_posix"

namespace
{

// A copy of the path with '/' separators; null when it does not fit.
bool PosixPath(const char* pszPath, char* pszOut, size_t nOutSize)
{
    size_t len = strlen(pszPath);
    if (len + 1 > nOutSize) return false;
    for (size_t i = 0; i <= len; ++i)
        pszOut[i] = pszPath[i] == '\\' ? '/' : pszPath[i];
    return true;
}

struct CrtFind_t
{
    DIR* m_pDir;
    char m_szDir[1024];
    char m_szPattern[1024];
};

bool NextMatch(CrtFind_t* pFind, PlatCrtFindData* pData)
{
    struct dirent* pEntry = Posix_ReadMatchingEntry(pFind->m_pDir, pFind->m_szPattern);
    if (!pEntry) return false;

    memset(pData, 0, sizeof(*pData));
    char szFull[2100];
    snprintf(szFull, sizeof(szFull), "%s/%s", pFind->m_szDir, pEntry->d_name);
    struct stat st;
    if (stat(szFull, &st) == 0)
    {
        pData->m_uAttributes = S_ISDIR(st.st_mode) ? PLAT_CRT_ATTRIBUTE_SUBDIR : 0x20;
        pData->m_uSize = S_ISDIR(st.st_mode) ? 0 : (uint32_t)st.st_size;
        pData->m_uAccessTime = (uint32_t)st.st_atime;
        pData->m_uWriteTime = (uint32_t)st.st_mtime;
        pData->m_uCreateTime = (uint32_t)st.st_ctime;
    }
    snprintf(pData->m_szName, sizeof(pData->m_szName), "%s", pEntry->d_name);
    return true;
}

} // namespace

FILE* Plat_CrtOpen(const char* pszPath, const char* pszMode)
{
    char szPath[4096];
    if (!pszPath || !pszMode || !PosixPath(pszPath, szPath, sizeof(szPath))) return nullptr;
    FILE* pFile = nullptr;
    auto open = [&](const char* pszOpen)
    {
        pFile = fopen(pszOpen, pszMode);
        return pFile ? 0 : -1;
    };
    PosixPathUse use;
    if (pszMode[0] != 'w' && pszMode[0] != 'a')
    {
        Posix_OnExistingPath(szPath, open, &use);
        return pFile;
    }
    // Writing: a file that matches the name in any case is the one written;
    // only a name that matches nothing is created, spelled as given.
    auto openExisting = [&](const char* pszOpen)
    {
        struct stat st;
        return stat(pszOpen, &st) == 0 ? open(pszOpen) : -1;
    };
    if (Posix_OnPathToCreate(szPath, openExisting, open, &use) == 0 && use.m_bNewName)
        Posix_NoteCreated(use);
    return pFile;
}

const char* Plat_CrtNullDevice()
{
    return "/dev/null";
}

bool Plat_CrtStat(const char* pszPath, PlatCrtStat* pStat)
{
    char szPath[4096];
    if (!pszPath || !PosixPath(pszPath, szPath, sizeof(szPath))) return false;
    struct stat st;
    auto statPath = [&](const char* pszStat) { return stat(pszStat, &st); };
    PosixPathUse use;
    if (Posix_OnExistingPath(szPath, statPath, &use) != 0) return false;
    pStat->m_bDirectory = S_ISDIR(st.st_mode);
    pStat->m_bRegular = S_ISREG(st.st_mode);
    pStat->m_uSize = (uint32_t)st.st_size;
    pStat->m_uAccessTime = (uint32_t)st.st_atime;
    pStat->m_uWriteTime = (uint32_t)st.st_mtime;
    pStat->m_uCreateTime = (uint32_t)st.st_ctime;
    return true;
}

PlatCrtFindHandle Plat_CrtFindFirst(const char* pszPattern, PlatCrtFindData* pData)
{
    char szPath[1024];
    if (!pszPattern || !PosixPath(pszPattern, szPath, sizeof(szPath))) return PLAT_CRT_FIND_NONE;

    CrtFind_t* pFind = static_cast<CrtFind_t*>(
        MemAlloc_AllocTagged(sizeof(CrtFind_t), PLATFORM_CRTFILE_SOURCE, __LINE__));
    if (!pFind) return PLAT_CRT_FIND_NONE;
    const char* pszDir;
    const char* pszNamePattern;
    Posix_SplitSearchPath(szPath, &pszDir, &pszNamePattern);
    snprintf(pFind->m_szPattern, sizeof(pFind->m_szPattern), "%s", pszNamePattern);
    // The folder is found in any case; the pattern matches names without case.
    pFind->m_pDir = nullptr;
    auto openFolder = [&](const char* pszOpen)
    {
        pFind->m_pDir = opendir(pszOpen);
        return pFind->m_pDir ? 0 : -1;
    };
    PosixPathUse use;
    if (pFind->m_szPattern[0]) Posix_OnExistingPath(pszDir, openFolder, &use);
    snprintf(pFind->m_szDir, sizeof(pFind->m_szDir), "%s", use.m_pszPath ? use.m_pszPath : "");
    if (!pFind->m_pDir || !NextMatch(pFind, pData))
    {
        if (pFind->m_pDir) closedir(pFind->m_pDir);
        MemAlloc_FreeTagged(pFind, PLATFORM_CRTFILE_SOURCE, __LINE__);
        return PLAT_CRT_FIND_NONE;
    }
    return (PlatCrtFindHandle)pFind;
}

bool Plat_CrtFindNext(PlatCrtFindHandle hFind, PlatCrtFindData* pData)
{
    if (hFind == PLAT_CRT_FIND_NONE || hFind == 0) return false;
    return NextMatch(reinterpret_cast<CrtFind_t*>(hFind), pData);
}

void Plat_CrtFindClose(PlatCrtFindHandle hFind)
{
    if (hFind == PLAT_CRT_FIND_NONE || hFind == 0) return;
    CrtFind_t* pFind = reinterpret_cast<CrtFind_t*>(hFind);
    closedir(pFind->m_pDir);
    MemAlloc_FreeTagged(pFind, PLATFORM_CRTFILE_SOURCE, __LINE__);
}
