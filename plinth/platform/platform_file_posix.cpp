// Files and directories, POSIX stand-in: same contract as the Windows side.
// Wide long-path names are turned back into UTF-8 POSIX paths; errno values are
// mapped onto the Windows error codes callers expect.
#include "plinth/platform/platform_file.h"
// Test beds put the fault hook in front of these calls.
#define PLAT_FILE_SYSTEM_SIDE
#include "plinth/platform/platform_filefaults.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctype.h>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/types.h>
#include <unistd.h>

#include "plinth/memalloc.h"
#include "plinth/platform/posix_support.h"

#define PLATFORM_FILE_SOURCE "..\\plinth\\platform\\platform_file_posix"

namespace
{

// A heap UTF-8 copy of a wide path, in POSIX form. Lone low surrogates
// U+DC80..U+DCFF stand for raw bytes of names that are not UTF-8 (the
// directory search produces them), so every existing name can be reached.
class CPosixPath
{
public:
    explicit CPosixPath(const PlatWChar* pwszPath) : m_psz(nullptr), m_unError(0)
    {
        if (!pwszPath || !pwszPath[0])
        {
            m_unError = PLAT_ERROR_PATH_NOT_FOUND;
            return;
        }
        size_t cwch = 0;
        while (pwszPath[cwch])
            ++cwch;

        const PlatWChar* pwsz = pwszPath;
        bool bUNC = false;
        static const char16_t s_szUNC[] = u"\\\\?\\UNC\\";
        static const char16_t s_szLong[] = u"\\\\?\\";
        if (cwch >= 8 && memcmp(pwsz, s_szUNC, 8 * sizeof(char16_t)) == 0)
        {
            pwsz += 8;
            bUNC = true;
        }
        else if (cwch >= 4 && memcmp(pwsz, s_szLong, 4 * sizeof(char16_t)) == 0)
        {
            pwsz += 4;
        }

        m_psz =
            static_cast<char*>(MemAlloc_AllocTagged(cwch * 3 + 4, PLATFORM_FILE_SOURCE, __LINE__));
        char* pOut = m_psz;
        if (bUNC)
        {
            *pOut++ = '/';
            *pOut++ = '/';
        }
        for (; *pwsz; ++pwsz)
        {
            uint32_t c = *pwsz;
            if (c >= 0xD800 && c <= 0xDBFF && pwsz[1] >= 0xDC00 && pwsz[1] <= 0xDFFF)
            {
                c = 0x10000 + ((c - 0xD800) << 10) + (pwsz[1] - 0xDC00);
                ++pwsz;
            }
            else if (c >= 0xDC80 && c <= 0xDCFF)
            {
                *pOut++ = static_cast<char>(c & 0xFF);
                continue;
            }
            else if (c >= 0xD800 && c <= 0xDFFF)
            {
                m_unError = PLAT_ERROR_INVALID_NAME;
                break;
            }
            if (c == '\\') c = '/';
            if (c < 0x80)
                *pOut++ = static_cast<char>(c);
            else if (c < 0x800)
            {
                *pOut++ = static_cast<char>(0xC0 | (c >> 6));
                *pOut++ = static_cast<char>(0x80 | (c & 0x3F));
            }
            else if (c < 0x10000)
            {
                *pOut++ = static_cast<char>(0xE0 | (c >> 12));
                *pOut++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
                *pOut++ = static_cast<char>(0x80 | (c & 0x3F));
            }
            else
            {
                *pOut++ = static_cast<char>(0xF0 | (c >> 18));
                *pOut++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
                *pOut++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
                *pOut++ = static_cast<char>(0x80 | (c & 0x3F));
            }
        }
        *pOut = 0;

        // Drive-letter paths have no meaning here; refuse them rather than
        // touching a relative "C:" folder.
        if (!m_unError && isalpha(static_cast<unsigned char>(m_psz[0])) && m_psz[1] == ':')
            m_unError = PLAT_ERROR_PATH_NOT_FOUND;
        if (!m_unError && !m_psz[0]) m_unError = PLAT_ERROR_PATH_NOT_FOUND;
    }

    ~CPosixPath()
    {
        if (m_psz) MemAlloc_FreeTagged(m_psz, PLATFORM_FILE_SOURCE, __LINE__);
    }

    CPosixPath(const CPosixPath&) = delete;
    CPosixPath& operator=(const CPosixPath&) = delete;

