// The assertion path: nesting guard, output, break decision, fatal exits and
// the one-dump-per-site rule.
#include "plinth/dbg.h"
#include "plinth/dbg_internal.h"
#include "plinth/minidump.h"
#include "plinth/platform/platform_debug.h"
#include "plinth/platform/platform_env.h"
#include "plinth/platform/platform_threadid.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace
{
// Recorded by a static initialiser, so on the thread that loads the library.
const uint32_t g_nMainThreadId = Plat_GetCurrentThreadId();

// The per-thread nesting counter lives in a thread-local slot created by the
// first assertion in the process.
std::atomic<uint32_t> g_nReentrancySlot{PLAT_TLS_OUT_OF_INDEXES};

uint32_t ReentrancySlot()
{
    uint32_t slot = g_nReentrancySlot.load(std::memory_order_acquire);
    if (slot != PLAT_TLS_OUT_OF_INDEXES) return slot;
    uint32_t fresh = Plat_TlsAlloc();
    if (fresh == PLAT_TLS_OUT_OF_INDEXES) SpewError("Out of thread local storage!\n");
    if (g_nReentrancySlot.compare_exchange_strong(slot, fresh, std::memory_order_acq_rel))
        return fresh;
    // Another thread won the race; its slot is the one.
    Plat_TlsFree(fresh);
    return slot;
}

int32_t ReadReentrancyCount(uint32_t slot)
{
    return (int32_t)(intptr_t)Plat_TlsGetValue(slot);
}

void WriteReentrancyCount(uint32_t slot, int32_t count)
{
    Plat_TlsSetValue(slot, (void*)(intptr_t)count);
}

// ReportedAssertSet: (line, file pointer) pairs, sorted by line then pointer.
// Only touched with the minidump lock held.
struct ReportedSite
{
    int m_nLine;
    const char* m_pszFile;
};
ReportedSite* g_pReportedSites = nullptr;
int g_nReportedSites = 0;
int g_nReportedCapacity = 0;

bool SiteLess(const ReportedSite& a, int line, const char* pszFile)
{
    if (a.m_nLine != line) return a.m_nLine < line;
    return (uintptr_t)a.m_pszFile < (uintptr_t)pszFile;
}

// Inserts the site; false when it was there already (or cannot be stored).
bool InsertReportedSite(const char* pszFile, int line)
{
    int low = 0, high = g_nReportedSites;
    while (low < high)
    {
        int mid = (low + high) / 2;
        if (SiteLess(g_pReportedSites[mid], line, pszFile))
            low = mid + 1;
        else
            high = mid;
    }
    if (low < g_nReportedSites && g_pReportedSites[low].m_nLine == line &&
        g_pReportedSites[low].m_pszFile == pszFile)
        return false;
    if (g_nReportedSites == g_nReportedCapacity)
    {
        int capacity = g_nReportedCapacity ? g_nReportedCapacity * 2 : 16;
        void* pGrown = realloc(g_pReportedSites, sizeof(ReportedSite) * (size_t)capacity);
        if (!pGrown) return false;
        g_pReportedSites = static_cast<ReportedSite*>(pGrown);
        g_nReportedCapacity = capacity;
    }
    memmove(&g_pReportedSites[low + 1], &g_pReportedSites[low],
            sizeof(ReportedSite) * (size_t)(g_nReportedSites - low));
    g_pReportedSites[low].m_nLine = line;
    g_pReportedSites[low].m_pszFile = pszFile;
    ++g_nReportedSites;
    return true;
}

std::atomic<AssertDumpRequestFn> g_pfnDumpRequestHook{nullptr};

bool BreakOnAssertDisabled()
{
    return Plat_GetEnvironmentVariable("DONT_BREAK_ON_ASSERT", nullptr, 0) != 0;
}

const char* const kDbgSource = "..\\plinth\\dbg";
} // namespace

bool IsMainThread()
{
    return Plat_GetCurrentThreadId() == g_nMainThreadId;
}

AssertDumpRequestFn SetAssertDumpRequestHook(AssertDumpRequestFn pfnHook)
{
    return g_pfnDumpRequestHook.exchange(pfnHook);
}

