// The legacy crash-dump calls, forwarded to the platform's crash-dump module.
#pragma once

#include "plinth/platform/platform_modules.h"

#include <cstdint>

typedef int (*QuernWriteMiniDumpWithBuildIdFn)(uint32_t exceptionCode, void* pExceptionInfo,
                                               uint32_t buildId);
typedef int (*QuernWriteMiniDumpSetCommentFn)(const char* pszComment);
typedef int (*QuernMiniDumpInitFn)();

// The crash-dump module and the two exports kept from it; null until
// QuernMiniDumpInit finds the module, and again after QuernCleanup.
extern PlatModule g_hDumpModule;
extern QuernWriteMiniDumpWithBuildIdFn g_pfnWriteMiniDumpWithBuildId;
extern QuernWriteMiniDumpSetCommentFn g_pfnWriteMiniDumpSetComment;
