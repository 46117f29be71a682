// The spew path: message kinds, the default output handler, the spew lock and
// the group filter.
#include "plinth/dbg.h"
#include "plinth/asciicase.h"
#include "plinth/dbg_internal.h"
#include "plinth/platform/platform_debug.h"
#include "plinth/platform/platform_process.h"
#include "plinth/platform/platform_threadid.h"

#include <atomic>
#include <cstdio>
#include <cstring>

namespace
{
typedef SpewResult (*SpewOutputFunc)(SpewKind kind, const char* pszText);

SpewResult DefaultSpewFunc(SpewKind kind, const char* pszText)
{
    printf("%s", pszText);
    if (kind == SPEW_KIND_ASSERT) return SPEW_BREAK_IN;
    if (kind == SPEW_KIND_ERROR) return SPEW_ABORT;
    return SPEW_PROCEED;
}

// There is no way to replace it; kept as a pointer so the path reads the same
// for any handler.
SpewOutputFunc g_pSpewOutputFunc = DefaultSpewFunc;

SpewKind g_SpewKind = SPEW_KIND_MESSAGE;
const char* g_pszSpewFile = nullptr;
int g_nSpewLine = 0;

struct SpewGroup
{
    char m_szName[48];
    int m_nLevel;
};
// No operation adds groups, so every group has the default level.
const SpewGroup* const g_pSpewGroups = nullptr;
const int g_nSpewGroups = 0;
const int g_nDefaultSpewLevel = 0;

// Recursive spin lock: owner id, depth, and a critical section that
// serialises contended waiters.
struct SpewLock
{
    SpewLock() { Plat_InitializeCriticalSection(&m_cs, 4000); }
    std::atomic<uint32_t> m_nOwnerId{0};
    int m_nDepth = 0;
    PlatCriticalSection m_cs;
};

SpewLock& TheSpewLock()
{
    // Never destroyed: spew may run from static destructors.
    static SpewLock* s_pLock = new SpewLock;
    return *s_pLock;
}

bool TryOwn(SpewLock& lock, uint32_t threadId)
{
    uint32_t expected = 0;
    return lock.m_nOwnerId.compare_exchange_strong(expected, threadId, std::memory_order_acquire);
}

void LockSpew()
{
    SpewLock& lock = TheSpewLock();
    uint32_t threadId = Plat_GetCurrentThreadId();
    if (lock.m_nOwnerId.load(std::memory_order_relaxed) == threadId)
    {
        ++lock.m_nDepth;
        return;
    }
    if (!TryOwn(lock, threadId))
    {
        Plat_ProcessorPause();
        bool bOwned = false;
        for (int i = 0; i < 1000 && !bOwned; ++i)
        {
            bOwned = TryOwn(lock, threadId);
            if (!bOwned) Plat_ProcessorPause();
        }
        if (!bOwned)
        {
            Plat_EnterCriticalSection(&lock.m_cs);
            while (!TryOwn(lock, threadId))
                Plat_ProcessorPause();
            Plat_LeaveCriticalSection(&lock.m_cs);
        }
    }
    ++lock.m_nDepth;
}

void UnlockSpew()
{
    SpewLock& lock = TheSpewLock();
    if (--lock.m_nDepth == 0) lock.m_nOwnerId.exchange(0, std::memory_order_release);
}

int CompareNoCase(const char* a, const char* b)
{
    for (;; ++a, ++b)
    {
        int ca = (unsigned char)LowerAscii(*a), cb = (unsigned char)LowerAscii(*b);
        if (ca != cb || !ca) return ca - cb;
    }
}

const char* FindNoCase(const char* pszText, const char* pszNeedle)
{
    size_t len = strlen(pszNeedle);
    for (; *pszText; ++pszText)
    {
        size_t i = 0;
        while (i < len && pszText[i] && LowerAscii(pszText[i]) == LowerAscii(pszNeedle[i]))
            ++i;
        if (i == len) return pszText;
    }
    return nullptr;
}

const int kSpewBufferSize = 5019;
} // namespace