void RequestAssertDump(const char* pszMessage, const char* pszFile, int line, bool bDump,
                       bool bForce)
{
    AssertDumpRequestFn pfnHook = g_pfnDumpRequestHook.load();
    if (pfnHook)
        pfnHook(pszMessage, pszFile, line, bDump, bForce);
    else
        WriteDumpOnAssert(pszMessage, pszFile, line, bDump, bForce);
}

void ReportAssertion(const char* message, bool fatal, const char* file, int line, bool dump)
{
    uint32_t slot = ReentrancySlot();
    int32_t count = ReadReentrancyCount(slot);
    bool bBadCount = count < 0;
    // A broken counter is repaired rather than trusted: left negative it would
    // hide every later assertion on this thread.
    if (bBadCount) count = 0;
    WriteReentrancyCount(slot, ++count);
    if (bBadCount)
        ReportAssertion("Assertion Failed: m_cReentrancyCount >= 0", false, kDbgSource, __LINE__,
                        false);

    if (count == 1)
    {
        // Held across both so another thread's source record cannot slip in
        // between.
        SpewLock_Enter();
        SpewSetSource(SPEW_KIND_ASSERT, file, line);
        SpewResult result = SpewFormatted("%s", message ? message : "");
        SpewLock_Leave();

        bool bLocked = MinidumpLock_TryEnter();
        if (!bLocked && fatal)
        {
            bLocked = MinidumpLock_EnterBounded();
            if (!bLocked) DbgTerminateProcess(1);
        }
        if (bLocked)
        {
            bool bDumpSite = true;
            if (IsDumpBeingWritten())
            {
                if (fatal) DbgTerminateProcess(1);
                bDumpSite = false;
            }
            if (bDumpSite && result == SPEW_BREAK_IN)
            {
                if (!BreakOnAssertDisabled() && Plat_IsDebuggerPresent() &&
                    ShouldBreakOnAssert(file, line, message))
                    Plat_DebugBreak();
                if (fatal) _ExitOnFatalAssert(file, line, message);
            }
            if (bDumpSite && !Plat_IsDebuggerPresent() && InsertReportedSite(file, line))
                RequestAssertDump(message, file, line, dump, false);
            MinidumpLock_Leave();
        }
        // A fatal assertion whose text could not be written still ends the
        // process: its caller does not expect to go on.
        if (fatal) DbgTerminateProcess(1);
    }

    count = ReadReentrancyCount(slot) - 1;
    if (count < 0)
    {
        WriteReentrancyCount(slot, 0);
        ReportAssertion("Assertion Failed: m_cReentrancyCount >= 0", false, kDbgSource, __LINE__,
                        false);
        return;
    }
    WriteReentrancyCount(slot, count);
}

void _ExitOnFatalAssert(const char* file, int line, const char* message)
{
    SpewFormatted("Fatal assert failed: %s, line %d.  Application exiting.\n",
                  file ? file : "(null)", line);
    if (!Plat_IsDebuggerPresent())
        RequestAssertDump(message ? message : "Fatal assert", file, line, false, true);
    SpewGroupMessage("console", 1, "_ExitOnFatalAssert\n");
    DbgTerminateProcess(1);
}

void AssertFailed(const char* file, int line, const char* expression)
{
    char szMessage[256];
    snprintf(szMessage, sizeof(szMessage), "Assertion Failed: %s", expression ? expression : "");
    ReportAssertion(szMessage, false, file, line, false);
}

void AssertFailedFatal(const char* file, int line, const char* expression)
{
    char szMessage[256];
    snprintf(szMessage, sizeof(szMessage), "Fatal Assertion Failed: %s",
             expression ? expression : "");
    ReportAssertion(szMessage, true, file, line, false);
}

void AssertMsgFailed(bool fatal, const char* file, int line, const char* format, ...)
{
    char szMessage[256];
    va_list args;
    va_start(args, format);
    int n = vsnprintf(szMessage, sizeof(szMessage), format ? format : "", args);
    va_end(args);
    if (n < 0) szMessage[0] = 0;
    ReportAssertion(szMessage, fatal, file, line, false);
}
