// Debugger output stand-in: a file named by QUERN_DEBUG_OUTPUT.
#include "plinth/platform/platform_debug.h"
#include "plinth/platform/platform_debug_observer.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

void Plat_OutputDebugString(const char* pszText)
{
    if (!pszText) pszText = "";
    Plat_NotifyDebugOutputObserver(pszText);
    const char* pszTarget = getenv("QUERN_DEBUG_OUTPUT");
    if (!pszTarget || !*pszTarget) return;
    if (strcmp(pszTarget, "-") == 0)
    {
        fputs(pszText, stderr);
        fflush(stderr);
        return;
    }
    FILE* pFile = fopen(pszTarget, "ab");
    if (!pFile) return;
    fputs(pszText, pFile);
    fclose(pFile);
}

bool Plat_IsDebuggerPresent()
{
    if (Plat_DebuggerStandInPresent()) return true;
    FILE* pFile = fopen("/proc/self/status", "r");
    if (!pFile) return false;
    char szLine[256];
    bool bTraced = false;
    while (fgets(szLine, sizeof(szLine), pFile))
    {
        if (strncmp(szLine, "TracerPid:", 10) == 0)
        {
            bTraced = strtol(szLine + 10, nullptr, 10) != 0;
            break;
        }
    }
    fclose(pFile);
    return bTraced;
}

void Plat_DebugBreak()
{
    if (Plat_DebuggerStandInBreak()) return;
#if defined(__i386__) || defined(__x86_64__)
    __asm__ __volatile__("int3");
#else
    raise(SIGTRAP);
#endif
}

void* Plat_AddDebugOutputExceptionWatcher(PlatDebugOutputObserver, void*)
{
    return nullptr;
}

void Plat_RemoveDebugOutputExceptionWatcher(void*) {}
