// The debugger-output observer and the stand-in debugger, shared by both
// platforms.
#include "plinth/platform/platform_debug.h"
#include "plinth/platform/platform_debug_observer.h"

#include <atomic>

namespace
{
struct ObserverSlot
{
    PlatDebugOutputObserver m_pfnObserver;
    void* m_pContext;
};
std::atomic<ObserverSlot*> g_pDebugObserver{nullptr};
// Two slots flip so that a reader never sees a half-written pair; observers
// are installed by tests between runs, not while output is flowing.
ObserverSlot g_DebugObserverSlots[2];
int g_iNextDebugObserverSlot = 0;

struct StandInSlot
{
    PlatDebuggerStandIn m_pfnBreak;
    void* m_pContext;
};
std::atomic<StandInSlot*> g_pDebuggerStandIn{nullptr};
StandInSlot g_DebuggerStandInSlots[2];
int g_iNextStandInSlot = 0;
} // namespace

void Plat_SetDebuggerStandIn(PlatDebuggerStandIn pfnBreak, void* pContext)
{
    if (!pfnBreak)
    {
        g_pDebuggerStandIn.store(nullptr, std::memory_order_release);
        return;
    }
    StandInSlot* pSlot = &g_DebuggerStandInSlots[g_iNextStandInSlot];
    g_iNextStandInSlot ^= 1;
    pSlot->m_pfnBreak = pfnBreak;
    pSlot->m_pContext = pContext;
    g_pDebuggerStandIn.store(pSlot, std::memory_order_release);
}

bool Plat_DebuggerStandInPresent()
{
    return g_pDebuggerStandIn.load(std::memory_order_acquire) != nullptr;
}

bool Plat_DebuggerStandInBreak()
{
    StandInSlot* pSlot = g_pDebuggerStandIn.load(std::memory_order_acquire);
    if (!pSlot) return false;
    pSlot->m_pfnBreak(pSlot->m_pContext);
    return true;
}

PlatDebugOutputObserver Plat_SetDebugOutputObserver(PlatDebugOutputObserver pfnObserver,
                                                    void* pContext)
{
    ObserverSlot* pOld = g_pDebugObserver.load(std::memory_order_acquire);
    PlatDebugOutputObserver pfnOld = pOld ? pOld->m_pfnObserver : nullptr;
    if (!pfnObserver)
    {
        g_pDebugObserver.store(nullptr, std::memory_order_release);
        return pfnOld;
    }
    ObserverSlot* pSlot = &g_DebugObserverSlots[g_iNextDebugObserverSlot];
    g_iNextDebugObserverSlot ^= 1;
    pSlot->m_pfnObserver = pfnObserver;
    pSlot->m_pContext = pContext;
    g_pDebugObserver.store(pSlot, std::memory_order_release);
    return pfnOld;
}

void Plat_NotifyDebugOutputObserver(const char* pszText)
{
    ObserverSlot* pSlot = g_pDebugObserver.load(std::memory_order_acquire);
    if (pSlot && pSlot->m_pfnObserver) pSlot->m_pfnObserver(pszText, pSlot->m_pContext);
}
