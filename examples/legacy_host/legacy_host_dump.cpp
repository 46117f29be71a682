// legacy_host: crash dumps, forwarded by the library to the platform's
// crash-dump module beside the client library.
#include "examples/legacy_host/legacy_host_dump.h"
#include "examples/legacy_host/legacy_host_lookup.h"

#include "quern.h"

#include <cstdio>

namespace
{
// The exception code an access violation reports.
const uint32_t kAccessViolation = 0xC0000005u;
} // namespace

bool RunCrashDumpSection(PlatModule hQuern)
{
    bool bAll = true;
    auto pfnInit = LOOKUP_EXPORT(hQuern, QuernMiniDumpInit, bAll);
    auto pfnComment = LOOKUP_EXPORT(hQuern, QuernWriteMiniDumpSetComment, bAll);
    auto pfnWrite = LOOKUP_EXPORT(hQuern, QuernWriteMiniDumpUsingExceptionInfo, bAll);
    auto pfnWriteWithBuildId =
        LOOKUP_EXPORT(hQuern, QuernWriteMiniDumpUsingExceptionInfoWithBuildId, bAll);
    auto pfnFromAssert = LOOKUP_EXPORT(hQuern, QuernWriteMiniDumpFromAssert, bAll);
    if (!bAll) return false;

    printf("-- crash dumps\n");
    int init = pfnInit();
    printf("QuernMiniDumpInit -> %d\n", init);
    int comment = pfnComment("demo crash");
    printf("QuernWriteMiniDumpSetComment(\"demo crash\") -> %d\n", comment);
    int write = pfnWrite(kAccessViolation, nullptr);
    printf("QuernWriteMiniDumpUsingExceptionInfo(0x%08x) -> %d\n", kAccessViolation, write);
    int writeWithBuildId = pfnWriteWithBuildId(kAccessViolation, nullptr, 1234);
    printf("QuernWriteMiniDumpUsingExceptionInfoWithBuildId(0x%08x, build 1234) -> %d\n",
           kAccessViolation, writeWithBuildId);
    // No longer carried out: it only says so on the debugger output.
    pfnFromAssert();
    printf("QuernWriteMiniDumpFromAssert -> (nothing)\n");
    return init == 1 && comment != 0 && write != 0 && writeWithBuildId != 0;
}

bool RunCrashDumpAfterCleanup(PlatModule hQuern)
{
    bool bAll = true;
    auto pfnComment = LOOKUP_EXPORT(hQuern, QuernWriteMiniDumpSetComment, bAll);
    if (!bAll) return false;
    int comment = pfnComment("after cleanup");
    printf("QuernWriteMiniDumpSetComment(\"after cleanup\") -> %d\n", comment);
    return comment == 0;
}
