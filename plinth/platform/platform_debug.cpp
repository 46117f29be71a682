// The debugger-output observer shared by both platforms.
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
} // namespace

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
