// Streams of the test beds that read, write and seek through the hooked file
// calls: glibc's cookie streams keep the runtime's own buffering on top.
#include "plinth/platform/platform_filefaults.h"

#ifdef QUERN_FILE_FAULTS

#include <cerrno>
#include <cstdio>
#include <unistd.h>

namespace
{
int CookieFd(void* pCookie)
{
    return static_cast<int>(reinterpret_cast<intptr_t>(pCookie));
}

ssize_t CookieRead(void* pCookie, char* pBuf, size_t cub)
{
    uint32_t cubRead = 0;
    if (Plat_ReadFile(CookieFd(pCookie), pBuf, static_cast<uint32_t>(cub), &cubRead) == 0)
        return cubRead;
    errno = EIO;
    return -1;
}

ssize_t CookieWrite(void* pCookie, const char* pBuf, size_t cub)
{
    uint32_t cubWritten = 0;
    const uint32_t unError =
        Plat_WriteFile(CookieFd(pCookie), pBuf, static_cast<uint32_t>(cub), &cubWritten);
    // Bytes that went through count; the runtime asks again for the rest.
    if (unError == 0 || cubWritten > 0) return cubWritten;
    errno = unError == PLAT_ERROR_DISK_FULL ? ENOSPC : EIO;
    return -1;
}

int CookieSeek(void* pCookie, off64_t* pOffset, int nWhence)
{
    uint64_t ulPos = 0;
    if (Plat_SeekFile(CookieFd(pCookie), *pOffset, nWhence, &ulPos) != 0)
    {
        errno = EINVAL;
        return -1;
    }
    *pOffset = static_cast<off64_t>(ulPos);
    return 0;
}

int CookieClose(void* pCookie)
{
    return close(CookieFd(pCookie));
}
} // namespace

bool Plat_FileFaultsReachStreams()
{
    return true;
}

FILE* PlatOs_FaultStream(FILE* pStream, const char* pszMode)
{
    // The stream's own descriptor (with its append mode) under a new stream.
    const int fd = dup(fileno(pStream));
    fclose(pStream);
    if (fd < 0) return nullptr;
    cookie_io_functions_t io = {CookieRead, CookieWrite, CookieSeek, CookieClose};
    FILE* pFaulty = fopencookie(reinterpret_cast<void*>(static_cast<intptr_t>(fd)), pszMode, io);
    if (!pFaulty) close(fd);
    return pFaulty;
}

#endif // QUERN_FILE_FAULTS
