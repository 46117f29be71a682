// Threads, events and the high-resolution counter: the operating-system calls
// under plinth/threadtools. Thread ids, thread-local slots, sleeping and
// critical sections are in plinth/platform/platform_threadid.h.
#pragma once

#include <cstdint>

// Start routines use the operating system's thread calling convention.
#if defined(_WIN32) && !defined(_WIN64)
#define THREADPROC_CALL __attribute__((stdcall))
#else
#define THREADPROC_CALL
#endif

typedef void* ThreadHandle_t;
typedef void* EventHandle_t;
typedef unsigned long(THREADPROC_CALL* ThreadProc_t)(void* pvParam);

#define PLAT_WAIT_INFINITE 0xFFFFFFFFu
#define PLAT_THREAD_STILL_ACTIVE 259u

enum PlatWaitResult
{
    PLAT_WAIT_SIGNALED = 0,  // WAIT_OBJECT_0
    PLAT_WAIT_ABANDONED = 1, // WAIT_ABANDONED
    PLAT_WAIT_TIMEOUT = 2,   // WAIT_TIMEOUT
    PLAT_WAIT_FAILED = 3,    // WAIT_FAILED
};

// GetLastError of the calling thread (POSIX: the error of the last failing
// call of this layer, or errno).
uint32_t Plat_GetLastError();

// CreateThread. A non-zero stack size is a reservation size
// (STACK_SIZE_PARAM_IS_A_RESERVATION). The handle and id are stored in
// *phThread and *pThreadId before the new thread starts running pfnStart, so
// the thread itself may read them. False on failure (both outputs cleared).
bool Plat_CreateThread(uint32_t nStackSize, ThreadProc_t pfnStart, void* pvParam,
                       ThreadHandle_t* phThread, uint32_t* pThreadId);
// WaitForSingleObject on a thread handle.
PlatWaitResult Plat_WaitForThread(ThreadHandle_t hThread, uint32_t nTimeoutMs);
// GetExitCodeThread: PLAT_THREAD_STILL_ACTIVE while running. False when the handle is
// not usable.
bool Plat_GetThreadExitCode(ThreadHandle_t hThread, uint32_t* pExitCode);
bool Plat_CloseThread(ThreadHandle_t hThread);
// OpenThread(THREAD_QUERY_INFORMATION) + GetExitCodeThread + CloseHandle:
// true when the thread exists and is still active.
bool Plat_IsThreadActive(uint32_t threadId);
// GetThreadPriority / SetThreadPriority; null means the calling thread.
// POSIX: priorities are not changed; every thread reports 0 (normal).
int Plat_GetThreadPriority(ThreadHandle_t hThread);
bool Plat_SetThreadPriority(ThreadHandle_t hThread, int priority);

// Raises the debugger thread-naming exception (0x406D1388) for the calling
// thread and continues. Callers check for an attached debugger first.
// POSIX: names the calling thread (first 15 characters).
void Plat_RaiseThreadNameException(const char* pszName);

// CreateEventA(NULL, manualReset, initialState, NULL). Null on failure.
EventHandle_t Plat_CreateEvent(bool bManualReset, bool bInitialState);
bool Plat_SetEvent(EventHandle_t hEvent);
bool Plat_ResetEvent(EventHandle_t hEvent);
PlatWaitResult Plat_WaitForEvent(EventHandle_t hEvent, uint32_t nTimeoutMs);
bool Plat_CloseEvent(EventHandle_t hEvent);

// QueryPerformanceCounter / QueryPerformanceFrequency (POSIX: the monotonic
// clock in nanoseconds).
uint64_t Plat_PerformanceCounter();
uint64_t Plat_PerformanceFrequency();
