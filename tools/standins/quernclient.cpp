// Stand-in for the platform client library "quernclient.dll".
//
// Exports "CreateInterface" and implements the client ("QuernClient017"),
// utils ("QuernUtils009"), user ("QuernUser019") and apps
// ("QUERNAPPS_INTERFACE_VERSION008") interfaces with every operation the
// library calls, at its slot. Configured through environment variables that
// are read at each call:
//
//   QUERN_STANDIN_LOG              file to which every call is appended, one
//                                  line each: "<interface>.<Operation>(<args>) -> <result>"
//   QUERN_STANDIN_APPID            utils GetRunningAppId (decimal; 0 when unset)
//   QUERN_STANDIN_INSTALLDIR_<id>  apps GetInstallFolder for application <id>
//                                  (empty text when unset)
//   QUERN_STANDIN_DEPOTS_<id>      apps ListInstalledDepots: comma list of depot ids
//   QUERN_STANDIN_INSTALLED        apps QueryInstalled: comma list of ids that
//                                  answer true
//   QUERN_STANDIN_ACCOUNT          user GetUserIdentity (64-bit decimal)
//   QUERN_STANDIN_WITHHOLD         comma list of client|utils|user|apps|userhandle:
//                                  the factory or operation answers 0 for those
//
// Handles: OpenPipe answers 17, AttachUser 34.
#include "plinth/platform/platform_env.h"
#include "quern2wrapper/clientinterfaces.h"
#include "tools/standins/standin_export.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace
{
const HQuernPipe kPipe = 17;
const HQuernUser kUser = 34;

// The variable's value, or an empty text when it is unset or too long.
void ReadVariable(const char* pszName, char* pszValue, uint32_t nSize)
{
    uint32_t len = Plat_GetEnvironmentVariable(pszName, pszValue, nSize);
    if (len == 0 || len >= nSize) pszValue[0] = '\0';
}

uint64_t ReadNumber(const char* pszName)
{
    char szValue[64];
    ReadVariable(pszName, szValue, sizeof(szValue));
    return strtoull(szValue, nullptr, 10);
}

// Whether the comma list in `pszList` holds `pszItem`.
bool ListHas(const char* pszList, const char* pszItem)
{
    size_t itemLen = strlen(pszItem);
    for (const char* p = pszList; *p;)
    {
        const char* pEnd = strchr(p, ',');
        size_t len = pEnd ? (size_t)(pEnd - p) : strlen(p);
        if (len == itemLen && strncmp(p, pszItem, len) == 0) return true;
        if (!pEnd) break;
        p = pEnd + 1;
    }
    return false;
}

bool Withheld(const char* pszWhat)
{
    char szList[256];
    ReadVariable("QUERN_STANDIN_WITHHOLD", szList, sizeof(szList));
    return ListHas(szList, pszWhat);
}

void LogCall(const char* pszFormat, ...)
{
    char szPath[1024];
    ReadVariable("QUERN_STANDIN_LOG", szPath, sizeof(szPath));
    if (!szPath[0]) return;
    FILE* pFile = fopen(szPath, "a");
    if (!pFile) return;
    va_list args;
    va_start(args, pszFormat);
    vfprintf(pFile, pszFormat, args);
    va_end(args);
    fputc('\n', pFile);
    fclose(pFile);
}

const char* PtrName(const void* p, const char* pszName)
{
    return p ? pszName : "null";
}

class CStandInUtils : public IQuernUtils009
{
public:
    void Reserved0() override { LogCall("utils.Reserved0()"); }
    void Reserved1() override { LogCall("utils.Reserved1()"); }
    void Reserved2() override { LogCall("utils.Reserved2()"); }
    void Reserved3() override { LogCall("utils.Reserved3()"); }
    void Reserved4() override { LogCall("utils.Reserved4()"); }
    void Reserved5() override { LogCall("utils.Reserved5()"); }
    void Reserved6() override { LogCall("utils.Reserved6()"); }
    void Reserved7() override { LogCall("utils.Reserved7()"); }
    void Reserved8() override { LogCall("utils.Reserved8()"); }
    QuernAppId GetRunningAppId() override
    {
        QuernAppId appId = (QuernAppId)ReadNumber("QUERN_STANDIN_APPID");
        LogCall("utils.GetRunningAppId() -> %u", appId);
        return appId;
    }
};

class CStandInUser : public IQuernUser019
{
public:
    void Reserved0() override { LogCall("user.Reserved0()"); }
    void Reserved1() override { LogCall("user.Reserved1()"); }
    uint64_t GetUserIdentity() override
    {
        uint64_t identity = ReadNumber("QUERN_STANDIN_ACCOUNT");
        LogCall("user.GetUserIdentity() -> %llu", (unsigned long long)identity);
        return identity;
    }
};

class CStandInApps : public IQuernApps008
{
public:
    void Reserved0() override { LogCall("apps.Reserved0()"); }
    void Reserved1() override { LogCall("apps.Reserved1()"); }
    void Reserved2() override { LogCall("apps.Reserved2()"); }
    void Reserved3() override { LogCall("apps.Reserved3()"); }
    void Reserved4() override { LogCall("apps.Reserved4()"); }
    void Reserved5() override { LogCall("apps.Reserved5()"); }
    void Reserved6() override { LogCall("apps.Reserved6()"); }
    void Reserved7() override { LogCall("apps.Reserved7()"); }
    void Reserved8() override { LogCall("apps.Reserved8()"); }
    void Reserved9() override { LogCall("apps.Reserved9()"); }
    void Reserved10() override { LogCall("apps.Reserved10()"); }
    void Reserved11() override { LogCall("apps.Reserved11()"); }
    void Reserved12() override { LogCall("apps.Reserved12()"); }
    void Reserved13() override { LogCall("apps.Reserved13()"); }
    void Reserved14() override { LogCall("apps.Reserved14()"); }
    void Reserved15() override { LogCall("apps.Reserved15()"); }
    void Reserved16() override { LogCall("apps.Reserved16()"); }

    uint32_t ListInstalledDepots(QuernAppId appId, QuernDepotId* pDepots,
                                 uint32_t maxDepots) override
    {
        char szName[64];
        snprintf(szName, sizeof(szName), "QUERN_STANDIN_DEPOTS_%u", appId);
        char szList[1024];
        ReadVariable(szName, szList, sizeof(szList));
        uint32_t count = 0;
        for (const char* p = szList; *p && count < maxDepots && pDepots;)
        {
            char* pEnd = nullptr;
            unsigned long depot = strtoul(p, &pEnd, 10);
            if (pEnd == p) break;
            pDepots[count++] = (QuernDepotId)depot;
            p = (*pEnd == ',') ? pEnd + 1 : pEnd;
        }
        LogCall("apps.ListInstalledDepots(%u, %u) -> %u", appId, maxDepots, count);
        return count;
    }

    uint32_t GetInstallFolder(QuernAppId appId, char* pBuffer, uint32_t bufferSize) override
    {
        char szName[64];
        snprintf(szName, sizeof(szName), "QUERN_STANDIN_INSTALLDIR_%u", appId);
        char szDir[1024];
        ReadVariable(szName, szDir, sizeof(szDir));
        if (pBuffer && bufferSize > 0) snprintf(pBuffer, bufferSize, "%s", szDir);
        LogCall("apps.GetInstallFolder(%u, %u) -> %s", appId, bufferSize, szDir);
        return (uint32_t)strlen(szDir);
    }

    bool QueryInstalled(uint32_t id) override
    {
        char szList[1024];
        ReadVariable("QUERN_STANDIN_INSTALLED", szList, sizeof(szList));
        char szId[16];
        snprintf(szId, sizeof(szId), "%u", id);
        bool bInstalled = ListHas(szList, szId);
        LogCall("apps.QueryInstalled(%u) -> %d", id, bInstalled ? 1 : 0);
        return bInstalled;
    }
};

CStandInUtils g_Utils;
CStandInUser g_User;
CStandInApps g_Apps;

class CStandInClient : public IQuernClient017
{
public:
    HQuernPipe OpenPipe() override
    {
        LogCall("client.OpenPipe() -> %d", kPipe);
        return kPipe;
    }
    bool ClosePipe(HQuernPipe hPipe) override
    {
        LogCall("client.ClosePipe(%d) -> 1", hPipe);
        return true;
    }
    HQuernUser AttachUser(HQuernPipe hPipe) override
    {
        HQuernUser hUser = Withheld("userhandle") ? 0 : kUser;
        LogCall("client.AttachUser(%d) -> %d", hPipe, hUser);
        return hUser;
    }
    void Reserved3() override { LogCall("client.Reserved3()"); }
    void DetachUser(HQuernPipe hPipe, HQuernUser hUser) override
    {
        LogCall("client.DetachUser(%d, %d)", hPipe, hUser);
    }
    void* GetUserInterface(HQuernUser hUser, HQuernPipe hPipe, const char* pVersion) override
    {
        void* p = Withheld("user") ? nullptr : &g_User;
        LogCall("client.GetUserInterface(%d, %d, %s) -> %s", hUser, hPipe, pVersion,
                PtrName(p, "user"));
        return p;
    }
    void Reserved6() override { LogCall("client.Reserved6()"); }
    void Reserved7() override { LogCall("client.Reserved7()"); }
    void Reserved8() override { LogCall("client.Reserved8()"); }
    void* GetUtilsInterface(HQuernPipe hPipe, const char* pVersion) override
    {
        void* p = Withheld("utils") ? nullptr : &g_Utils;
        LogCall("client.GetUtilsInterface(%d, %s) -> %s", hPipe, pVersion, PtrName(p, "utils"));
        return p;
    }
    void Reserved10() override { LogCall("client.Reserved10()"); }
    void Reserved11() override { LogCall("client.Reserved11()"); }
    void Reserved12() override { LogCall("client.Reserved12()"); }
    void Reserved13() override { LogCall("client.Reserved13()"); }
    void Reserved14() override { LogCall("client.Reserved14()"); }
    void* GetAppsInterface(HQuernUser hUser, HQuernPipe hPipe, const char* pVersion) override
    {
        void* p = Withheld("apps") ? nullptr : &g_Apps;
        LogCall("client.GetAppsInterface(%d, %d, %s) -> %s", hUser, hPipe, pVersion,
                PtrName(p, "apps"));
        return p;
    }
};

CStandInClient g_Client;
} // namespace

STANDIN_EXPORT void* CreateInterface(const char* pVersion, int* pReturnCode)
{
    void* p = nullptr;
    if (pVersion && strcmp(pVersion, QUERNCLIENT_INTERFACE_VERSION) == 0 && !Withheld("client"))
        p = &g_Client;
    if (pReturnCode) *pReturnCode = p ? 0 : 1;
    LogCall("CreateInterface(%s) -> %s", pVersion ? pVersion : "null", PtrName(p, "client"));
    return p;
}
