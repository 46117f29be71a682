// legacy_host: starts a session with the platform client through quern.dll,
// makes a few calls and ends the session, printing each call and its result.
//
//   legacy_host [path of the library]
//
// Without an argument the library is looked up by its file name beside the
// program, as an old game finds it in its own folder.
//
// Exit code: 0 when every call answered as expected; otherwise the first
// part that did not: 1 the library or an export is missing, 2 start-up,
// 3 interface objects, 4 applications, 5 files, 6 mounting, 7 crash dumps.
#include "examples/legacy_host/legacy_host_apps.h"
#include "examples/legacy_host/legacy_host_dump.h"
#include "examples/legacy_host/legacy_host_files.h"
#include "examples/legacy_host/legacy_host_iface.h"
#include "examples/legacy_host/legacy_host_lookup.h"
#include "examples/legacy_host/legacy_host_mount.h"
#include "plinth/platform/platform_modules.h"

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

    bool bAll = true;
    auto pfnGetVersion = LOOKUP_EXPORT(g_hQuern, QuernGetVersion, bAll);
    auto pfnStartup = LOOKUP_EXPORT(g_hQuern, QuernStartup, bAll);
    auto pfnGetCurrentAppId = LOOKUP_EXPORT(g_hQuern, QuernGetCurrentAppId, bAll);
    auto pfnIsLoggedIn = LOOKUP_EXPORT(g_hQuern, QuernIsLoggedIn, bAll);
    auto pfnGetCellId = LOOKUP_EXPORT(g_hQuern, QuernGetCurrentCellID, bAll);
    auto pfnGetClientVersion = LOOKUP_EXPORT(g_hQuern, QuernGetLocalClientVersion, bAll);
    auto pfnGetOfflineStatus = LOOKUP_EXPORT(g_hQuern, QuernGetOfflineStatus, bAll);
    auto pfnLogin = LOOKUP_EXPORT(g_hQuern, QuernLogin, bAll);
    auto pfnCleanup = LOOKUP_EXPORT(g_hQuern, QuernCleanup, bAll);
    auto pfnUnmountApp = LOOKUP_EXPORT(g_hQuern, QuernUnmountAppFilesystem, bAll);
    if (!bAll) return 1;

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

    // No longer carried out: the account belongs to the platform client now.
    result = pfnLogin((QuernStubArg) "player", (QuernStubArg) "secret", 0, &error);
    printf("QuernLogin -> %d\n", result);
    PrintError(error);

    if (!RunApplicationSection(g_hQuern) && exitCode == 0) exitCode = 4;
    if (!RunMountSection(g_hQuern) && exitCode == 0) exitCode = 6;
    if (!RunFileSection(g_hQuern) && exitCode == 0) exitCode = 5;
    if (!RunCrashDumpSection(g_hQuern) && exitCode == 0) exitCode = 7;

    result = pfnCleanup(&error);
    printf("QuernCleanup -> %d\n", result);
    PrintError(error);
    if (!RunCrashDumpAfterCleanup(g_hQuern) && exitCode == 0) exitCode = 7;

    if (!RunInterfaceSection(g_hQuern) && exitCode == 0) exitCode = 3;

    // Packs outlive the session; a tidy game lets them go before it exits.
    printf("-- clean-up\n");
    result = pfnUnmountApp(&error);
    printf("QuernUnmountAppFilesystem -> %d\n", result);
    if (result != 1 && exitCode == 0) exitCode = 6;

    // A game keeps the library loaded until it exits, so what the library
    // holds for the process's life is never torn away under it.
    return exitCode;
}
