// The session with the platform client and the fixed-status exports.
#include "quern2wrapper/session.h"

#include "plinth/platform/platform_env.h"
#include "quern2wrapper/clientconnection.h"
#include "quern2wrapper/include/quern.h"
#include "quern2wrapper/quern_export.h"
#include "quern2wrapper/quernerror.h"

#include <cctype>
#include <cstring>

QuernSession g_Session;

// An unsigned decimal as the 32-bit C runtime reads it: leading blanks,
// optional sign, digits up to the first other character; saturates on
// overflow; a minus sign negates modulo 2^32.
static uint32_t ParseUnsignedDecimal(const char* pszText)
{
    const char* p = pszText;
    while (isspace((unsigned char)*p))
        ++p;
    bool bNegative = false;
    if (*p == '+' || *p == '-') bNegative = (*p++ == '-');
    uint64_t value = 0;
    bool bOverflow = false;
    for (; *p >= '0' && *p <= '9'; ++p)
    {
        value = value * 10 + (uint64_t)(*p - '0');
        if (value > 0xFFFFFFFFu)
        {
            bOverflow = true;
            value = 0xFFFFFFFFu;
        }
    }
    if (bOverflow) return 0xFFFFFFFFu;
    return bNegative ? (uint32_t)(0u - (uint32_t)value) : (uint32_t)value;
}

// The id of the application the client is running, else the one the
// environment names.
static QuernAppId DetermineAppId()
{
    QuernAppId appId = g_Session.m_pUtils->GetRunningAppId();
    if (appId != 0) return appId;
    char szValue[256];
    uint32_t len = Plat_GetEnvironmentVariable("QuernGameId", szValue, sizeof(szValue));
    if (len >= 1 && len <= 255) return ParseUnsignedDecimal(szValue);
    return 0;
}

// Gives back the user and the pipe, forgets the interfaces and unloads the
// client library. Handles, the application id and its folder stay as they
// were: the file layer still reads the folder.
static void ReleaseClientSession()
{
    if (g_Session.m_pClient)
    {
        g_Session.m_pClient->DetachUser(g_Session.m_hPipe, g_Session.m_hUser);
        g_Session.m_pClient->ClosePipe(g_Session.m_hPipe);
        g_Session.m_pClient = nullptr;
    }
    g_Session.m_pUtils = nullptr;
    g_Session.m_pUser = nullptr;
    g_Session.m_pApps = nullptr;

    if (g_Session.m_hClientModule)
    {
        Plat_FreeLibrary(g_Session.m_hClientModule);
        g_Session.m_hClientModule = nullptr;
    }
}

int QuernStartup_Client(TQuernError* pError)
{
    ClearError(pError);

    // A start-up without clean-up in between would otherwise keep the earlier
    // pipe, user and library reference for good, and a loader that finds no
    // running client would go on with the earlier library as if it had. The
    // crash-dump module is no part of the session and stays until cleanup.
    ReleaseClientSession();

    g_Session.m_pClient = (IQuernClient017*)QuernAPI_Init_Internal(
        &g_Session.m_hClientModule, false, QUERNCLIENT_INTERFACE_VERSION);
    if (!g_Session.m_pClient || !g_Session.m_hClientModule)
    {
        SetError(pError, "QuernAPI_Init_Internal failed", QUERN_FAILURE_FAILED);
        return 0;
    }

    // Each result is kept at once: cleanup gives back whatever was obtained.
    g_Session.m_hPipe = g_Session.m_pClient->OpenPipe();
    g_Session.m_hUser = g_Session.m_pClient->AttachUser(g_Session.m_hPipe);
    g_Session.m_pUtils = (IQuernUtils009*)g_Session.m_pClient->GetUtilsInterface(
        g_Session.m_hPipe, QUERNUTILS_INTERFACE_VERSION);
    g_Session.m_pUser = (IQuernUser019*)g_Session.m_pClient->GetUserInterface(
        g_Session.m_hUser, g_Session.m_hPipe, QUERNUSER_INTERFACE_VERSION);
    g_Session.m_pApps = (IQuernApps008*)g_Session.m_pClient->GetAppsInterface(
        g_Session.m_hUser, g_Session.m_hPipe, QUERNAPPS_INTERFACE_VERSION);
    if (!g_Session.m_pUtils || !g_Session.m_pUser || !g_Session.m_hUser || !g_Session.m_pApps)
    {
        SetError(pError, "Missing interface", QUERN_FAILURE_FAILED);
        return 0;
    }

    QUERN_VERBOSE_LOG("QuernStartup");

    g_Session.m_nAppId = DetermineAppId();
    g_Session.m_pApps->GetInstallFolder(g_Session.m_nAppId, g_Session.m_szAppInstallDir,
                                        QUERN_INSTALL_DIR_SIZE);

    return 1;
}

QUERN_EXPORT int QuernStartup(uint32_t /*flags*/, TQuernError* pError)
{
    if (!QuernStartup_Client(pError)) return 0;
    // A failing file layer leaves the record clear.
    return QuernStartup_FileLayer() ? 1 : 0;
}

QUERN_EXPORT int QuernCleanup(TQuernError* pError)
{
    ClearError(pError);
    ReleaseClientSession();
    QuernCleanup_CrashDumpModule();
    return 1;
}

QUERN_EXPORT int QuernGetCurrentAppId(uint32_t* pAppId, TQuernError* pError)
{
    ClearError(pError);
    if (pAppId) *pAppId = 0;
    if (!g_Session.m_pUtils) return 0;
    QuernAppId appId = g_Session.m_pUtils->GetRunningAppId();
    if (pAppId) *pAppId = appId;
    return 1;
}

QUERN_EXPORT int QuernGetVersion(char* pBuffer, uint32_t size)
{
    if (!pBuffer || size == 0) return 0;
    // strncpy rules: below 8 bytes the text is cut without a terminator and
    // still answered as success. Old callers size the buffer for the text
    // they know and read no further than they asked for; the copy never
    // writes past `size`, so nothing here reads or writes out of bounds.
    strncpy(pBuffer, "1.0.0.0", size);
    return 1;
}

QUERN_EXPORT int QuernGetLocalClientVersion(uint32_t* pValue1, uint32_t* pValue2,
                                            TQuernError* pError)
{
    ClearError(pError);
    if (pValue1) *pValue1 = 1;
    if (pValue2) *pValue2 = 1;
    return 1;
}

QUERN_EXPORT int QuernIsLoggedIn(int32_t* pIsLoggedIn, TQuernError* pError)
{
    ClearError(pError);
    if (pIsLoggedIn) *pIsLoggedIn = 1;
    return 1;
}

QUERN_EXPORT int QuernGetOfflineStatus(QuernOfflineStatus* pStatus, TQuernError* pError)
{
    ClearError(pError);
    if (pStatus)
    {
        pStatus->value1 = 0;
        pStatus->value2 = 0;
    }
    return 1;
}

QUERN_EXPORT int QuernGetCurrentCellID(uint32_t* pValue1, uint32_t* pValue2, TQuernError* pError)
{
    ClearError(pError);
    if (pValue1) *pValue1 = 1;
    if (pValue2) *pValue2 = 100;
    return 1;
}
