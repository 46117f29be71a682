// Fault guard over a frame-based exception handler. The call runs inside a
// small trampoline whose stack frame carries the guard's handler, so the
// system offers a fault to the guard only after every frame inside the call
// has declined it: code that handles its own faults (the system's pointer
// probes, a nested handler) is left alone. x86-64 finds the handler through
// the trampoline's unwind data, i686 through a registration record the
// trampoline links into the thread's handler chain (fs:0).
//
// The compiler has no structured exception keywords, so a recovered fault
// resumes at a landing routine (by rewriting the faulting context) that jumps
// back to the guard.
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
    volatile bool m_bInCallback;
#if defined(__i386__)
    // The handler chain at the guard: records linked below it are gone after
    // the jump back.
    void* m_pExceptionList;
#endif
};

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

#if defined(__i386__)
// The head of the thread's handler chain is the first word of its TIB (fs:0).
// Reached directly: the header's segment intrinsics trip the compiler's
// bounds checks.
void SetSehChainHead(void* pHead)
{
    __asm__ __volatile__("movl %0, %%fs:0" : : "r"(pHead) : "memory");
}
#endif

// Entered with the frame in the first argument register (ecx on i686); the
// faulting stack below the guard is abandoned.
__attribute__((noreturn, noinline))
#if defined(__i386__)
__attribute__((fastcall))
#endif
void FaultLanding(FaultFrame* pFrame)
{
#if defined(__i386__)
    SetSehChainHead(pFrame->m_pExceptionList);
#endif
    __builtin_longjmp(pFrame->m_jump, 1);
}

// Makes the faulting thread resume as if FaultLanding(pFrame) had been called
// a little below the fault; the dispatcher's own frames there are dead by
// then.
void ResumeAtLanding(CONTEXT* pContext, FaultFrame* pFrame)
{
#if defined(__x86_64__)
    DWORD64 sp = ((pContext->Rsp - 256) & ~(DWORD64)15) - 8;
    pContext->Rsp = sp;
    pContext->Rcx = (DWORD64)pFrame;
    pContext->Rip = (DWORD64)(void*)&FaultLanding;
#else
    DWORD sp = ((pContext->Esp - 256) & ~(DWORD)15) - 4;
    pContext->Esp = sp;
    pContext->Ecx = (DWORD)pFrame;
    pContext->Eip = (DWORD)(void*)&FaultLanding;
#endif
}
} // namespace

// Both are referenced from the trampoline below by their assembler names.
extern "C" EXCEPTION_DISPOSITION
GuardFrameHandler(EXCEPTION_RECORD* pRecord, void* pEstablisherFrame, CONTEXT* pContext,
                  void* pDispatcherContext) __asm__("quern_fault_guard_handler");
extern "C" void GuardCall(void* pFrame, void (*pfnCall)(void*),
                          void* pvArg) __asm__("quern_fault_guard_call");

#if defined(__x86_64__)
// GuardCall(frame, call, arg): the frame pointer sits at rsp+32 above the
// callee's home area, where the handler finds it from the establisher frame
// (rsp after the prologue). The nop keeps the return address inside the
// function for the unwinder.
__asm__(".text\n"
        ".p2align 4\n"
        ".def quern_fault_guard_call; .scl 3; .type 32; .endef\n"
        ".seh_proc quern_fault_guard_call\n"
        "quern_fault_guard_call:\n"
        "    subq $56, %rsp\n"
        "    .seh_stackalloc 56\n"
        "    .seh_endprologue\n"
        "    .seh_handler quern_fault_guard_handler, @except\n"
        "    movq %rcx, 32(%rsp)\n"
        "    movq %r8, %rcx\n"
        "    callq *%rdx\n"
        "    nop\n"
        "    addq $56, %rsp\n"
        "    ret\n"
        ".seh_endproc\n");

static FaultFrame* FrameOf(void* pEstablisherFrame)
{
    return *(FaultFrame**)((char*)pEstablisherFrame + 32);
}
#elif defined(__i386__)
// GuardCall(frame, call, arg): links the registration record {next, handler,
// frame} on its own stack into the chain for the length of the call. The
// handler receives the record as the establisher frame.
__asm__(".text\n"
        ".p2align 4\n"
        ".def quern_fault_guard_call; .scl 3; .type 32; .endef\n"
        "quern_fault_guard_call:\n"
        "    .cfi_startproc\n"
        "    pushl %ebp\n"
        "    .cfi_def_cfa_offset 8\n"
        "    .cfi_offset %ebp, -8\n"
        "    movl %esp, %ebp\n"
        "    .cfi_def_cfa_register %ebp\n"
        "    pushl 8(%ebp)\n"
        "    pushl $quern_fault_guard_handler\n"
        "    pushl %fs:0\n"
        "    movl %esp, %fs:0\n"
        "    andl $-16, %esp\n"
        "    subl $12, %esp\n"
        "    pushl 16(%ebp)\n"
        "    call *12(%ebp)\n"
        "    movl -12(%ebp), %eax\n"
        "    movl %eax, %fs:0\n"
        "    leave\n"
        "    .cfi_def_cfa %esp, 4\n"
        "    ret\n"
        "    .cfi_endproc\n");

static FaultFrame* FrameOf(void* pEstablisherFrame)
{
    return (FaultFrame*)((void**)pEstablisherFrame)[2];
}
#else
#error "fault guard: unknown processor"
#endif

__attribute__((used)) EXCEPTION_DISPOSITION
GuardFrameHandler(EXCEPTION_RECORD* pRecord, void* pEstablisherFrame, CONTEXT* pContext, void*)
{
    // Unwinds pass through; of the exceptions only faults are looked at
    // (debugger output and C++ throws are not this guard's business).
    if (!pRecord || !pContext ||
        (pRecord->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) ||
        !IsHandledFault(pRecord->ExceptionCode))
        return ExceptionContinueSearch;
    FaultFrame* pFrame = FrameOf(pEstablisherFrame);
    // A fault inside the callback goes on outward.
    if (pFrame->m_bInCallback) return ExceptionContinueSearch;
    EXCEPTION_POINTERS pointers = {pRecord, pContext};
    pFrame->m_bInCallback = true;
    PlatFaultAction action =
        pFrame->m_pfnOnFault(pRecord->ExceptionCode, &pointers, pFrame->m_pContext);
    pFrame->m_bInCallback = false;
    if (action != PLAT_FAULT_RECOVER) return ExceptionContinueSearch;
    ResumeAtLanding(pContext, pFrame);
    return ExceptionContinueExecution;
}

namespace
{
// A separate frame for the call, so the guard's own frame stays intact for
// the jump back.
__attribute__((noinline)) bool RunInFrame(FaultFrame* pFrame, void (*pfnCall)(void*), void* pvArg)
{
    if (__builtin_setjmp(pFrame->m_jump) != 0) return false;
    GuardCall(pFrame, pfnCall, pvArg);
    return true;
}
} // namespace

bool Plat_CallWithFaultGuard(void (*pfnCall)(void* pvArg), void* pvArg,
                             PlatFaultCallback pfnOnFault, void* pContext)
{
    FaultFrame frame;
    frame.m_pfnOnFault = pfnOnFault;
    frame.m_pContext = pContext;
    frame.m_bInCallback = false;
#if defined(__i386__)
    __asm__ __volatile__("movl %%fs:0, %0" : "=r"(frame.m_pExceptionList));
#endif
    return RunInFrame(&frame, pfnCall, pvArg);
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