    const char* Get() const { return m_psz; }
    char* Get() { return m_psz; }
    uint32_t Error() const { return m_unError; }

private:
    char* m_psz;
    uint32_t m_unError;
};

// The "existing" half of a call that only makes new names: an entry there,
// in any case, is EEXIST.
int RefuseExisting(const char* pszPath)
{
    struct stat st;
    if (lstat(pszPath, &st) != 0) return -1;
    errno = EEXIST;
    return -1;
}

int Fd(PlatFileHandle hFile)
{
    return static_cast<int>(hFile);
}

struct PosixFind_t
{
    DIR* m_pDir;
    int m_nDirFd;
    char* m_pszPattern;
};

// Advances to the next entry matching the pattern; false at the end.
bool FindNextMatch(PosixFind_t* pFind, PlatFindData* pData, uint32_t* punError)
{
    struct dirent* pEntry = Posix_ReadMatchingEntry(pFind->m_pDir, pFind->m_pszPattern);
    if (!pEntry)
    {
        *punError = errno ? Posix_ErrorFromErrno(errno) : PLAT_ERROR_NO_MORE_FILES;
        return false;
    }

    memset(pData, 0, sizeof(*pData));
    struct stat st;
    if (fstatat(pFind->m_nDirFd, pEntry->d_name, &st, 0) == 0)
    {
        pData->m_unAttributes =
            S_ISDIR(st.st_mode) ? PLAT_FILE_ATTRIBUTE_DIRECTORY : PLAT_FILE_ATTRIBUTE_NORMAL;
        if (!(st.st_mode & S_IWUSR)) pData->m_unAttributes |= PLAT_FILE_ATTRIBUTE_READONLY;
        pData->m_ulSize = S_ISDIR(st.st_mode) ? 0 : static_cast<uint64_t>(st.st_size);
        // Seconds since 1970 to 100 ns units since 1601.
        pData->m_ulLastWriteTime =
            (static_cast<uint64_t>(st.st_mtime) + 11644473600ull) * 10000000ull;
    }
    else
    {
        pData->m_unAttributes = PLAT_FILE_ATTRIBUTE_NORMAL;
    }
    Posix_NameToWide(pEntry->d_name, pData->m_wszFileName,
                     sizeof(pData->m_wszFileName) / sizeof(pData->m_wszFileName[0]));
    *punError = 0;
    return true;
}

} // namespace

uint32_t Plat_CreateFile(const PlatWChar* pwszPath, uint32_t unAccess, uint32_t unShare,
                         uint32_t unDisposition, uint32_t unFlags, PlatFileHandle* phFile)
{
    (void)unShare; // no sharing modes here
    *phFile = PLAT_INVALID_FILE;
    CPosixPath path(pwszPath);
    if (path.Error()) return path.Error();

    int nOpen = O_CLOEXEC;
    switch (unAccess)
    {
    case PLAT_FILE_ACCESS_READ:
        nOpen |= O_RDONLY;
        break;
    case PLAT_FILE_ACCESS_WRITE:
        nOpen |= O_WRONLY;
        break;
    case PLAT_FILE_ACCESS_READ | PLAT_FILE_ACCESS_WRITE:
        nOpen |= O_RDWR;
        break;
    default:
        return PLAT_ERROR_INVALID_PARAMETER;
    }
    switch (unDisposition)
    {
    case PLAT_FILE_OPEN_EXISTING:
        break;
    case PLAT_FILE_OPEN_ALWAYS:
        nOpen |= O_CREAT;
        break;
    case PLAT_FILE_CREATE_NEW:
        nOpen |= O_CREAT | O_EXCL;
        break;
    case PLAT_FILE_CREATE_ALWAYS:
        nOpen |= O_CREAT | O_TRUNC;
        break;
    default:
        return PLAT_ERROR_INVALID_PARAMETER;
    }

    // A name that matches an existing file in any case opens that file (or,
    // for a new one, is refused); only a name that matches nothing is
    // created, spelled as the caller spelled it.
    int fd = -1;
    const int nOpenExisting = nOpen & ~(O_CREAT | O_EXCL);
    auto openExisting = [&](const char* pszPath)
    {
        if (unDisposition == PLAT_FILE_CREATE_NEW) return RefuseExisting(pszPath);
        do
        {
            fd = open(pszPath, nOpenExisting, 0666);
        } while (fd < 0 && errno == EINTR);
        return fd;
    };
    auto create = [&](const char* pszPath)
    {
        do
        {
            fd = open(pszPath, nOpen, 0666);
        } while (fd < 0 && errno == EINTR);
        return fd;
    };
    PosixPathUse use;
    const int nResult = (nOpen & O_CREAT)
                            ? Posix_OnPathToCreate(path.Get(), openExisting, create, &use)
                            : Posix_OnExistingPath(path.Get(), openExisting, &use);
    if (nResult < 0)
    {
        // A missing folder on the way is "path not found", as on Windows.
        if (errno == ENOENT && !use.m_bFolderFound) return PLAT_ERROR_PATH_NOT_FOUND;
        return Posix_ErrorFromErrno(errno);
    }
    if (use.m_bNewName) Posix_NoteCreated(use);

    // Directories cannot be opened as files.
    struct stat st;
    if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode))
    {
        close(fd);
        return PLAT_ERROR_ACCESS_DENIED;
    }
    if (unFlags & PLAT_FILE_FLAG_SEQUENTIAL_SCAN) posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    // The name goes away now rather than at the close; the data lives on
    // until the last descriptor is closed.
    if ((unFlags & PLAT_FILE_FLAG_DELETE_ON_CLOSE) && unlink(use.m_pszPath) == 0)
        Posix_NoteRemoved(use.m_pszPath);

    *phFile = static_cast<PlatFileHandle>(fd);
    return 0;
}

