// The stand-ins' call log: one line per call appended to the file named by
// QUERN_STANDIN_LOG (nothing when unset), read afresh at every call.
#pragma once

#include "plinth/platform/platform_env.h"

#include <cstdarg>
#include <cstdio>

inline void StandInLogLine(const char* pszFormat, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

inline void StandInLogLine(const char* pszFormat, ...)
{
    char szPath[1024];
    uint32_t len = Plat_GetEnvironmentVariable("QUERN_STANDIN_LOG", szPath, sizeof(szPath));
    if (len == 0 || len >= sizeof(szPath)) return;
    FILE* pFile = fopen(szPath, "a");
    if (!pFile) return;
    va_list args;
    va_start(args, pszFormat);
    vfprintf(pFile, pszFormat, args);
    va_end(args);
    fputc('\n', pFile);
    fclose(pFile);
}
