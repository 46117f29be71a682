// Interface objects the way an old game used them: it asks _f for a version
// and calls the operations by their place in the object's table.
#include "examples/legacy_host/legacy_host_iface.h"
#include "examples/legacy_host/legacy_host_lookup.h"

#include "plinth/platform/platform_env.h"

#include "quern.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace
{
#if defined(__i386__)
#define HOST_MEMBER_CALL __attribute__((thiscall))
#else
#define HOST_MEMBER_CALL
#endif

// Slots of "Quern006" used here.
enum
{
    SLOT_OPEN_FILE = 15,
    SLOT_CLOSE_FILE = 26,
    SLOT_READ_FILE = 27,
    SLOT_SIZE_FILE = 33,
    SLOT_STARTUP = 46,
    SLOT_CLEANUP = 47,
    SLOT_GET_CURRENT_APP_ID = 126,
};

// Calls slot `slot` of `pObject`: the object is the hidden first argument.
template <typename R, typename... A> R CallSlot(void* pObject, int slot, A... args)
{
    typedef R(HOST_MEMBER_CALL * SlotFn)(void*, A...);
    SlotFn pfn = (SlotFn)(*(void* const* const*)pObject)[slot];
    return pfn(pObject, args...);
}
} // namespace

bool RunInterfaceSection(PlatModule hQuern)
{
    printf("-- interface objects\n");
    bool bAll = true;
    auto pfnFactory = LOOKUP_EXPORT(hQuern, _f, bAll);
    if (!bAll) return false;
    printf("_f(\"quern006\") -> %s\n", pfnFactory("quern006") ? "an object" : "null");
    void* pQuern = pfnFactory("Quern006");
    printf("_f(\"Quern006\") -> %s\n", pQuern ? "an object" : "null");
    if (!pQuern) return false;

    TQuernError error;
    memset(&error, 0, sizeof(error));
    int result = CallSlot<int, uint32_t, TQuernError*>(pQuern, SLOT_STARTUP, 0u, &error);
    printf("[46] startup -> %d, failureType %d\n", result, error.failureType);
    bool bOk = result == 1;

    uint32_t appId = 0;
    result =
        CallSlot<int, uint32_t*, TQuernError*>(pQuern, SLOT_GET_CURRENT_APP_ID, &appId, &error);
    printf("[126] current app id -> %d, app %u\n", result, appId);

    char szPath[1024] = "quern_demo.txt";
    uint32_t len = Plat_GetEnvironmentVariable("QUERN_DEMO_FILE", szPath, sizeof(szPath));
    if (len >= sizeof(szPath)) szPath[0] = '\0';
    uint32_t hFile = CallSlot<uint32_t, const char*, const char*, TQuernError*>(
        pQuern, SLOT_OPEN_FILE, szPath, "rb", &error);
    printf("[15] open \"%s\" -> handle %u, failureType %d\n", szPath, hFile, error.failureType);
    if (hFile)
    {
        int32_t size =
            CallSlot<int32_t, uint32_t, TQuernError*>(pQuern, SLOT_SIZE_FILE, hFile, &error);
        char szText[128] = {};
        uint32_t got = CallSlot<uint32_t, void*, uint32_t, uint32_t, uint32_t, TQuernError*>(
            pQuern, SLOT_READ_FILE, (void*)szText, 1u, (uint32_t)sizeof(szText) - 1, hFile, &error);
        int shown = (int)got;
        while (shown > 0 && (szText[shown - 1] == '\n' || szText[shown - 1] == '\r'))
            --shown;
        printf("[33] size -> %d\n[27] read -> %u bytes: \"%.*s\"\n", size, got, shown, szText);
        result = CallSlot<int, uint32_t, TQuernError*>(pQuern, SLOT_CLOSE_FILE, hFile, &error);
        printf("[26] close -> %d\n", result);
        bOk = bOk && got > 0;
    }
    else
    {
        bOk = false;
    }

    result = CallSlot<int, TQuernError*>(pQuern, SLOT_CLEANUP, &error);
    printf("[47] cleanup -> %d\n", result);
    return bOk && result == 1;
}
