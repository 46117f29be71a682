// Preemption ticks over an interval timer whose signal handler yields.
#include "plinth/platform/platform_preempt.h"

#ifdef QUERN_FILE_FAULTS

#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <sys/time.h>
#include <time.h>

namespace
{
struct sigaction s_oldAction;
sigset_t s_oldMask;

void YieldOnTick(int)
{
    sched_yield();
}

sigset_t TickSignal()
{
    sigset_t tick;
    sigemptyset(&tick);
    sigaddset(&tick, SIGALRM);
    return tick;
}
} // namespace

void Plat_StartPreemptionTicks(uint32_t unMicroseconds)
{
    sigset_t tick = TickSignal();
    pthread_sigmask(SIG_BLOCK, &tick, &s_oldMask);
    struct sigaction action = {};
    action.sa_handler = YieldOnTick;
    action.sa_flags = SA_RESTART;
    sigaction(SIGALRM, &action, &s_oldAction);
    itimerval every = {};
    every.it_interval.tv_usec = every.it_value.tv_usec = (suseconds_t)unMicroseconds;
    setitimer(ITIMER_REAL, &every, nullptr);
}

void Plat_StopPreemptionTicks()
{
    itimerval off = {};
    setitimer(ITIMER_REAL, &off, nullptr);
    // A tick that came after the workers ended waits on this thread.
    sigset_t tick = TickSignal();
    timespec none = {0, 0};
    while (sigtimedwait(&tick, nullptr, &none) == SIGALRM)
    {
    }
    sigaction(SIGALRM, &s_oldAction, nullptr);
    pthread_sigmask(SIG_SETMASK, &s_oldMask, nullptr);
}

void Plat_AcceptPreemptionTicks()
{
    sigset_t tick = TickSignal();
    pthread_sigmask(SIG_UNBLOCK, &tick, nullptr);
}

#endif // QUERN_FILE_FAULTS
