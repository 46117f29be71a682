// Bodies of the calls that no longer have a meaning, generated from the one
// list in quern_stubs.h.
#include "quern2wrapper/quern_stubs.h"

#include "plinth/platform/platform_debug.h"

#include <cstring>

static const char s_szNotImplemented[] = "Wrapper not implemented";

void QuernStubAnswer(TQuernError* pError, const char* pLine)
{
    // The record is overwritten, not cleared first: an earlier error goes.
    if (pError)
    {
        pError->failureType = QUERN_FAILURE_FAILED;
        pError->detailedErrorType = 0;
        pError->detailedErrorCode = 0;
        memcpy(pError->description, s_szNotImplemented, sizeof(s_szNotImplemented));
    }
    Plat_OutputDebugString(pLine);
}

#define QUERN_STUB_DEFINE(name, shape, result)                                                     \
    QUERN_EXPORT result name(QUERN_STUB_PARAMS_##shape)                                            \
    {                                                                                              \
        QuernStubAnswer(pError, "Wrapper not implemented:" #name);                                 \
        return 0;                                                                                  \
    }
QUERN_STUB_LIST(QUERN_STUB_DEFINE)
#undef QUERN_STUB_DEFINE

QUERN_EXPORT void QuernWriteMiniDumpFromAssert()
{
    Plat_OutputDebugString("Wrapper not implemented:QuernWriteMiniDumpFromAssert");
}

QUERN_EXPORT void QuernWriteMiniDumpWithAppID()
{
    Plat_OutputDebugString("Wrapper not implemented:QuernWriteMiniDumpWithAppID");
}
