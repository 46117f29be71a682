// Helpers shared by the POSIX stand-ins of the platform layer.
#include "plinth/platform/posix_support.h"

#include "plinth/platform/platform_error.h"

#include <cerrno>
#include <cstring>

uint32_t Posix_ErrorFromErrno(int err)
{
    switch (err)
    {
    case 0:
        return PLAT_ERROR_SUCCESS;
    case ENOENT:
        return PLAT_ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
        return PLAT_ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
    case EBUSY:
        return PLAT_ERROR_ACCESS_DENIED;
    case EBADF:
        return PLAT_ERROR_INVALID_HANDLE;
    case EMFILE:
    case ENFILE:
        return PLAT_ERROR_TOO_MANY_OPEN_FILES;
    case ENOMEM:
        return PLAT_ERROR_NOT_ENOUGH_MEMORY;
    case EEXIST:
        return PLAT_ERROR_FILE_EXISTS;
    case EINVAL:
        return PLAT_ERROR_INVALID_PARAMETER;
    case ENOSPC:
        return PLAT_ERROR_DISK_FULL;
    case ENAMETOOLONG:
        return PLAT_ERROR_FILENAME_EXCED_RANGE;
    case ENOTEMPTY:
        return PLAT_ERROR_DIR_NOT_EMPTY;
    case EIO:
        return PLAT_ERROR_GEN_FAILURE;
    default:
        return PLAT_ERROR_GEN_FAILURE;
    }
}

void Posix_NameToWide(const char* pszName, PlatWChar* pwszOut, size_t cwchOut)
{
    size_t n = 0;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(pszName);
    while (*p && n + 2 < cwchOut)
    {
        uint32_t c = *p;
        int nExtra = 0;
        uint32_t unMin = 0;
        if (c >= 0xC2 && c <= 0xDF)
        {
            nExtra = 1;
            c &= 0x1F;
            unMin = 0x80;
        }
        else if (c >= 0xE0 && c <= 0xEF)
        {
            nExtra = 2;
            c &= 0x0F;
            unMin = 0x800;
        }
        else if (c >= 0xF0 && c <= 0xF4)
        {
            nExtra = 3;
            c &= 0x07;
            unMin = 0x10000;
        }
        else if (c >= 0x80)
        {
            pwszOut[n++] = static_cast<PlatWChar>(0xDC00 | *p++);
            continue;
        }
        bool bValid = true;
        for (int i = 1; i <= nExtra; ++i)
        {
            if ((p[i] & 0xC0) != 0x80)
            {
                bValid = false;
                break;
            }
            c = (c << 6) | (p[i] & 0x3F);
        }
        if (!bValid || c < unMin || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
        {
            pwszOut[n++] = static_cast<PlatWChar>(0xDC00 | *p++);
            continue;
        }
        p += 1 + nExtra;
        if (c >= 0x10000)
        {
            c -= 0x10000;
            pwszOut[n++] = static_cast<PlatWChar>(0xD800 | (c >> 10));
            pwszOut[n++] = static_cast<PlatWChar>(0xDC00 | (c & 0x3FF));
        }
        else
        {
            pwszOut[n++] = static_cast<PlatWChar>(c);
        }
    }
    pwszOut[n] = 0;
}

bool Posix_WindowsNameMatch(const char* pszPattern, const char* pszName)
{
    // The set of name positions reachable after the pattern read so far, one
    // flag per position. Directory entry names are at most 255 bytes; a
    // longer name is no entry name and matches nothing.
    constexpr size_t kMaxName = 1024;
    const size_t nName = strlen(pszName);
    if (nName >= kMaxName) return false;
    bool bReach[kMaxName + 1];
    memset(bReach, 0, (nName + 1) * sizeof(bool));
    bReach[0] = true;

    // Where the closing run of '.' and '*' begins: from there on, a name
    // that is used up matches whatever of the pattern is left.
    const char* pszTail = pszPattern + strlen(pszPattern);
    while (pszTail > pszPattern && (pszTail[-1] == '.' || pszTail[-1] == '*'))
        --pszTail;

    for (const char* p = pszPattern; *p; ++p)
    {
        if (p >= pszTail && bReach[nName]) return true;
        bool bAny = false;
        if (*p == '*')
        {
            // Every position from the first reachable one on.
            bool bSeen = false;
            for (size_t i = 0; i <= nName; ++i)
            {
                bSeen = bSeen || bReach[i];
                bReach[i] = bSeen;
            }
            bAny = bSeen;
        }
        else
        {
            // One character; walk backwards so that each position is read
            // before the step from the one below overwrites it.
            for (size_t i = nName + 1; i-- > 0;)
            {
                const bool bStep = bReach[i] && pszName[i] != '\0' &&
                                   (*p == '?' || LowerAscii(pszName[i]) == LowerAscii(*p));
                bReach[i] = false;
                if (bStep)
                {
                    bReach[i + 1] = true;
                    bAny = true;
                }
            }
        }
        if (!bAny) return false;
    }
    return bReach[nName];
}

void Posix_SplitSearchPath(char* pszPath, const char** ppszDir, const char** ppszPattern)
{
    char* pSlash = strrchr(pszPath, '/');
    if (!pSlash)
    {
        *ppszDir = ".";
        *ppszPattern = pszPath;
        return;
    }
    *pSlash = '\0';
    *ppszDir = (pSlash == pszPath) ? "/" : pszPath;
    *ppszPattern = pSlash + 1;
}

struct dirent* Posix_ReadMatchingEntry(DIR* pDir, const char* pszPattern)
{
    for (;;)
    {
        errno = 0;
        struct dirent* pEntry = readdir(pDir);
        if (!pEntry || Posix_WindowsNameMatch(pszPattern, pEntry->d_name)) return pEntry;
    }
}
