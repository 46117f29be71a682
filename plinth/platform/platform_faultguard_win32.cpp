// Fault guard over a vectored exception handler. The compiler has no
// structured exception keywords, so a recovered fault resumes at a landing
// routine (by rewriting the faulting context) that jumps back to the guard.
#include "plinth/platform/platform_faultguard.h"

#include <windows.h>

#include <cstdio>

namespace
{
struct FaultFrame
{
    void* m_jump[5]; // __builtin_setjmp buffer
    PlatFaultCallback m_pfnOnFault;
    void* m_pContext;
    FaultFrame* m_pOuter;
    volatile bool m_bInCallback;
#if defined(_M_IX86) || defined(__i386__)
    // The SEH chain at the guard: frames registered below it are gone after
    // the jump back.
    void* m_pExceptionList;
#endif
};

// The innermost guard of each thread, in a TLS slot: reading it from the
// exception handler must not allocate, as emulated thread-locals may.
DWORD g_frameSlot = TLS_OUT_OF_INDEXES;
volatile LONG g_bHandlerInstalled = 0;

FaultFrame* CurrentFrame()
{
    return (FaultFrame*)TlsGetValue(g_frameSlot);
}

void SetCurrentFrame(FaultFrame* pFrame)
{
    TlsSetValue(g_frameSlot, pFrame);
}

bool IsHandledFault(DWORD code)
{
    switch (code)
    {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_IN_PAGE_ERROR:
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_PRIV_INSTRUCTION:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_INT_OVERFLOW:
    case EXCEPTION_FLT_DIVIDE_BY_ZERO:
    case EXCEPTION_FLT_INVALID_OPERATION:
    case EXCEPTION_FLT_OVERFLOW:
    case EXCEPTION_FLT_UNDERFLOW:
    case EXCEPTION_FLT_STACK_CHECK:
    case EXCEPTION_FLT_INEXACT_RESULT:
    case EXCEPTION_FLT_DENORMAL_OPERAND:
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
    case EXCEPTION_DATATYPE_MISALIGNMENT:
        return true;
    default:
        // Stack overflows are left alone: there is no stack to land on.
        return false;
    }
}

#if defined(_M_IX86) || defined(__i386__)
// The head of the thread's SEH chain is the first word of its TIB (fs:0). Read
// directly: the header's segment intrinsics trip the compiler's bounds checks.
void* SehChainHead()
{
    void* pHead;
    __asm__ __volatile__("movl %%fs:0, %0" : "=r"(pHead));
    return pHead;
}

void SetSehChainHead(void* pHead)
{
    __asm__ __volatile__("movl %0, %%fs:0" : : "r"(pHead) : "memory");
}
#endif

__attribute__((noreturn, noinline)) void FaultLanding()
{
    FaultFrame* pFrame = CurrentFrame();
#if defined(_M_IX86) || defined(__i386__)
    SetSehChainHead(pFrame->m_pExceptionList);
#endif
    __builtin_longjmp(pFrame->m_jump, 1);
}

LONG CALLBACK OnException(PEXCEPTION_POINTERS pPointers)
{
    // Every exception of the process passes here (debugger output, C++
    // throws): only faults are looked at, and the thread's last error is kept.
    if (!pPointers || !pPointers->ExceptionRecord ||
        !IsHandledFault(pPointers->ExceptionRecord->ExceptionCode) ||
        g_frameSlot == TLS_OUT_OF_INDEXES)
        return EXCEPTION_CONTINUE_SEARCH;
    DWORD lastError = GetLastError();
    FaultFrame* pFrame = CurrentFrame();
    SetLastError(lastError);
    if (!pFrame || pFrame->m_bInCallback) return EXCEPTION_CONTINUE_SEARCH;
    pFrame->m_bInCallback = true;
    PlatFaultAction action = pFrame->m_pfnOnFault(pPointers->ExceptionRecord->ExceptionCode,
                                                  pPointers, pFrame->m_pContext);
    pFrame->m_bInCallback = false;
    if (action != PLAT_FAULT_RECOVER) return EXCEPTION_CONTINUE_SEARCH;

    // Resume as if FaultLanding had been called a little below the fault.
    CONTEXT* pContext = pPointers->ContextRecord;
#if defined(_M_X64) || defined(__x86_64__)
    DWORD64 sp = ((pContext->Rsp - 256) & ~(DWORD64)15) - 8;
    pContext->Rsp = sp;
    pContext->Rip = (DWORD64)(void*)&FaultLanding;
#else
    DWORD sp = ((pContext->Esp - 256) & ~(DWORD)15) - 4;
    pContext->Esp = sp;
    pContext->Eip = (DWORD)(void*)&FaultLanding;
#endif
    return EXCEPTION_CONTINUE_EXECUTION;
}

// A separate frame for the call, so the guard's own frame stays intact for
// the jump back.
__attribute__((noinline)) bool RunInFrame(FaultFrame* pFrame, void (*pfnCall)(void*), void* pvArg)
{
    if (__builtin_setjmp(pFrame->m_jump) != 0) return false;
    SetCurrentFrame(pFrame);
    pfnCall(pvArg);
    return true;
}
} // namespace

bool Plat_CallWithFaultGuard(void (*pfnCall)(void* pvArg), void* pvArg,
                             PlatFaultCallback pfnOnFault, void* pContext)
{
    // 0: not installed, 1: being installed, 2: in place.
    if (InterlockedCompareExchange(&g_bHandlerInstalled, 1, 0) == 0)
    {
        g_frameSlot = TlsAlloc();
        AddVectoredExceptionHandler(1, &OnException);
        InterlockedExchange(&g_bHandlerInstalled, 2);
    }
    while (g_bHandlerInstalled != 2)
        Sleep(0);
    FaultFrame frame;
    frame.m_pfnOnFault = pfnOnFault;
    frame.m_pContext = pContext;
    // Without a slot there is no guard, only the call.
    if (g_frameSlot == TLS_OUT_OF_INDEXES)
    {
        pfnCall(pvArg);
        return true;
    }
    frame.m_pOuter = CurrentFrame();
    frame.m_bInCallback = false;
#if defined(_M_IX86) || defined(__i386__)
    frame.m_pExceptionList = SehChainHead();
#endif
    bool bReturned = RunInFrame(&frame, pfnCall, pvArg);
    SetCurrentFrame(frame.m_pOuter);
    return bReturned;
}

namespace
{
int g_nUnhandledFaultExitCode = 1;

LONG WINAPI ExitOnUnhandledFilter(EXCEPTION_POINTERS*)
{
    fflush(stdout);
    ExitProcess((UINT)g_nUnhandledFaultExitCode);
}
} // namespace

void Plat_ExitOnUnhandledFault(int nExitCode)
{
    g_nUnhandledFaultExitCode = nExitCode;
    SetUnhandledExceptionFilter(&ExitOnUnhandledFilter);
}
