// Exports shared by the whole legacy API: the data export, the call-handle
// functions and the calls that succeed without doing anything. Every
// operation is complete when its call returns, so any handle is finished.
#include "quern2wrapper/include/quern.h"
#include "quern2wrapper/quern_export.h"
#include "quern2wrapper/quernerror.h"

// C linkage and visibility come with its declaration in quern.h.
uint32_t g_dwDllEntryThreadId = 0;

QUERN_EXPORT int QuernBlockingCall(QuernCallHandle, uint32_t, TQuernError* pError)
{
    ClearError(pError);
    return 1;
}

QUERN_EXPORT int QuernProcessCall(QuernCallHandle, QuernProgress* pProgress, TQuernError* pError)
{
    ClearError(pError);
    if (pProgress)
    {
        pProgress->valid = 1;
        pProgress->percentDone = 100;
        pProgress->description[0] = '\0';
    }
    return 1;
}

// One body behind QuernAbortCall, QuernWaitForResources and
// QuernUnmountFilesystem.
static int QuernCompleteCall(TQuernError* pError)
{
    ClearError(pError);
    return 1;
}

QUERN_EXPORT int QuernAbortCall(QuernCallHandle, TQuernError* pError)
{
    return QuernCompleteCall(pError);
}

QUERN_EXPORT int QuernWaitForResources(uint32_t, TQuernError* pError)
{
    return QuernCompleteCall(pError);
}

QUERN_EXPORT int QuernUnmountFilesystem(uint32_t, TQuernError* pError)
{
    return QuernCompleteCall(pError);
}

QUERN_EXPORT void QuernClearError(TQuernError* pError)
{
    ClearError(pError);
}

QUERN_EXPORT void QuernLogResourceLoadStarted(const void*) {}

QUERN_EXPORT void QuernLogResourceLoadFinished(const void*) {}

QUERN_EXPORT int QuernCreateLogContext(const void*)
{
    return 0;
}

QUERN_EXPORT int QuernLog(int, const char*)
{
    return 0;
}
