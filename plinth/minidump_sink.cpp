// DumpSinkLink: the crash-handler module, loaded once per process, and the
// texts that describe the process to it.
#include "plinth/minidump_faultsink.h"
#include "plinth/minidump_internal.h"

#include "plinth/platform/platform_modules.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace
{
const size_t kMaxPath = 260;

struct DumpSinkLink
{
    volatile bool m_bAttempted;
    IFaultSink* m_pSink;
    const FaultSinkInfo_t* m_pInfo;
    FaultSinkFactoryFn m_pfnFactory;
    PlatModule m_hModule;
    char m_szPath[kMaxPath];
    char m_szAppName[128];
    char m_szVersion[128];
    char m_szBuildId[15];
};

DumpSinkLink g_link;
// The version text of assertion dumps.
char g_szAssertVersion[128];
// Tests stand in another host executable.
char g_szHostOverride[1024];

bool IsSeparator(char ch)
{
    // Windows module names use '\'; the POSIX stand-in's use '/'.
    return ch == '\\' || ch == '/';
}

void CopyBounded(char* pszOut, size_t nOutSize, const char* pszIn)
{
    if (nOutSize == 0) return;
    size_t n = strlen(pszIn);
    if (n > nOutSize - 1) n = nOutSize - 1;
    memcpy(pszOut, pszIn, n);
    pszOut[n] = 0;
}

bool HostExecutablePath(char* pszOut, size_t nOutSize)
{
    if (g_szHostOverride[0])
    {
        CopyBounded(pszOut, nOutSize, g_szHostOverride);
        return true;
    }
    return Plat_GetModuleFileNameUtf8(nullptr, pszOut, (uint32_t)nOutSize) > 0;
}

// The module the crash-handler module sits beside: the runtime base's own
// module when it is loaded as one, else the host executable.
bool AnchorModulePath(char* pszOut, size_t nOutSize)
{
    if (g_szHostOverride[0]) return HostExecutablePath(pszOut, nOutSize);
    PlatModule hRuntime = Plat_GetModuleHandleA("plinth_s.dll");
    return Plat_GetModuleFileNameUtf8(hRuntime, pszOut, (uint32_t)nOutSize) > 0;
}

void FillFromNumberOr(char* pszOut, size_t nOutSize, uint32_t nValue, const char* pszOtherwise)
{
    if (nValue != 0)
        snprintf(pszOut, nOutSize, "%u", nValue);
    else
        CopyBounded(pszOut, nOutSize, pszOtherwise);
}

void FillVersion(char* pszOut, size_t nOutSize)
{
    if (pszOut[0]) return;
    FillFromNumberOr(pszOut, nOutSize, g_link.m_pInfo ? g_link.m_pInfo->m_nVersion : 0, "1.0");
}
} // namespace

void DumpSink_BuildModulePath(const char* pszNextTo, char* pszOut, size_t nOutSize)
{
    if (!pszOut || nOutSize == 0) return;
    char szWork[2048];
    CopyBounded(szWork, sizeof(szWork), pszNextTo ? pszNextTo : "");
    size_t len = strlen(szWork);
    // The last separator, not counting one in the first position.
    size_t i = len;
    while (i > 1 && !IsSeparator(szWork[i - 1]))
        --i;
    if (i > 1)
    {
        size_t iSep = i - 1;
        // Only a directory named exactly "bin": "robin" is a directory of its own.
        if (iSep > 3 && IsSeparator(szWork[iSep - 4]) &&
            tolower((unsigned char)szWork[iSep - 3]) == 'b' &&
            tolower((unsigned char)szWork[iSep - 2]) == 'i' &&
            tolower((unsigned char)szWork[iSep - 1]) == 'n')
            iSep -= 4;
        szWork[iSep + 1] = 0;
        size_t nHave = strlen(szWork);
        CopyBounded(szWork + nHave, sizeof(szWork) - nHave, FAULTSINK_MODULE_NAME);
    }
    else
    {
        CopyBounded(szWork, sizeof(szWork), FAULTSINK_MODULE_NAME);
    }
    CopyBounded(pszOut, nOutSize < kMaxPath ? nOutSize : kMaxPath, szWork);
    for (char* p = pszOut; *p; ++p)
        if (*p == '/') *p = '\\';
}