uint32_t Plat_CloseFile(PlatFileHandle hFile)
{
    if (hFile == PLAT_INVALID_FILE) return PLAT_ERROR_INVALID_HANDLE;
    if (close(Fd(hFile)) != 0 && errno != EINTR) return Posix_ErrorFromErrno(errno);
    return 0;
}

uint32_t Plat_ReadFile(PlatFileHandle hFile, void* pvDest, uint32_t cubToRead, uint32_t* pcubRead)
{
    *pcubRead = 0;
    uint32_t cubDone = 0;
    while (cubDone < cubToRead)
    {
        const ssize_t n =
            read(Fd(hFile), static_cast<char*>(pvDest) + cubDone, cubToRead - cubDone);
        if (n < 0)
        {
            if (errno == EINTR) continue;
            *pcubRead = cubDone;
            return Posix_ErrorFromErrno(errno);
        }
        if (n == 0) break;
        cubDone += static_cast<uint32_t>(n);
    }
    *pcubRead = cubDone;
    return 0;
}

uint32_t Plat_ReadFileAt(PlatFileHandle hFile, void* pvDest, uint32_t cubToRead, uint64_t ulOffset,
                         uint32_t* pcubRead)
{
    *pcubRead = 0;
    uint32_t cubDone = 0;
    while (cubDone < cubToRead)
    {
        const ssize_t n = pread(Fd(hFile), static_cast<char*>(pvDest) + cubDone,
                                cubToRead - cubDone, static_cast<off_t>(ulOffset + cubDone));
        if (n < 0)
        {
            if (errno == EINTR) continue;
            *pcubRead = cubDone;
            return Posix_ErrorFromErrno(errno);
        }
        if (n == 0) break;
        cubDone += static_cast<uint32_t>(n);
    }
    *pcubRead = cubDone;
    return 0;
}

uint32_t Plat_WriteFile(PlatFileHandle hFile, const void* pvData, uint32_t cubToWrite,
                        uint32_t* pcubWritten)
{
    *pcubWritten = 0;
    uint32_t cubDone = 0;
    while (cubDone < cubToWrite)
    {
        const ssize_t n =
            write(Fd(hFile), static_cast<const char*>(pvData) + cubDone, cubToWrite - cubDone);
        if (n < 0)
        {
            if (errno == EINTR) continue;
            *pcubWritten = cubDone;
            return Posix_ErrorFromErrno(errno);
        }
        if (n == 0) break;
        cubDone += static_cast<uint32_t>(n);
    }
    *pcubWritten = cubDone;
    return 0;
}

uint32_t Plat_SeekFile(PlatFileHandle hFile, int64_t lOffset, int nOrigin, uint64_t* pulNewPos)
{
    int nWhence;
    switch (nOrigin)
    {
    case 0:
        nWhence = SEEK_SET;
        break;
    case 1:
        nWhence = SEEK_CUR;
        break;
    case 2:
        nWhence = SEEK_END;
        break;
    default:
        return PLAT_ERROR_INVALID_PARAMETER;
    }
    const off_t pos = lseek(Fd(hFile), static_cast<off_t>(lOffset), nWhence);
    if (pos < 0) return errno == EINVAL ? PLAT_ERROR_NEGATIVE_SEEK : Posix_ErrorFromErrno(errno);
    if (pulNewPos) *pulNewPos = static_cast<uint64_t>(pos);
    return 0;
}

uint32_t Plat_GetFileSize(PlatFileHandle hFile, uint64_t* pulSize)
{
    struct stat st;
    if (fstat(Fd(hFile), &st) != 0) return Posix_ErrorFromErrno(errno);
    *pulSize = static_cast<uint64_t>(st.st_size);
    return 0;
}

