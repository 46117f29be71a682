// Fault guard over signals: SIGSEGV, SIGBUS, SIGFPE and SIGILL are caught
// process-wide; a fault on a thread inside a guard goes to the guards'
// callbacks, innermost first, and a recovered one jumps back with siglongjmp.
#include "plinth/platform/platform_faultguard.h"

#include <csetjmp>
#include <cstdio>
#include <csignal>
#include <cstring>
#include <mutex>
#include <pthread.h>
#include <unistd.h>

namespace
{
struct FaultFrame
{
    sigjmp_buf m_jump;
    PlatFaultCallback m_pfnOnFault;
    void* m_pContext;
    FaultFrame* m_pOuter;
    volatile bool m_bInCallback;
};

thread_local FaultFrame* t_pFrame = nullptr;

const int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL};
const int kNumSignals = (int)(sizeof(kSignals) / sizeof(kSignals[0]));
struct sigaction g_previous[kNumSignals];
std::once_flag g_installed;

int SignalIndex(int sig)
{
    for (int i = 0; i < kNumSignals; ++i)
        if (kSignals[i] == sig) return i;
    return -1;
}

uint32_t CodeForSignal(int sig, const siginfo_t* pInfo)
{
    switch (sig)
    {
    case SIGFPE:
        if (pInfo && pInfo->si_code == FPE_FLTDIV) return PLAT_FAULT_FLT_DIVIDE_BY_ZERO;
        return PLAT_FAULT_INT_DIVIDE_BY_ZERO;
    case SIGILL:
        return PLAT_FAULT_ILLEGAL_INSTRUCTION;
    case SIGBUS:
        return PLAT_FAULT_IN_PAGE_ERROR;
    default:
        return PLAT_FAULT_ACCESS_VIOLATION;
    }
}

// Hands the fault to whoever had the signal before. For the default action
// the disposition is restored and the faulting instruction runs again.
void PassOn(int sig, siginfo_t* pInfo, void* pUContext)
{
    int i = SignalIndex(sig);
    const struct sigaction& previous = g_previous[i];
    if (previous.sa_flags & SA_SIGINFO)
    {
        if (previous.sa_sigaction)
        {
            previous.sa_sigaction(sig, pInfo, pUContext);
            return;
        }
    }
    else if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN)
    {
        previous.sa_handler(sig);
        return;
    }
    signal(sig, SIG_DFL);
    // A fault raised by kill() would not come back by itself.
    if (pInfo && pInfo->si_code <= 0) raise(sig);
}

void OnSignal(int sig, siginfo_t* pInfo, void* pUContext)
{
    // The innermost guard first; one that passes the fault on hands it to the
    // next one out, as the frame handlers on Windows do. A fault inside a
    // guard's callback starts past that guard.
    FaultFrame* pFrame = t_pFrame;
    for (FaultFrame* p = t_pFrame; p; p = p->m_pOuter)
        if (p->m_bInCallback) pFrame = p->m_pOuter;
    PlatSignalFault fault = {sig, pInfo, pUContext};
    for (; pFrame; pFrame = pFrame->m_pOuter)
    {
        pFrame->m_bInCallback = true;
        PlatFaultAction action =
            pFrame->m_pfnOnFault(CodeForSignal(sig, pInfo), &fault, pFrame->m_pContext);
        pFrame->m_bInCallback = false;
        if (action == PLAT_FAULT_RECOVER) siglongjmp(pFrame->m_jump, 1);
    }
    PassOn(sig, pInfo, pUContext);
}

void InstallHandlers()
{
    for (int i = 0; i < kNumSignals; ++i)
    {
        struct sigaction action;
        memset(&action, 0, sizeof(action));
        action.sa_sigaction = &OnSignal;
        action.sa_flags = SA_SIGINFO | SA_NODEFER;
        sigemptyset(&action.sa_mask);
        sigaction(kSignals[i], &action, &g_previous[i]);
    }
}
} // namespace

bool Plat_CallWithFaultGuard(void (*pfnCall)(void* pvArg), void* pvArg,
                             PlatFaultCallback pfnOnFault, void* pContext)
{
    std::call_once(g_installed, &InstallHandlers);
    FaultFrame frame;
    frame.m_pfnOnFault = pfnOnFault;
    frame.m_pContext = pContext;
    frame.m_pOuter = t_pFrame;
    frame.m_bInCallback = false;
    if (sigsetjmp(frame.m_jump, 1) != 0)
    {
        t_pFrame = frame.m_pOuter;
        return false;
    }
    t_pFrame = &frame;
    pfnCall(pvArg);
    t_pFrame = frame.m_pOuter;
    return true;
}

namespace
{
volatile sig_atomic_t g_nUnhandledFaultExitCode = 1;

void ExitOnUnhandledSignal(int)
{
    fflush(stdout);
    _exit(g_nUnhandledFaultExitCode);
}
} // namespace

void Plat_ExitOnUnhandledFault(int nExitCode)
{
    g_nUnhandledFaultExitCode = nExitCode;
    signal(SIGSEGV, &ExitOnUnhandledSignal);
    signal(SIGBUS, &ExitOnUnhandledSignal);
}
