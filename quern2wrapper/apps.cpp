// Application and account queries: the built-in application table and the
// client's apps and user interfaces.
#include "quern2wrapper/apps.h"

#include "plinth/platform/platform_env.h"
#include "quern2wrapper/apptable.h"
#include "quern2wrapper/depotappmap.h"
#include "quern2wrapper/quern_export.h"
#include "quern2wrapper/quernerror.h"
#include "quern2wrapper/session.h"

#include <cstring>

// Asks the client for an application's installed depots. The count is held
// to the array's capacity, whatever the client answers.
static uint32_t ListDepots(QuernAppId appId, QuernDepotId (&depots)[QUERN_QUERY_DEPOT_CAPACITY])
{
    memset(depots, 0, sizeof(depots));
    uint32_t count =
        g_Session.m_pApps->ListInstalledDepots(appId, depots, QUERN_QUERY_DEPOT_CAPACITY);
    return count > QUERN_QUERY_DEPOT_CAPACITY ? QUERN_QUERY_DEPOT_CAPACITY : count;
}

// strncpy into a caller's buffer of `capacity` bytes; a null buffer is skipped.
// A text that does not fit (an application title) is cut without a
// terminator and the call still succeeds: old callers size these fields from
// the titles they ship with and read them as fixed-width fields. Kept that way
// on purpose; nothing is written past `capacity`.
static void CopyField(char* pszOut, uint32_t capacity, const char* pszText)
{
    if (pszOut && capacity) strncpy(pszOut, pszText, capacity);
}

QUERN_EXPORT int QuernEnumerateApp(uint32_t appId, QuernApp* pApp, TQuernError* pError)
{
    ClearError(pError);
    // Before start-up and after clean-up there is nobody to ask.
    if (!pApp || !g_Session.m_pApps) return 0;

    CopyField(pApp->pszTitle, pApp->titleCapacity, LookupAppRow(appId)->m_szTitle);
    CopyField(pApp->pszText2, pApp->text2Capacity, "1");
    CopyField(pApp->pszText3, pApp->text3Capacity, "1");

    g_Session.m_pApps->GetInstallFolder(appId, pApp->pszInstallDir, pApp->installDirCapacity);

    pApp->appId = appId;
    for (uint32_t& count : pApp->fixedCounts)
        count = 1;
    pApp->zeroCount = 0;
    pApp->oneCount = 1;

    QuernDepotId depots[QUERN_QUERY_DEPOT_CAPACITY];
    uint32_t count = ListDepots(appId, depots);
    pApp->dependencyCount = count;
    // The last application to list a depot owns it.
    for (uint32_t i = 0; i < count; ++i)
        DepotAppMap_Set(depots[i], appId);

    QUERN_VERBOSE_LOG("QuernEnumerateApp appid %u, dependencies %u", appId, count);
    return 1;
}

QUERN_EXPORT int QuernEnumerateAppDependency(uint32_t appId, uint32_t index,
                                             QuernAppDependency* pDependency, TQuernError* pError)
{
    ClearError(pError);
    if (!pDependency || !g_Session.m_pApps) return 0;

    QuernDepotId depots[QUERN_QUERY_DEPOT_CAPACITY];
    uint32_t count = ListDepots(appId, depots);
    if (index < count)
    {
        pDependency->depotId = depots[index];
        pDependency->present = 1;
        // The application's folder: depots have none of their own.
        g_Session.m_pApps->GetInstallFolder(appId, pDependency->installDir,
                                            (uint32_t)sizeof(pDependency->installDir));
    }
    else
    {
        pDependency->depotId = 0;
        pDependency->present = 0;
        pDependency->installDir[0] = '\0';
    }

    QUERN_VERBOSE_LOG("QuernEnumerateAppDependency AppID %u, depot %u", appId,
                      pDependency->depotId);
    return 1;
}

QUERN_EXPORT int QuernGetAppIds(uint32_t* pIds, uint32_t capacity, TQuernError* pError)
{
    ClearError(pError);
    if (capacity < (uint32_t)QUERN_BUILTIN_APP_COUNT || !pIds)
    {
        SetError(pError, "AppID buffer too small", QUERN_FAILURE_FAILED);
        return 0;
    }
    for (int i = 0; i < QUERN_BUILTIN_APP_COUNT; ++i)
        pIds[i] = BuiltInAppTable[i].m_nAppId;
    QUERN_VERBOSE_LOG("QuernGetAppIds : %u apps", (uint32_t)QUERN_BUILTIN_APP_COUNT);
    return 1;
}

QUERN_EXPORT int QuernGetAppStats(QuernAppStats* pStats, TQuernError* pError)
{
    ClearError(pError);
    if (!pStats) return 0;
    static const uint32_t s_values[9] = {255, 255, 255, 1, 255, 255, 0, 0, 0};
    pStats->appCount = QUERN_BUILTIN_APP_COUNT;
    memcpy(pStats->values, s_values, sizeof(s_values));
    QUERN_VERBOSE_LOG("QuernGetAppStats : %u apps", (uint32_t)QUERN_BUILTIN_APP_COUNT);
    return 1;
}

// Query type 2 asks about an application; every other type about a depot.
static constexpr uint32_t QUERN_UPDATE_QUERY_APP = 2;

QUERN_EXPORT int QuernGetAppUpdateStats(uint32_t id, uint32_t queryType, QuernUpdateStats* pStats,
                                        TQuernError* pError)
{
    ClearError(pError);
    if (!pStats) return 0;
    pStats->totalSize = QUERN_UPDATE_TOTAL_SIZE;
    pStats->presentSize = 0;

    if (g_Session.m_pApps)
    {
        if (queryType == QUERN_UPDATE_QUERY_APP)
        {
            if (g_Session.m_pApps->QueryInstalled(id)) pStats->presentSize = pStats->totalSize;
        }
        else
        {
            // A depot never enumerated is taken to be the running application's.
            QuernAppId owner = g_Session.m_nAppId;
            DepotAppMap_Find(id, &owner);
            QuernDepotId depots[QUERN_QUERY_DEPOT_CAPACITY];
            int count = (int)ListDepots(owner, depots);
            for (int i = 0; i < count; ++i)
            {
                if (depots[i] == id)
                {
                    pStats->presentSize = pStats->totalSize;
                    break;
                }
            }
        }
    }

    QUERN_VERBOSE_LOG("QuernGetAppUpdateStats appid %u: %llu / %llu", id,
                      (unsigned long long)pStats->presentSize,
                      (unsigned long long)pStats->totalSize);
    return 1;
}

QUERN_EXPORT int QuernGetUser(char* pszName, uint32_t nameSize, uint32_t* pNameLength,
                              QuernGlobalUserId* pUserId, TQuernError* pError)
{
    ClearError(pError);
    if (pNameLength) *pNameLength = 0;
    if (!g_Session.m_pUser) return 0;

    uint32_t answer = Plat_GetEnvironmentVariable("QuernUser", pszName, pszName ? nameSize : 0);
    if (pNameLength) *pNameLength = answer;

    if (pUserId)
    {
        uint32_t account = (uint32_t)g_Session.m_pUser->GetUserIdentity();
        pUserId->instance = 0;
        pUserId->number = account >> 1;
        pUserId->parity = account & 1;
    }

    // Only a name that was stored is known to be terminated.
    bool bStored = pszName && answer != 0 && answer < nameSize;
    QUERN_VERBOSE_LOG("QuernGetUser: %s", bStored ? pszName : "");
    return 1;
}