uint32_t Plat_FlushFile(PlatFileHandle hFile)
{
    if (fsync(Fd(hFile)) != 0 && errno != EINVAL) return Posix_ErrorFromErrno(errno);
    return 0;
}

uint32_t Plat_GetFileAttributes(const PlatWChar* pwszPath, uint32_t* punAttributes)
{
    *punAttributes = 0;
    CPosixPath path(pwszPath);
    if (path.Error()) return path.Error();
    struct stat st;
    auto statPath = [&](const char* pszPath) { return stat(pszPath, &st); };
    PosixPathUse use;
    if (Posix_OnExistingPath(path.Get(), statPath, &use) != 0) return Posix_ErrorFromErrno(errno);
    uint32_t unAttributes =
        S_ISDIR(st.st_mode) ? PLAT_FILE_ATTRIBUTE_DIRECTORY : PLAT_FILE_ATTRIBUTE_NORMAL;
    if (!(st.st_mode & S_IWUSR)) unAttributes |= PLAT_FILE_ATTRIBUTE_READONLY;
    *punAttributes = unAttributes;
    return 0;
}

uint32_t Plat_GetFileId(const PlatWChar* pwszPath, PlatFileId* pId)
{
    pId->m_ulVolume = pId->m_ulIndex = 0;
    CPosixPath path(pwszPath);
    if (path.Error()) return path.Error();
    struct stat st;
    auto statPath = [&](const char* pszPath) { return stat(pszPath, &st); };
    PosixPathUse use;
    if (Posix_OnExistingPath(path.Get(), statPath, &use) != 0) return Posix_ErrorFromErrno(errno);
    pId->m_ulVolume = static_cast<uint64_t>(st.st_dev);
    pId->m_ulIndex = static_cast<uint64_t>(st.st_ino);
    return 0;
}

uint32_t Plat_CreateSymbolicLink(const PlatWChar* pwszLink, const PlatWChar* pwszTarget, bool)
{
    CPosixPath link(pwszLink);
    if (link.Error()) return link.Error();
    CPosixPath target(pwszTarget);
    if (target.Error()) return target.Error();
    auto makeLink = [&](const char* pszPath) { return symlink(target.Get(), pszPath); };
    PosixPathUse use;
    if (Posix_OnPathToCreate(link.Get(), RefuseExisting, makeLink, &use) != 0)
        return Posix_ErrorFromErrno(errno);
    Posix_NoteCreated(use);
    return 0;
}

uint32_t Plat_CreateDirectory(const PlatWChar* pwszPath)
{
    CPosixPath path(pwszPath);
    if (path.Error()) return path.Error();
    auto makeFolder = [](const char* pszPath) { return mkdir(pszPath, 0777); };
    PosixPathUse use;
    if (Posix_OnPathToCreate(path.Get(), RefuseExisting, makeFolder, &use) != 0)
    {
        if (errno == EEXIST) return PLAT_ERROR_ALREADY_EXISTS;
        if (errno == ENOENT) return PLAT_ERROR_PATH_NOT_FOUND;
        return Posix_ErrorFromErrno(errno);
    }
    Posix_NoteCreated(use);
    return 0;
}

uint32_t Plat_RemoveDirectory(const PlatWChar* pwszPath)
{
    CPosixPath path(pwszPath);
    if (path.Error()) return path.Error();
    auto removeFolder = [](const char* pszPath) { return rmdir(pszPath); };
    PosixPathUse use;
    if (Posix_OnExistingPath(path.Get(), removeFolder, &use) != 0)
        return Posix_ErrorFromErrno(errno);
    Posix_NoteRemoved(use.m_pszPath);
    return 0;
}

uint32_t Plat_DeleteFile(const PlatWChar* pwszPath)
{
    CPosixPath path(pwszPath);
    if (path.Error()) return path.Error();
    auto removeFile = [](const char* pszPath) { return unlink(pszPath); };
    PosixPathUse use;
    if (Posix_OnExistingPath(path.Get(), removeFile, &use) != 0) return Posix_ErrorFromErrno(errno);
    Posix_NoteRemoved(use.m_pszPath);
    return 0;
}

