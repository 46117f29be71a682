// Stand-in for the crash-handler module "faultsink.dll": hands out an
// IFaultSink for "faultsink002" that records every call with its arguments in
// the stand-in log and writes no dump.
//
// Environment, read at each call:
//   QUERN_FAULTSINK_INFO    "appid,version,extra1,extra2": the info record;
//                           unset: no record (null)
//   QUERN_FAULTSINK_REPORT  the report handle BeginReport answers (default 7)
#include "plinth/minidump_faultsink.h"
#include "tools/standins/standin_export.h"
#include "tools/standins/standin_log.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace
{
// Comments end in a newline; the log keeps one line per call.
void Escape(const char* pszIn, char* pszOut, size_t nOutSize)
{
    size_t n = 0;
    for (; *pszIn && n + 3 < nOutSize; ++pszIn)
    {
        if (*pszIn == '\n')
        {
            pszOut[n++] = '\\';
            pszOut[n++] = 'n';
        }
        else
        {
            pszOut[n++] = *pszIn;
        }
    }
    pszOut[n] = 0;
}

const char* Text(const char* psz)
{
    return psz ? psz : "null";
}

class CFaultSinkStandIn : public IFaultSink
{
public:
    uint32_t BeginReport() override
    {
        char szValue[32];
        uint32_t hReport = 7;
        uint32_t len =
            Plat_GetEnvironmentVariable("QUERN_FAULTSINK_REPORT", szValue, sizeof(szValue));
        if (len > 0 && len < sizeof(szValue)) hReport = (uint32_t)strtoul(szValue, nullptr, 0);
        StandInLogLine("faultsink.BeginReport() -> %u", hReport);
        return hReport;
    }
    void DescribeReport(uint32_t hReport, const char* pszAppName, const char* pszVersion,
                        const char* pszBuildId, bool bFlag, uint32_t nReserved1,
                        uint32_t nReserved2) override
    {
        StandInLogLine("faultsink.DescribeReport(%u, %s, %s, %s, %d, %u, %u)", hReport,
                       Text(pszAppName), Text(pszVersion), Text(pszBuildId), bFlag ? 1 : 0,
                       nReserved1, nReserved2);
    }
    void EndReport(uint32_t hReport) override
    {
        StandInLogLine("faultsink.EndReport(%u)", hReport);
    }
    void WriteDump(uint32_t hReport, uint32_t nExceptionCode, void* pExceptionPointers) override
    {
        StandInLogLine("faultsink.WriteDump(%u, 0x%08x, %s)", hReport, nExceptionCode,
                       pExceptionPointers ? "pointers" : "null");
    }
    void SetComment(const char* pszComment) override
    {
        char szEscaped[2200];
        Escape(Text(pszComment), szEscaped, sizeof(szEscaped));
        StandInLogLine("faultsink.SetComment(%s)", szEscaped);
    }
    void SetExtraValues(uint32_t nExtra1, uint32_t nExtra2) override
    {
        StandInLogLine("faultsink.SetExtraValues(%u, %u)", nExtra1, nExtra2);
    }
    void Unused6() override { StandInLogLine("faultsink.Unused6()"); }
    const FaultSinkInfo_t* GetInfoRecord() override
    {
        char szValue[128];
        uint32_t len =
            Plat_GetEnvironmentVariable("QUERN_FAULTSINK_INFO", szValue, sizeof(szValue));
        if (len == 0 || len >= sizeof(szValue))
        {
            StandInLogLine("faultsink.GetInfoRecord() -> null");
            return nullptr;
        }
        unsigned words[4] = {0, 0, 0, 0};
        sscanf(szValue, "%u,%u,%u,%u", &words[0], &words[1], &words[2], &words[3]);
        m_info.m_nAppId = words[0];
        m_info.m_nVersion = words[1];
        m_info.m_nExtra1 = words[2];
        m_info.m_nExtra2 = words[3];
        StandInLogLine("faultsink.GetInfoRecord() -> {%u, %u, %u, %u}", words[0], words[1],
                       words[2], words[3]);
        return &m_info;
    }

private:
    FaultSinkInfo_t m_info = {0, 0, 0, 0};
};

CFaultSinkStandIn g_sink;
} // namespace

STANDIN_EXPORT void* CreateInterface(const char* pszVersion, int* pnReturnCode)
{
    bool bKnown = pszVersion && strcmp(pszVersion, FAULTSINK_INTERFACE_VERSION) == 0;
    StandInLogLine("faultsink.CreateInterface(%s, %s) -> %s", Text(pszVersion),
                   pnReturnCode ? "rc" : "null", bKnown ? "sink" : "null");
    if (pnReturnCode) *pnReturnCode = bKnown ? 0 : 1;
    return bKnown ? static_cast<IFaultSink*>(&g_sink) : nullptr;
}
