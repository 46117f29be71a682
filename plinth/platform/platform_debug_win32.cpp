// Debugger output and presence over kernel32.
#include "plinth/platform/platform_debug.h"
#include "plinth/platform/platform_debug_observer.h"

#include <windows.h>

void Plat_OutputDebugString(const char* pszText)
{
    if (!pszText) pszText = "";
    Plat_NotifyDebugOutputObserver(pszText);
    OutputDebugStringA(pszText);
}

bool Plat_IsDebuggerPresent()
{
    return Plat_DebuggerStandInPresent() || IsDebuggerPresent() != FALSE;
}

void Plat_DebugBreak()
{
    if (!Plat_DebuggerStandInBreak()) DebugBreak();
}

namespace
{
// One watcher at a time; tests install it around the calls they check.
PlatDebugOutputObserver g_pfnExceptionWatcher = nullptr;
void* g_pExceptionWatcherContext = nullptr;

LONG CALLBACK DebugOutputExceptionHandler(EXCEPTION_POINTERS* pInfo)
{
    const EXCEPTION_RECORD* pRecord = pInfo->ExceptionRecord;
    if (pRecord->ExceptionCode == DBG_PRINTEXCEPTION_C && pRecord->NumberParameters >= 2 &&
        g_pfnExceptionWatcher)
    {
        const char* pszText = reinterpret_cast<const char*>(pRecord->ExceptionInformation[1]);
        if (pszText) g_pfnExceptionWatcher(pszText, g_pExceptionWatcherContext);
    }
    return EXCEPTION_CONTINUE_SEARCH;
}
} // namespace

void* Plat_AddDebugOutputExceptionWatcher(PlatDebugOutputObserver pfnObserver, void* pContext)
{
    if (!pfnObserver) return nullptr;
    g_pfnExceptionWatcher = pfnObserver;
    g_pExceptionWatcherContext = pContext;
    void* hHandler = AddVectoredExceptionHandler(1, DebugOutputExceptionHandler);
    if (!hHandler) g_pfnExceptionWatcher = nullptr;
    return hHandler;
}

void Plat_RemoveDebugOutputExceptionWatcher(void* hWatcher)
{
    if (!hWatcher) return;
    RemoveVectoredExceptionHandler(hWatcher);
    g_pfnExceptionWatcher = nullptr;
    g_pExceptionWatcherContext = nullptr;
}
