// legacy_host: application and account queries, as an old game's launcher
// and its multiplayer code made them.
#include "examples/legacy_host/legacy_host_apps.h"
#include "examples/legacy_host/legacy_host_lookup.h"

#include "quern.h"

#include <cstdio>
#include <cstring>

bool RunApplicationSection(PlatModule hQuern)
{
    bool bAll = true;
    auto pfnGetAppIds = LOOKUP_EXPORT(hQuern, QuernGetAppIds, bAll);
    auto pfnEnumerateApp = LOOKUP_EXPORT(hQuern, QuernEnumerateApp, bAll);
    auto pfnEnumerateDependency = LOOKUP_EXPORT(hQuern, QuernEnumerateAppDependency, bAll);
    auto pfnGetAppStats = LOOKUP_EXPORT(hQuern, QuernGetAppStats, bAll);
    auto pfnGetUpdateStats = LOOKUP_EXPORT(hQuern, QuernGetAppUpdateStats, bAll);
    auto pfnGetUser = LOOKUP_EXPORT(hQuern, QuernGetUser, bAll);
    auto pfnGetTicket = LOOKUP_EXPORT(hQuern, QuernGetEncryptedUserIDTicket, bAll);
    auto pfnStartValidating = LOOKUP_EXPORT(hQuern, QuernStartValidatingUserIDTicket, bAll);
    auto pfnProcessValidation =
        LOOKUP_EXPORT(hQuern, QuernProcessOngoingUserIDTicketValidation, bAll);
    auto pfnGetCurrentAppId = LOOKUP_EXPORT(hQuern, QuernGetCurrentAppId, bAll);
    auto pfnNumServers = LOOKUP_EXPORT(hQuern, QuernFindServersNumServers, bAll);
    auto pfnIterateServer = LOOKUP_EXPORT(hQuern, QuernFindServersIterateServer, bAll);
    auto pfnLaunchApp = LOOKUP_EXPORT(hQuern, QuernLaunchApp, bAll);
    if (!bAll) return false;

    bool bOk = true;
    TQuernError error;
    memset(&error, 0, sizeof(error));

    uint32_t ids[21];
    int result = pfnGetAppIds(ids, 20, &error);
    printf("QuernGetAppIds(capacity 20) -> %d, \"%s\"\n", result, error.description);
    result = pfnGetAppIds(ids, 21, &error);
    printf("QuernGetAppIds(capacity 21) -> %d, first %u, last %u\n", result, ids[0], ids[20]);
    bOk &= result == 1;

    uint32_t appIds[2] = {ids[0], 0};
    uint32_t currentAppId = 0;
    pfnGetCurrentAppId(&currentAppId, &error);
    appIds[1] = currentAppId;
    for (uint32_t appId : appIds)
    {
        char title[64], text2[4], text3[4], dir[260];
        QuernApp app;
        memset(&app, 0, sizeof(app));
        app.pszTitle = title;
        app.titleCapacity = sizeof(title);
        app.pszText2 = text2;
        app.text2Capacity = sizeof(text2);
        app.pszText3 = text3;
        app.text3Capacity = sizeof(text3);
        app.pszInstallDir = dir;
        app.installDirCapacity = sizeof(dir);
        result = pfnEnumerateApp(appId, &app, &error);
        printf("QuernEnumerateApp(%u) -> %d, \"%.64s\", dir \"%s\", %u depots\n", appId, result,
               title, dir, app.dependencyCount);
        bOk &= result == 1;
        for (uint32_t i = 0; i <= app.dependencyCount; ++i)
        {
            QuernAppDependency dependency;
            result = pfnEnumerateDependency(appId, i, &dependency, &error);
            printf("  QuernEnumerateAppDependency(%u, %u) -> %d, depot %u, present %u\n", appId, i,
                   result, dependency.depotId, dependency.present);
            if (dependency.present)
            {
                QuernUpdateStats stats;
                pfnGetUpdateStats(dependency.depotId, 0, &stats, &error);
                printf("  QuernGetAppUpdateStats(depot %u) -> %llu of %llu bytes present\n",
                       dependency.depotId, (unsigned long long)stats.presentSize,
                       (unsigned long long)stats.totalSize);
            }
        }
    }

    QuernAppStats appStats;
    result = pfnGetAppStats(&appStats, &error);
    printf("QuernGetAppStats -> %d, %u apps\n", result, appStats.appCount);

    char name[64] = {};
    uint32_t nameLength = 0;
    QuernGlobalUserId userId;
    memset(&userId, 0, sizeof(userId));
    result = pfnGetUser(name, sizeof(name), &nameLength, &userId, &error);
    printf("QuernGetUser -> %d, \"%s\" (length %u), number %u, parity %u\n", result, name,
           nameLength, userId.number, userId.parity);
    bOk &= result == 1;

    // A client gets its ticket; a server validates it and learns who it is.
    unsigned char ticket[QUERN_TICKET_SIZE];
    uint32_t ticketLength = 0;
    pfnGetTicket("key", 3, ticket, sizeof(ticket), &ticketLength, &error);
    printf("QuernGetEncryptedUserIDTicket -> %u bytes, failureType %d\n", ticketLength,
           error.failureType);
    uint32_t handle = 0;
    result = pfnStartValidating(ticket, ticketLength, 0, &handle);
    printf("QuernStartValidatingUserIDTicket -> %d, handle %u\n", result, handle);
    QuernGlobalUserId validated;
    memset(&validated, 0, sizeof(validated));
    uint32_t value = 0, last = 0;
    result = pfnProcessValidation(handle, &validated, &value, 0, 0, &last);
    printf("QuernProcessOngoingUserIDTicketValidation(%u) -> %d, number %u, parity %u\n", handle,
           result, validated.number, validated.parity);
    bOk &= result == 0 && validated.number == userId.number && validated.parity == userId.parity;

    int servers = pfnNumServers(4);
    printf("QuernFindServersNumServers(4) -> %d\n", servers);
    for (int i = 0; i <= servers; ++i)
    {
        char endpoint[32];
        result = pfnIterateServer(4, (uint32_t)i, endpoint, sizeof(endpoint));
        printf("  QuernFindServersIterateServer(4, %d) -> %d, \"%s\"\n", i, result, endpoint);
    }

    // The platform client's executable starts the other application; the
    // library does not wait for it.
    result = pfnLaunchApp(8600, 0, "-windowed", &error);
    printf("QuernLaunchApp(8600, \"-windowed\") -> %d\n", result);
    bOk &= result == 1;
    return bOk;
}
