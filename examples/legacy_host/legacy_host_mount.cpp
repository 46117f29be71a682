// legacy_host: mounting, as an old game's loader did it when it wanted a
// depot's content on top of what start-up mounted.
#include "examples/legacy_host/legacy_host_mount.h"
#include "examples/legacy_host/legacy_host_lookup.h"

#include "quern.h"

#include <cstdio>
#include <cstring>

namespace
{
struct MountCalls
{
    decltype(&QuernOpenFile) pfnOpen;
    decltype(&QuernReadFile) pfnRead;
    decltype(&QuernCloseFile) pfnClose;
};

// Opens `pszPath`, prints where it was found and its first line; returns
// whether it was found in a pack.
bool ShowFirstLine(const MountCalls& calls, const char* pszPath)
{
    TQuernError error;
    memset(&error, 0, sizeof(error));
    uint32_t h = calls.pfnOpen(pszPath, "rb", &error);
    if (!h)
    {
        printf("QuernOpenFile(%s, rb) -> 0, failureType %d\n", pszPath, error.failureType);
        return false;
    }
    char buf[128];
    uint32_t n = calls.pfnRead(buf, 1, sizeof(buf) - 1, h, &error);
    buf[n] = '\0';
    char* pEnd = strchr(buf, '\n');
    if (pEnd) *pEnd = '\0';
    printf("QuernOpenFile(%s, rb) -> %s, first line \"%s\"\n", pszPath,
           (h & BND_FILE_HANDLE_FLAG) ? "pack" : "disk", buf);
    calls.pfnClose(h, &error);
    return (h & BND_FILE_HANDLE_FLAG) != 0;
}
} // namespace

bool RunMountSection(PlatModule hQuern)
{
    bool bAll = true;
    MountCalls calls;
    calls.pfnOpen = LOOKUP_EXPORT(hQuern, QuernOpenFile, bAll);
    calls.pfnRead = LOOKUP_EXPORT(hQuern, QuernReadFile, bAll);
    calls.pfnClose = LOOKUP_EXPORT(hQuern, QuernCloseFile, bAll);
    auto pfnMountApp = LOOKUP_EXPORT(hQuern, QuernMountAppFilesystem, bAll);
    auto pfnMount = LOOKUP_EXPORT(hQuern, QuernMountFilesystem, bAll);
    auto pfnUnmountApp = LOOKUP_EXPORT(hQuern, QuernUnmountAppFilesystem, bAll);
    if (!bAll) return false;

    bool bOk = true;
    TQuernError error;
    memset(&error, 0, sizeof(error));

    printf("-- mounting\n");
    // Start-up mounted what quern_bnds.kvt lists: depot 441 alone.
    bOk &= ShowFirstLine(calls, "maps\\e1.map");

    // The depot belongs to application 440 (QuernEnumerateApp said so), so it
    // is mounted from that application's install folder, on top.
    int result = pfnMount(442, "depot 442", &error);
    printf("QuernMountFilesystem(442) -> %d\n", result);
    bOk &= result == 1 && ShowFirstLine(calls, "maps\\e1.map");

    result = pfnUnmountApp(&error);
    printf("QuernUnmountAppFilesystem -> %d\n", result);
    bOk &= result == 1 && !ShowFirstLine(calls, "maps\\e1.map");

    // With nothing mounted, the configuration is read again.
    result = pfnMountApp(&error);
    printf("QuernMountAppFilesystem -> %d\n", result);
    bOk &= result == 1 && ShowFirstLine(calls, "maps\\e1.map");
    result = pfnMount(442, "depot 442", &error);
    printf("QuernMountFilesystem(442) -> %d\n", result);
    bOk &= result == 1 && ShowFirstLine(calls, "maps\\e1.map");
    return bOk;
}