void SpewSetSource(SpewKind kind, const char* file, int line)
{
    const char* pszFile = file;
    if (file)
    {
        // Build trees differ above "\src\"; keep the part that says something.
        const char* pszSrc = FindNoCase(file, "\\src\\");
        if (pszSrc) pszFile = pszSrc;
    }
    g_SpewKind = kind;
    g_pszSpewFile = pszFile;
    g_nSpewLine = line;
}

SpewResult SpewWithKind(SpewKind kind, const char* format, va_list args)
{
    LockSpew();
    char szText[kSpewBufferSize];
    int len = 0;
    SpewResult result = SPEW_ABORT;
    bool bFits = true;
    if (kind == SPEW_KIND_ASSERT)
    {
        len = snprintf(szText, sizeof(szText),
                       "%s (%d) : ", g_pszSpewFile ? g_pszSpewFile : "(null)", g_nSpewLine);
        bFits = len >= 0 && len < kSpewBufferSize;
    }
    if (bFits)
    {
        int n =
            vsnprintf(szText + len, (size_t)(kSpewBufferSize - len), format ? format : "", args);
        bFits = n >= 0 && n < kSpewBufferSize - len;
        len += bFits ? n : 0;
    }
    // The assertion text also needs room for its newline.
    if (bFits && kind == SPEW_KIND_ASSERT)
    {
        bFits = len + 1 < kSpewBufferSize;
        if (bFits)
        {
            szText[len++] = '\n';
            szText[len] = 0;
            Plat_OutputDebugString(szText);
        }
    }
    if (bFits)
    {
        result = g_pSpewOutputFunc(kind, szText);
        if (result == SPEW_ABORT)
        {
            SpewGroupMessage("console", 1, "Exiting on SPEW_ABORT\n");
            DbgTerminateProcess(1);
        }
        if (result == SPEW_BREAK_IN && kind != SPEW_KIND_ASSERT) Plat_DebugBreak();
    }
    UnlockSpew();
    return result;
}

SpewResult SpewFormatted(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    SpewResult result = SpewWithKind(g_SpewKind, format, args);
    va_end(args);
    return result;
}

SpewResult SpewMessage(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    SpewResult result = SpewWithKind(SPEW_KIND_MESSAGE, format, args);
    va_end(args);
    return result;
}

SpewResult SpewWarning(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    SpewResult result = SpewWithKind(SPEW_KIND_WARNING, format, args);
    va_end(args);
    return result;
}

SpewResult SpewError(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    SpewResult result = SpewWithKind(SPEW_KIND_ERROR, format, args);
    va_end(args);
    return result;
}

SpewResult SpewGroupMessage(const char* group, int level, const char* format, ...)
{
    if (!IsSpewActive(group, level)) return SPEW_PROCEED;
    va_list args;
    va_start(args, format);
    SpewResult result = SpewWithKind(SPEW_KIND_MESSAGE, format, args);
    va_end(args);
    return result;
}

bool IsSpewActive(const char* group, int level)
{
    int groupLevel = g_nDefaultSpewLevel;
    if (group)
    {
        int low = 0, high = g_nSpewGroups - 1;
        while (low <= high)
        {
            int mid = (low + high) / 2;
            int cmp = CompareNoCase(group, g_pSpewGroups[mid].m_szName);
            if (cmp == 0)
            {
                groupLevel = g_pSpewGroups[mid].m_nLevel;
                break;
            }
            if (cmp < 0)
                high = mid - 1;
            else
                low = mid + 1;
        }
    }
    return groupLevel >= level;
}

void SpewLock_Enter()
{
    LockSpew();
}

void SpewLock_Leave()
{
    UnlockSpew();
}

void DbgTerminateProcess(unsigned exitCode)
{
    // The process ends without running the C runtime's exit path; what was
    // written to standard output must not be lost with it.
    fflush(stdout);
    Plat_TerminateCurrentProcess(exitCode);
}
