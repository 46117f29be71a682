// The error record and the per-call log line.
#include "quern2wrapper/quernerror.h"

#include "plinth/dbg.h"
#include "plinth/platform/platform_debug.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

unsigned char verboseLogging = 0;

void ClearError(TQuernError* pError)
{
    if (!pError) return;
    pError->failureType = QUERN_FAILURE_NONE;
    pError->detailedErrorType = 0;
    pError->detailedErrorCode = 0;
    pError->description[0] = '\0';
}

void SetError(TQuernError* pError, const char* pText, int failureType)
{
    // Applications of old passed a record to every call, but a null one must
    // not take the process down.
    if (!pError) return;
    pError->failureType = failureType;
    // strncpy rules on purpose: the rest of the text is zero-filled, and a
    // text of 255 bytes or more is cut without a terminator.
    strncpy(pError->description, pText ? pText : "", QUERN_ERROR_TEXT_SIZE);
}

void SetError(TQuernError* pError, const char* pText, const char* /*pIgnored*/, int failureType)
{
    SetError(pError, pText, failureType);
}

void DebugOutputFormatted(const char* pFormat, ...)
{
    char szBuffer[4096];
    va_list args;
    va_start(args, pFormat);
    int len = vsnprintf(szBuffer, sizeof(szBuffer), pFormat, args);
    va_end(args);
    if (len <= 0 || len >= (int)sizeof(szBuffer))
    {
        if (len < 0) szBuffer[0] = '\0';
        AssertFailed("platform", 543, "len > 0");
    }
    szBuffer[sizeof(szBuffer) - 1] = '\0';
    Plat_OutputDebugString(szBuffer);
}
