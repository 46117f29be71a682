// The minidump lock and the writing mark.
#include "plinth/minidump.h"

#include "plinth/dbg.h"
#include "plinth/platform/platform_threadid.h"

#include <atomic>

namespace
{
struct MinidumpLock
{
    MinidumpLock() { Plat_InitializeCriticalSection(&m_cs, 4000); }
    PlatCriticalSection m_cs;
};

// Created on first use by whichever routine touches it first; lives for the
// process (never destroyed, so late assertions at exit still find it).
PlatCriticalSection* TheLock()
{
    static MinidumpLock* s_pLock = new MinidumpLock;
    return &s_pLock->m_cs;
}

std::atomic<bool> g_bWritingMinidump{false};
std::atomic<bool> g_bSetMisuseReported{false};
std::atomic<bool> g_bClearMisuseReported{false};

const int kBoundedWaitMs = 10000;
const int kBoundedWaitStepMs = 10;

void SetWritingMark(bool bWriting, std::atomic<bool>& bMisuseReported, const char* pszMisuse)
{
    bool bTaken = MinidumpLock_TryEnter();
    if (!bTaken && !bMisuseReported.exchange(true))
        ReportAssertion(pszMisuse, false, "..\\plinth\\minidump", __LINE__, false);
    g_bWritingMinidump.store(bWriting);
    if (bTaken) MinidumpLock_Leave();
}
} // namespace

bool MinidumpLock_TryEnter()
{
    return Plat_TryEnterCriticalSection(TheLock());
}

bool MinidumpLock_EnterBounded()
{
    for (int budget = kBoundedWaitMs; budget > 0; budget -= kBoundedWaitStepMs)
    {
        if (MinidumpLock_TryEnter()) return true;
        Plat_ProcessorPause();
        Plat_Sleep(kBoundedWaitStepMs);
    }
    return false;
}

void MinidumpLock_Leave()
{
    Plat_LeaveCriticalSection(TheLock());
}

void SetWritingMinidump(bool)
{
    SetWritingMark(true, g_bSetMisuseReported,
                   "Someone called SetWritingMinidump without holding the minidump lock.");
}

void ClearWritingMinidump()
{
    SetWritingMark(false, g_bClearMisuseReported,
                   "Someone called ClearWritingMinidump without holding the minidump lock.");
}

bool IsDumpBeingWritten()
{
    if (!MinidumpLock_TryEnter()) return true;
    bool bWriting = g_bWritingMinidump.load();
    MinidumpLock_Leave();
    return bWriting;
}
