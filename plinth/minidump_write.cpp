// Writing dumps through the crash-handler module: on assertions (at most one
// every 10 seconds unless forced) and on faults inside protected calls.
#include "plinth/minidump.h"
#include "plinth/minidump_faultsink.h"
#include "plinth/minidump_internal.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace
{
const uint32_t kAssertDumpIntervalSeconds = 10;
std::atomic<uint32_t> g_nLastAssertDumpTime{0};

uint32_t NowSeconds()
{
    return (uint32_t)time(nullptr);
}

// Begins and describes a report; the version text goes through a 64-character
// buffer as the sink expects.
uint32_t BeginDescribedReport(IFaultSink* pSink, const char* pszVersion, bool bFlag)
{
    char szVersion[64];
    snprintf(szVersion, sizeof(szVersion), "%s", pszVersion);
    uint32_t hReport = pSink->BeginReport();
    pSink->DescribeReport(hReport, DumpSink_AppName(), szVersion, DumpSink_BuildId(), bFlag, 0, 0);
    return hReport;
}

void SetExtraValues(IFaultSink* pSink)
{
    const FaultSinkInfo_t* pInfo = DumpSink_Info();
    pSink->SetExtraValues(pInfo ? pInfo->m_nExtra1 : 0, pInfo ? pInfo->m_nExtra2 : 0);
}
} // namespace

void MinidumpSetLastAssertDumpTime(uint32_t nSeconds)
{
    g_nLastAssertDumpTime = nSeconds;
}

uint32_t MinidumpGetLastAssertDumpTime()
{
    return g_nLastAssertDumpTime;
}

void WriteAssertDump(const char* pszMessage, const char* pszFile, int line, bool bDump)
{
    if (!DumpSink_Load()) return;
    IFaultSink* pSink = DumpSink_Get();
    char szText[1024];
    snprintf(szText, sizeof(szText), "Assert( %s ):%s:%d\n", pszMessage ? pszMessage : "",
             pszFile ? pszFile : "", line);
    fprintf(stderr, "%s\n", szText);
    fflush(stderr);

    DumpSink_BuildId();
    uint32_t hReport = BeginDescribedReport(pSink, DumpSink_AssertVersion(), bDump);
    SetExtraValues(pSink);
    pSink->SetComment(szText);
    pSink->WriteDump(hReport, 0, nullptr);
    pSink->SetComment(nullptr);
    if (hReport != 0) pSink->EndReport(hReport);
}

void WriteDumpOnAssert(const char* pszMessage, const char* pszFile, int line, bool bDump,
                       bool bForce)
{
    if (!bForce)
    {
        uint32_t now = NowSeconds();
        if (now < g_nLastAssertDumpTime.load() + kAssertDumpIntervalSeconds) return;
        g_nLastAssertDumpTime = now;
    }
    if (!MinidumpLock_TryEnter()) return;
    if (!IsDumpBeingWritten())
    {
        SetWritingMinidump(bForce);
        WriteAssertDump(pszMessage, pszFile, line, bDump);
        ClearWritingMinidump();
        g_nLastAssertDumpTime = NowSeconds();
    }
    MinidumpLock_Leave();
}

void WriteExceptionDump(uint32_t nExceptionCode, void* pExceptionPointers)
{
    if (!MinidumpLock_EnterBounded()) return;
    if (!IsDumpBeingWritten())
    {
        SetWritingMinidump(true);
        IFaultSink* pSink = DumpSink_Get();
        if (pSink)
        {
            DumpSink_BuildId();
            uint32_t hReport = BeginDescribedReport(pSink, DumpSink_ExceptionVersion(), false);
            SetExtraValues(pSink);
            pSink->WriteDump(hReport, nExceptionCode, pExceptionPointers);
            if (hReport != 0) pSink->EndReport(hReport);
        }
        ClearWritingMinidump();
    }
    MinidumpLock_Leave();
}
