// legacy_host: starts a session with the platform client through quern.dll,
// makes a few calls and ends the session, printing each call and its result.
//
//   legacy_host [path of the library]
//
// Without an argument the library is looked up by its file name beside the
// program, as an old game finds it in its own folder.
#include "examples/legacy_host/legacy_host_apps.h"
#include "examples/legacy_host/legacy_host_files.h"
#include "examples/legacy_host/legacy_host_iface.h"
#include "plinth/platform_modules.h"

#include "quern.h"

#include <cstdio>
#include <cstring>

namespace
{
#if defined(_WIN32)
const char kLibraryName[] = "quern.dll";
#else
const char kLibraryName[] = "libquern.so";
#endif

PlatModule g_hQuern;

template <class Fn> Fn Lookup(const char* pszName)
{
    Fn pfn = (Fn)Plat_GetProcAddress(g_hQuern, pszName);
    if (!pfn) printf("  (the library does not export %s)\n", pszName);
    return pfn;
}

void PrintError(const TQuernError& error)
{
    printf("    error record: failureType %d, \"%.255s\"\n", error.failureType, error.description);
}
} // namespace

int main(int argc, char** argv)
{
    const char* pszLibrary = argc > 1 ? argv[1] : kLibraryName;
    g_hQuern = Plat_LoadLibraryW(pszLibrary);
    if (!g_hQuern) g_hQuern = Plat_LoadLibraryA(pszLibrary);
    if (!g_hQuern)
    {
        printf("cannot load %s\n", pszLibrary);
        return 1;
    }
    printf("loaded %s\n", pszLibrary);

    auto pfnGetVersion = Lookup<int (*)(char*, uint32_t)>("QuernGetVersion");
    auto pfnStartup = Lookup<int (*)(uint32_t, TQuernError*)>("QuernStartup");
    auto pfnGetCurrentAppId = Lookup<int (*)(uint32_t*, TQuernError*)>("QuernGetCurrentAppId");
    auto pfnIsLoggedIn = Lookup<int (*)(int32_t*, TQuernError*)>("QuernIsLoggedIn");
    auto pfnGetCellId =
        Lookup<int (*)(uint32_t*, uint32_t*, TQuernError*)>("QuernGetCurrentCellID");
    auto pfnGetClientVersion =
        Lookup<int (*)(uint32_t*, uint32_t*, TQuernError*)>("QuernGetLocalClientVersion");
    auto pfnGetOfflineStatus =
        Lookup<int (*)(QuernOfflineStatus*, TQuernError*)>("QuernGetOfflineStatus");
    auto pfnLogin = Lookup<int (*)(const char*, const char*, uint32_t, TQuernError*)>("QuernLogin");
    auto pfnCleanup = Lookup<int (*)(TQuernError*)>("QuernCleanup");
    if (!pfnGetVersion || !pfnStartup || !pfnGetCurrentAppId || !pfnIsLoggedIn || !pfnGetCellId ||
        !pfnGetClientVersion || !pfnGetOfflineStatus || !pfnLogin || !pfnCleanup)
        return 1;

    TQuernError error;
    memset(&error, 0, sizeof(error));

    char szVersion[16] = {};
    int result = pfnGetVersion(szVersion, sizeof(szVersion));
    printf("QuernGetVersion -> %d, \"%s\"\n", result, szVersion);

    result = pfnStartup(0, &error);
    printf("QuernStartup(0) -> %d\n", result);
    PrintError(error);
    int exitCode = result == 1 ? 0 : 2;

    uint32_t appId = 0;
    result = pfnGetCurrentAppId(&appId, &error);
    printf("QuernGetCurrentAppId -> %d, app %u\n", result, appId);

    int32_t loggedIn = 0;
    result = pfnIsLoggedIn(&loggedIn, &error);
    printf("QuernIsLoggedIn -> %d, logged in %d\n", result, loggedIn);

    uint32_t cell1 = 0, cell2 = 0;
    result = pfnGetCellId(&cell1, &cell2, &error);
    printf("QuernGetCurrentCellID -> %d, %u %u\n", result, cell1, cell2);

    uint32_t version1 = 0, version2 = 0;
    result = pfnGetClientVersion(&version1, &version2, &error);
    printf("QuernGetLocalClientVersion -> %d, %u %u\n", result, version1, version2);

    QuernOfflineStatus status = {7, 7};
    result = pfnGetOfflineStatus(&status, &error);
    printf("QuernGetOfflineStatus -> %d, %d %d\n", result, status.value1, status.value2);

    result = pfnLogin("player", "secret", 0, &error);
    printf("QuernLogin -> %d\n", result);
    PrintError(error);

    if (!RunApplicationSection(g_hQuern) && exitCode == 0) exitCode = 4;
    if (!RunFileSection(g_hQuern) && exitCode == 0) exitCode = 5;

    result = pfnCleanup(&error);
    printf("QuernCleanup -> %d\n", result);
    PrintError(error);

    if (!RunInterfaceSection(g_hQuern) && exitCode == 0) exitCode = 3;

    Plat_FreeLibrary(g_hQuern);
    return exitCode;
}