void DumpSink_ExecutableBaseName(const char* pszExePath, char* pszOut, size_t nOutSize)
{
    if (!pszOut || nOutSize == 0) return;
    const char* pszName = pszExePath ? pszExePath : "";
    for (const char* p = pszName; *p; ++p)
        if (IsSeparator(*p)) pszName = p + 1;
    size_t n = 0;
    for (; pszName[n] && pszName[n] != '.' && n < nOutSize - 1; ++n)
        pszOut[n] = (char)tolower((unsigned char)pszName[n]);
    pszOut[n] = 0;
}

void DumpSink_FormatBuildId(const char* pszDate, const char* pszTime, char* pszOut)
{
    static const char* const kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    int month = 0;
    if (strlen(pszDate) < 3) pszDate = "   ";
    for (int i = 0; i < 12; ++i)
    {
        bool bSame = true;
        for (int c = 0; c < 3 && bSame; ++c)
            bSame = tolower((unsigned char)pszDate[c]) == tolower((unsigned char)kMonths[i][c]);
        if (bSame)
        {
            month = i + 1;
            break;
        }
    }
    int day = strlen(pszDate) > 4 ? atoi(pszDate + 4) : 0;
    int year = strlen(pszDate) > 7 ? atoi(pszDate + 7) : 0;
    int hour = 0, minute = 0, second = 0;
    sscanf(pszTime, "%02d:%02d:%02d", &hour, &minute, &second);
    snprintf(pszOut, 15, "%04u%02u%02u%02u%02u%02u", (unsigned)year % 10000u,
             (unsigned)month % 100u, (unsigned)day % 100u, (unsigned)hour % 100u,
             (unsigned)minute % 100u, (unsigned)second % 100u);
}

bool DumpSink_Load()
{
    if (g_link.m_bAttempted) return g_link.m_pSink != nullptr;
    g_link.m_bAttempted = true;

    char szAnchor[2048];
    if (!AnchorModulePath(szAnchor, sizeof(szAnchor))) szAnchor[0] = 0;
    DumpSink_BuildModulePath(szAnchor, g_link.m_szPath, sizeof(g_link.m_szPath));

    PlatModule hModule = Plat_LoadLibraryExW(g_link.m_szPath, true);
    if (!hModule) hModule = Plat_LoadLibraryExA(g_link.m_szPath, true);
    if (!hModule) return false;
    g_link.m_hModule = hModule;
    g_link.m_pfnFactory = (FaultSinkFactoryFn)Plat_GetProcAddress(hModule, "CreateInterface");
    if (!g_link.m_pfnFactory) return false;
    IFaultSink* pSink = (IFaultSink*)g_link.m_pfnFactory(FAULTSINK_INTERFACE_VERSION, nullptr);
    if (!pSink) return false;
    g_link.m_pInfo = pSink->GetInfoRecord();
    g_link.m_pSink = pSink;
    return true;
}

IFaultSink* DumpSink_Get()
{
    return g_link.m_pSink;
}

const FaultSinkInfo_t* DumpSink_Info()
{
    return g_link.m_pInfo;
}

const char* DumpSink_ModulePath()
{
    return g_link.m_szPath;
}

const char* DumpSink_AppName()
{
    if (g_link.m_szAppName[0]) return g_link.m_szAppName;
    uint32_t nAppId = g_link.m_pInfo ? g_link.m_pInfo->m_nAppId : 0;
    if (nAppId != 0)
    {
        snprintf(g_link.m_szAppName, sizeof(g_link.m_szAppName), "%u", nAppId);
        return g_link.m_szAppName;
    }
    char szExe[2048];
    if (HostExecutablePath(szExe, sizeof(szExe)))
        DumpSink_ExecutableBaseName(szExe, g_link.m_szAppName, sizeof(g_link.m_szAppName));
    else
        CopyBounded(g_link.m_szAppName, sizeof(g_link.m_szAppName), "Quern");
    return g_link.m_szAppName;
}

const char* DumpSink_AssertVersion()
{
    FillVersion(g_szAssertVersion, sizeof(g_szAssertVersion));
    return g_szAssertVersion;
}

const char* DumpSink_ExceptionVersion()
{
    FillVersion(g_link.m_szVersion, sizeof(g_link.m_szVersion));
    return g_link.m_szVersion;
}

const char* DumpSink_BuildId()
{
    if (!g_link.m_szBuildId[0]) DumpSink_FormatBuildId(__DATE__, __TIME__, g_link.m_szBuildId);
    return g_link.m_szBuildId;
}

void DumpSink_ResetForTests(const char* pszHostPath)
{
    memset(&g_link, 0, sizeof(g_link));
    g_szAssertVersion[0] = 0;
    CopyBounded(g_szHostOverride, sizeof(g_szHostOverride), pszHostPath ? pszHostPath : "");
}