uint32_t Plat_MoveFileReplace(const PlatWChar* pwszFrom, const PlatWChar* pwszTo)
{
    CPosixPath from(pwszFrom);
    if (from.Error()) return from.Error();
    CPosixPath to(pwszTo);
    if (to.Error()) return to.Error();
    // The target replaces an entry that matches it in any case; a new one
    // takes the caller's spelling.
    const char* pszFrom = nullptr;
    auto replace = [&](const char* pszTo)
    {
        struct stat st;
        return lstat(pszTo, &st) == 0 ? rename(pszFrom, pszTo) : -1;
    };
    auto moveTo = [&](const char* pszTo) { return rename(pszFrom, pszTo); };
    PosixPathUse useTo;
    auto move = [&](const char* pszFromPath)
    {
        pszFrom = pszFromPath;
        return Posix_OnPathToCreate(to.Get(), replace, moveTo, &useTo);
    };
    PosixPathUse useFrom;
    if (Posix_OnExistingPath(from.Get(), move, &useFrom) != 0) return Posix_ErrorFromErrno(errno);
    Posix_NoteRemoved(useFrom.m_pszPath);
    Posix_NoteCreated(useTo);
    return 0;
}

uint32_t Plat_GetDiskSectorSize(const PlatWChar* pwszRoot, uint32_t* punBytesPerSector)
{
    *punBytesPerSector = 0;
    struct statvfs sv;
    if (pwszRoot)
    {
        CPosixPath root(pwszRoot);
        if (root.Error()) return root.Error();
        auto statRoot = [&](const char* pszPath) { return statvfs(pszPath, &sv); };
        PosixPathUse use;
        if (Posix_OnExistingPath(root.Get(), statRoot, &use) != 0)
            return Posix_ErrorFromErrno(errno);
    }
    else if (statvfs(".", &sv) != 0)
    {
        return Posix_ErrorFromErrno(errno);
    }
    // The logical sector size is not visible through the file system; report
    // the classic disk sector.
    *punBytesPerSector = 512;
    return 0;
}

PlatFindHandle Plat_FindFirstFile(const PlatWChar* pwszPattern, PlatFindData* pData,
                                  uint32_t* punError)
{
    CPosixPath path(pwszPattern);
    if (path.Error())
    {
        *punError = path.Error();
        return nullptr;
    }
    const char* pszDir;
    const char* pszPattern;
    Posix_SplitSearchPath(path.Get(), &pszDir, &pszPattern);
    if (!pszPattern[0])
    {
        *punError = PLAT_ERROR_FILE_NOT_FOUND;
        return nullptr;
    }

    DIR* pDir = nullptr;
    auto openFolder = [&](const char* pszPath)
    {
        pDir = opendir(pszPath);
        return pDir ? 0 : -1;
    };
    PosixPathUse use;
    if (Posix_OnExistingPath(pszDir, openFolder, &use) != 0)
    {
        *punError = (errno == ENOENT || errno == ENOTDIR) ? PLAT_ERROR_PATH_NOT_FOUND
                                                          : Posix_ErrorFromErrno(errno);
        return nullptr;
    }
    PosixFind_t* pFind = static_cast<PosixFind_t*>(
        MemAlloc_AllocTagged(sizeof(PosixFind_t), PLATFORM_FILE_SOURCE, __LINE__));
    const size_t cchPattern = strlen(pszPattern) + 1;
    pFind->m_pDir = pDir;
    pFind->m_nDirFd = dirfd(pDir);
    pFind->m_pszPattern =
        static_cast<char*>(MemAlloc_AllocTagged(cchPattern, PLATFORM_FILE_SOURCE, __LINE__));
    memcpy(pFind->m_pszPattern, pszPattern, cchPattern);

    if (!FindNextMatch(pFind, pData, punError))
    {
        if (*punError == PLAT_ERROR_NO_MORE_FILES) *punError = PLAT_ERROR_FILE_NOT_FOUND;
        Plat_FindClose(pFind);
        return nullptr;
    }
    return pFind;
}

bool Plat_FindNextFile(PlatFindHandle hFind, PlatFindData* pData, uint32_t* punError)
{
    uint32_t unError = 0;
    const bool bFound = hFind && FindNextMatch(static_cast<PosixFind_t*>(hFind), pData, &unError);
    if (!hFind) unError = PLAT_ERROR_INVALID_HANDLE;
    if (punError) *punError = unError;
    return bFound;
}

void Plat_FindClose(PlatFindHandle hFind)
{
    if (!hFind) return;
    PosixFind_t* pFind = static_cast<PosixFind_t*>(hFind);
    closedir(pFind->m_pDir);
    MemAlloc_FreeTagged(pFind->m_pszPattern, PLATFORM_FILE_SOURCE, __LINE__);
    MemAlloc_FreeTagged(pFind, PLATFORM_FILE_SOURCE, __LINE__);
}
