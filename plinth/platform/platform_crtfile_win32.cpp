// The C runtime's file calls on Windows: fopen, the wide stat and
// find-first/find-next, the null device "nul:". The system runtime's plain
// wide calls are the 32-bit-time ones in the 32-bit build; the 64-bit test
// build has no 32-bit-time entries, so times are narrowed here.
#include "plinth/platform/platform_crtfile.h"
// Test beds put the fault hook in front of the stream open.
#define PLAT_FILE_SYSTEM_SIDE
#include "plinth/platform/platform_filefaults.h"

#include <windows.h>

#include <cstring>
#include <io.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <wchar.h>

namespace
{

bool ToWide(const char* pszText, wchar_t* pwszOut, int cchOut)
{
    if (!pszText) return false;
    return MultiByteToWideChar(CP_UTF8, 0, pszText, -1, pwszOut, cchOut) > 0;
}

void FillFindData(const struct _wfinddata_t& found, PlatCrtFindData* pData)
{
    pData->m_uAttributes = found.attrib;
    pData->m_uSize = (uint32_t)found.size;
    pData->m_uAccessTime = (uint32_t)found.time_access;
    pData->m_uWriteTime = (uint32_t)found.time_write;
    pData->m_uCreateTime = (uint32_t)found.time_create;
    if (WideCharToMultiByte(CP_UTF8, 0, found.name, -1, pData->m_szName,
                            (int)sizeof(pData->m_szName), nullptr, nullptr) <= 0)
        pData->m_szName[0] = '\0';
}

} // namespace

FILE* Plat_CrtOpen(const char* pszPath, const char* pszMode)
{
    if (!pszPath || !pszMode) return nullptr;
    return fopen(pszPath, pszMode);
}

const char* Plat_CrtNullDevice()
{
    return "nul:";
}

bool Plat_CrtStat(const char* pszPath, PlatCrtStat* pStat)
{
    wchar_t wszPath[MAX_PATH * 4];
    if (!ToWide(pszPath, wszPath, (int)(sizeof(wszPath) / sizeof(wszPath[0])))) return false;
    struct _stat st;
    if (_wstat(wszPath, &st) != 0) return false;
    pStat->m_bDirectory = (st.st_mode & _S_IFMT) == _S_IFDIR;
    pStat->m_bRegular = (st.st_mode & _S_IFMT) == _S_IFREG;
    pStat->m_uSize = (uint32_t)st.st_size;
    pStat->m_uAccessTime = (uint32_t)st.st_atime;
    pStat->m_uWriteTime = (uint32_t)st.st_mtime;
    pStat->m_uCreateTime = (uint32_t)st.st_ctime;
    return true;
}

PlatCrtFindHandle Plat_CrtFindFirst(const char* pszPattern, PlatCrtFindData* pData)
{
    wchar_t wszPattern[MAX_PATH * 4];
    if (!ToWide(pszPattern, wszPattern, (int)(sizeof(wszPattern) / sizeof(wszPattern[0]))))
        return PLAT_CRT_FIND_NONE;
    struct _wfinddata_t found;
    intptr_t hFind = _wfindfirst(wszPattern, &found);
    if (hFind == -1) return PLAT_CRT_FIND_NONE;
    FillFindData(found, pData);
    return hFind;
}

bool Plat_CrtFindNext(PlatCrtFindHandle hFind, PlatCrtFindData* pData)
{
    if (hFind == PLAT_CRT_FIND_NONE) return false;
    struct _wfinddata_t found;
    if (_wfindnext(hFind, &found) != 0) return false;
    FillFindData(found, pData);
    return true;
}

void Plat_CrtFindClose(PlatCrtFindHandle hFind)
{
    if (hFind != PLAT_CRT_FIND_NONE) _findclose(hFind);
}
