// Runs a call so that processor faults inside it (access violations, illegal
// instructions, integer division by zero and the like) that the call does not
// handle itself are reported to a callback on the faulting thread.
//
// Windows: a frame-based exception handler on a trampoline around the call,
// so frames inside the call that handle the fault come first; a recovered
// fault resumes at a landing routine that jumps back to the guard. POSIX:
// handlers for SIGSEGV, SIGBUS, SIGFPE and SIGILL with sigsetjmp/siglongjmp
// (signals have no handlers of the call's own). A fault a guard passes on
// goes to the next guard out, then to whatever handles it beyond them; a
// fault raised while a guard's callback runs skips that guard.
#pragma once

#include <cstdint>

// Windows exception codes; the POSIX side reports its signals as these.
enum : uint32_t
{
    PLAT_FAULT_ACCESS_VIOLATION = 0xC0000005u,
    PLAT_FAULT_IN_PAGE_ERROR = 0xC0000006u,
    PLAT_FAULT_ILLEGAL_INSTRUCTION = 0xC000001Du,
    PLAT_FAULT_INT_DIVIDE_BY_ZERO = 0xC0000094u,
    PLAT_FAULT_FLT_DIVIDE_BY_ZERO = 0xC000008Eu,
};

enum PlatFaultAction
{
    PLAT_FAULT_PASS_ON = 0, // the fault goes on outward, as if this guard were not there
    PLAT_FAULT_RECOVER = 1, // the guarded call is abandoned; the guard returns false
};

// pExceptionPointers: EXCEPTION_POINTERS on Windows; on POSIX a
// PlatSignalFault record (signal number, siginfo_t*, ucontext_t*).
typedef PlatFaultAction (*PlatFaultCallback)(uint32_t nCode, void* pExceptionPointers,
                                             void* pContext);

struct PlatSignalFault
{
    int m_nSignal;
    void* m_pSigInfo;
    void* m_pUContext;
};

// Calls pfnCall(pvArg), which must not let C++ exceptions out. True when it
// returned; false when a fault inside it was recovered. Guards nest per
// thread (the innermost sees the fault first).
bool Plat_CallWithFaultGuard(void (*pfnCall)(void* pvArg), void* pvArg,
                             PlatFaultCallback pfnOnFault, void* pContext);

// Last-chance handler for faults nothing else handles: flushes standard output
// and ends the process with nExitCode. Lets a child process show that a fault
// went on past a guard (the after-exception "rethrow" mode).
void Plat_ExitOnUnhandledFault(int nExitCode);
