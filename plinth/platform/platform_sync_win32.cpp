// Threads, events and the counter over kernel32.
#include "plinth/platform/platform_sync.h"

#include <windows.h>

static_assert(PLAT_THREAD_STILL_ACTIVE == STILL_ACTIVE, "exit code of a running thread");

namespace
{
PlatWaitResult MapWait(DWORD dwResult)
{
    switch (dwResult)
    {
    case WAIT_OBJECT_0:
        return PLAT_WAIT_SIGNALED;
    case WAIT_ABANDONED:
        return PLAT_WAIT_ABANDONED;
    case WAIT_TIMEOUT:
        return PLAT_WAIT_TIMEOUT;
    default:
        return PLAT_WAIT_FAILED;
    }
}

// The naming exception is meant for the debugger; if it passes it on, this
// handler lets the thread continue.
LONG CALLBACK ContinueAfterThreadName(EXCEPTION_POINTERS* pInfo)
{
    if (pInfo->ExceptionRecord->ExceptionCode == 0x406D1388) return EXCEPTION_CONTINUE_EXECUTION;
    return EXCEPTION_CONTINUE_SEARCH;
}

#pragma pack(push, 8)
struct ThreadNameInfo_t
{
    DWORD dwType;     // 0x1000
    LPCSTR szName;    // the name
    DWORD dwThreadID; // -1: the calling thread
    DWORD dwFlags;    // 0
};
#pragma pack(pop)
} // namespace

uint32_t Plat_GetLastError()
{
    return GetLastError();
}

bool Plat_CreateThread(uint32_t nStackSize, ThreadProc_t pfnStart, void* pvParam,
                       ThreadHandle_t* phThread, uint32_t* pThreadId)
{
    // Suspended until handle and id are stored where the thread can see them.
    DWORD dwFlags = CREATE_SUSPENDED | (nStackSize ? STACK_SIZE_PARAM_IS_A_RESERVATION : 0);
    DWORD dwId = 0;
    HANDLE hThread =
        CreateThread(NULL, nStackSize, (LPTHREAD_START_ROUTINE)pfnStart, pvParam, dwFlags, &dwId);
    *phThread = hThread;
    *pThreadId = hThread ? (uint32_t)dwId : 0;
    if (!hThread) return false;
    ResumeThread(hThread);
    return true;
}

PlatWaitResult Plat_WaitForThread(ThreadHandle_t hThread, uint32_t nTimeoutMs)
{
    return MapWait(WaitForSingleObject((HANDLE)hThread, nTimeoutMs));
}

bool Plat_GetThreadExitCode(ThreadHandle_t hThread, uint32_t* pExitCode)
{
    DWORD dwCode = 0;
    if (!hThread || !GetExitCodeThread((HANDLE)hThread, &dwCode)) return false;
    *pExitCode = dwCode;
    return true;
}

bool Plat_CloseThread(ThreadHandle_t hThread)
{
    return CloseHandle((HANDLE)hThread) != FALSE;
}

bool Plat_IsThreadActive(uint32_t threadId)
{
    HANDLE hThread = OpenThread(THREAD_QUERY_INFORMATION, FALSE, threadId);
    if (!hThread) return false;
    DWORD dwCode = 0;
    bool bActive = GetExitCodeThread(hThread, &dwCode) && dwCode == STILL_ACTIVE;
    CloseHandle(hThread);
    return bActive;
}

int Plat_GetThreadPriority(ThreadHandle_t hThread)
{
    return GetThreadPriority(hThread ? (HANDLE)hThread : GetCurrentThread());
}

bool Plat_SetThreadPriority(ThreadHandle_t hThread, int priority)
{
    return SetThreadPriority(hThread ? (HANDLE)hThread : GetCurrentThread(), priority) != FALSE;
}

void Plat_RaiseThreadNameException(const char* pszName)
{
    ThreadNameInfo_t info;
    info.dwType = 0x1000;
    info.szName = pszName;
    info.dwThreadID = (DWORD)-1;
    info.dwFlags = 0;
    PVOID pHandler = AddVectoredExceptionHandler(0, ContinueAfterThreadName);
    RaiseException(0x406D1388, 0, sizeof(info) / sizeof(ULONG_PTR), (const ULONG_PTR*)&info);
    if (pHandler) RemoveVectoredExceptionHandler(pHandler);
}

EventHandle_t Plat_CreateEvent(bool bManualReset, bool bInitialState)
{
    return CreateEventA(NULL, bManualReset ? TRUE : FALSE, bInitialState ? TRUE : FALSE, NULL);
}

bool Plat_SetEvent(EventHandle_t hEvent)
{
    return SetEvent((HANDLE)hEvent) != FALSE;
}

bool Plat_ResetEvent(EventHandle_t hEvent)
{
    return ResetEvent((HANDLE)hEvent) != FALSE;
}

PlatWaitResult Plat_WaitForEvent(EventHandle_t hEvent, uint32_t nTimeoutMs)
{
    return MapWait(WaitForSingleObject((HANDLE)hEvent, nTimeoutMs));
}

bool Plat_CloseEvent(EventHandle_t hEvent)
{
    return CloseHandle((HANDLE)hEvent) != FALSE;
}

uint64_t Plat_PerformanceCounter()
{
    LARGE_INTEGER li;
    QueryPerformanceCounter(&li);
    return (uint64_t)li.QuadPart;
}

uint64_t Plat_PerformanceFrequency()
{
    LARGE_INTEGER li;
    QueryPerformanceFrequency(&li);
    return (uint64_t)li.QuadPart;
}
