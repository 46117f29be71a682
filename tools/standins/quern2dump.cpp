// Stand-in for the platform's crash-dump module "Quern2.dll": records every
// call with its arguments in the stand-in log and writes no dump. Results are
// distinct per export so that callers can tell them apart:
//   QuernMiniDumpInit                                 -> 1
//   QuernWriteMiniDumpUsingExceptionInfoWithBuildId   -> 5
//   QuernWriteMiniDumpSetComment                      -> 6
// Built with QUERN2DUMP_WITHOUT_INIT it lacks QuernMiniDumpInit.
#include "tools/standins/standin_export.h"
#include "tools/standins/standin_log.h"

#include <cstdint>

#if !defined(QUERN2DUMP_WITHOUT_INIT)
STANDIN_EXPORT int QuernMiniDumpInit()
{
    StandInLogLine("Quern2.QuernMiniDumpInit() -> 1");
    return 1;
}
#endif

STANDIN_EXPORT int QuernWriteMiniDumpUsingExceptionInfoWithBuildId(uint32_t exceptionCode,
                                                                   void* pExceptionInfo,
                                                                   uint32_t buildId)
{
    StandInLogLine(
        "Quern2.QuernWriteMiniDumpUsingExceptionInfoWithBuildId(0x%08x, 0x%llx, %u) -> 5",
        exceptionCode, (unsigned long long)(uintptr_t)pExceptionInfo, buildId);
    return 5;
}

STANDIN_EXPORT int QuernWriteMiniDumpSetComment(const char* pszComment)
{
    StandInLogLine("Quern2.QuernWriteMiniDumpSetComment(%s) -> 6",
                   pszComment ? pszComment : "null");
    return 6;
}
