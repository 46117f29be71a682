// Crash-dump entry points: the dumps are written by the platform's crash-dump
// module "Quern2.dll", loaded from the client library's folder.
#include "quern2wrapper/minidump_entry.h"

#include "quern2wrapper/clientconnection.h"
#include "quern2wrapper/include/quern.h"
#include "quern2wrapper/quern_export.h"
#include "quern2wrapper/session.h"
#include "trestle/interface.h"
#include "trestle/strtools.h"

PlatModule g_hDumpModule;
QuernWriteMiniDumpWithBuildIdFn g_pfnWriteMiniDumpWithBuildId;
QuernWriteMiniDumpSetCommentFn g_pfnWriteMiniDumpSetComment;

// MAX_PATH: the module path is bounded as the platform's own paths are.
static const int s_cbDumpModulePath = 260;

QUERN_EXPORT int QuernMiniDumpInit()
{
    FindClientLibraryPath(nullptr, 0);

    char szPath[s_cbDumpModulePath];
    V_BoundedFormat(szPath, sizeof(szPath), "%s%c%s", g_szClientDir, '\\', "Quern2.dll");
    g_hDumpModule = LoadModule(szPath, 0);
    if (!g_hDumpModule) return 0;

    g_pfnWriteMiniDumpWithBuildId = (QuernWriteMiniDumpWithBuildIdFn)Plat_GetProcAddress(
        g_hDumpModule, "QuernWriteMiniDumpUsingExceptionInfoWithBuildId");
    g_pfnWriteMiniDumpSetComment = (QuernWriteMiniDumpSetCommentFn)Plat_GetProcAddress(
        g_hDumpModule, "QuernWriteMiniDumpSetComment");

    QuernMiniDumpInitFn pfnInit =
        (QuernMiniDumpInitFn)Plat_GetProcAddress(g_hDumpModule, "QuernMiniDumpInit");
    return pfnInit ? pfnInit() : 0;
}

QUERN_EXPORT int QuernWriteMiniDumpUsingExceptionInfoWithBuildId(uint32_t exceptionCode,
                                                                 void* pExceptionInfo,
                                                                 uint32_t buildId)
{
    QuernWriteMiniDumpWithBuildIdFn pfn = g_pfnWriteMiniDumpWithBuildId;
    return pfn ? pfn(exceptionCode, pExceptionInfo, buildId) : 0;
}

QUERN_EXPORT int QuernWriteMiniDumpUsingExceptionInfo(uint32_t exceptionCode, void* pExceptionInfo)
{
    // Callers of the older form have no build id to give.
    QuernWriteMiniDumpWithBuildIdFn pfn = g_pfnWriteMiniDumpWithBuildId;
    return pfn ? pfn(exceptionCode, pExceptionInfo, 0) : 0;
}

QUERN_EXPORT int QuernWriteMiniDumpSetComment(const char* pszComment)
{
    QuernWriteMiniDumpSetCommentFn pfn = g_pfnWriteMiniDumpSetComment;
    return pfn ? pfn(pszComment) : 0;
}

void QuernCleanup_CrashDumpModule()
{
    if (!g_hDumpModule) return;
    // Forget the exports first: nothing may call into the module once it
    // may be gone.
    g_pfnWriteMiniDumpWithBuildId = nullptr;
    g_pfnWriteMiniDumpSetComment = nullptr;
    UnloadModule(g_hDumpModule);
    g_hDumpModule = nullptr;
}
