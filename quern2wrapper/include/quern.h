/* quern.h: the legacy Quern storage and account API as quern.dll exports it.
 *
 * Usable from C and C++. Every function has C linkage, the default C calling
 * convention and an undecorated name. Records are owned by the caller;
 * nothing the library returns is freed by the caller. Results are 1 for
 * success and 0 for failure unless noted.
 *
 * This header grows with the library: it declares the records and the
 * functions that are carried out so far. The calls that no longer have a
 * meaning ("Wrapper not implemented") are exported too but not declared
 * here; see quern2wrapper/quern_stubs.h for their list.
 */
#ifndef QUERN_H
#define QUERN_H

#include <stdint.h>

#ifdef __cplusplus
#define QUERN_EXTERN_C extern "C"
#else
#define QUERN_EXTERN_C extern
#endif

#if defined(_WIN32) && !defined(QUERN_INTERNAL)
#define QUERN_DATA_IMPORT __declspec(dllimport)
#else
#define QUERN_DATA_IMPORT
#endif

#define QUERN_FAILURE_NONE 0
#define QUERN_FAILURE_FAILED 1
#define QUERN_FAILURE_NOT_FOUND 9
#define QUERN_FAILURE_END_OF_FILE 11

/* The error record every call fills (268 bytes on 32-bit Windows). */
typedef struct TQuernError
{
    int32_t failureType;       /* 0 no error, 1 failed, 9 not found, 11 end of file */
    int32_t detailedErrorType; /* always 0 */
    int32_t detailedErrorCode; /* always 0 */
    char description[255];     /* zero-terminated when it fits */
} TQuernError;

/* Progress record of QuernProcessCall. */
typedef struct QuernProgress
{
    int32_t valid;
    int32_t percentDone;
    char description[255];
} QuernProgress;

/* Offline-status record of QuernGetOfflineStatus. */
typedef struct QuernOfflineStatus
{
    int32_t value1;
    int32_t value2;
} QuernOfflineStatus;

typedef uint32_t QuernCallHandle;

/* Written by nothing; kept for callers that read it. */
QUERN_EXTERN_C QUERN_DATA_IMPORT uint32_t g_dwDllEntryThreadId;

/* Session */
QUERN_EXTERN_C int QuernStartup(uint32_t flags, TQuernError* pError);
QUERN_EXTERN_C int QuernCleanup(TQuernError* pError);
QUERN_EXTERN_C int QuernGetCurrentAppId(uint32_t* pAppId, TQuernError* pError);
QUERN_EXTERN_C int QuernGetVersion(char* pBuffer, uint32_t size);
QUERN_EXTERN_C int QuernGetLocalClientVersion(uint32_t* pValue1, uint32_t* pValue2,
                                              TQuernError* pError);
QUERN_EXTERN_C int QuernIsLoggedIn(int32_t* pIsLoggedIn, TQuernError* pError);
QUERN_EXTERN_C int QuernGetOfflineStatus(QuernOfflineStatus* pStatus, TQuernError* pError);
QUERN_EXTERN_C int QuernGetCurrentCellID(uint32_t* pValue1, uint32_t* pValue2,
                                         TQuernError* pError);

/* Call handles: every operation is complete when its call returns. */
QUERN_EXTERN_C int QuernBlockingCall(QuernCallHandle handle, uint32_t timeout, TQuernError* pError);
QUERN_EXTERN_C int QuernProcessCall(QuernCallHandle handle, QuernProgress* pProgress,
                                    TQuernError* pError);
QUERN_EXTERN_C int QuernAbortCall(QuernCallHandle handle, TQuernError* pError);
QUERN_EXTERN_C void QuernClearError(TQuernError* pError);

/* Calls that succeed without doing anything. */
QUERN_EXTERN_C int QuernWaitForResources(uint32_t value, TQuernError* pError);
QUERN_EXTERN_C int QuernUnmountFilesystem(uint32_t value, TQuernError* pError);
QUERN_EXTERN_C void QuernLogResourceLoadStarted(const void* pValue);
QUERN_EXTERN_C void QuernLogResourceLoadFinished(const void* pValue);
QUERN_EXTERN_C int QuernCreateLogContext(const void* pValue);
QUERN_EXTERN_C int QuernLog(int context, const char* pText);

/* Crash-dump calls answered as not implemented. */
QUERN_EXTERN_C void QuernWriteMiniDumpFromAssert(void);
QUERN_EXTERN_C void QuernWriteMiniDumpWithAppID(void);

/* Applications and the user. Layouts as on 32-bit Windows (offsets in bytes). */

/* Filled by QuernEnumerateApp. The text buffers and their capacities are the
 * caller's; texts are copied with strncpy rules (no terminator when they do
 * not fit). */
typedef struct QuernApp
{
    char* pszTitle;               /* 0: the application's title */
    uint32_t titleCapacity;       /* 4 */
    char* pszText2;               /* 8: "1" */
    uint32_t text2Capacity;       /* 12 */
    char* pszText3;               /* 16: "1" */
    uint32_t text3Capacity;       /* 20 */
    char* pszInstallDir;          /* 24: the install directory */
    uint32_t installDirCapacity;  /* 28 */
    uint32_t appId;               /* 32 */
    uint32_t fixedCounts[5];      /* 36..52: 1 each */
    uint32_t zeroCount;           /* 56: 0 */
    uint32_t oneCount;            /* 60: 1 */
    uint32_t dependencyCount;     /* 64: installed depots */
} QuernApp;

/* Filled by QuernEnumerateAppDependency. */
typedef struct QuernAppDependency
{
    uint32_t depotId;     /* 0 */
    uint32_t present;     /* 4: 1 or 0 */
    char installDir[255]; /* 8: the application's install directory, or empty */
} QuernAppDependency;

/* Filled by QuernGetAppStats: the number of known applications, then nine
 * fixed values. */
typedef struct QuernAppStats
{
    uint32_t appCount;  /* 0 */
    uint32_t values[9]; /* 4..36 */
} QuernAppStats;

/* Filled by QuernGetAppUpdateStats. */
typedef struct QuernUpdateStats
{
    uint64_t totalSize;   /* 0 */
    uint64_t presentSize; /* 8 */
} QuernUpdateStats;

/* The legacy user id: account number = number * 2 + parity. */
typedef struct QuernGlobalUserId
{
    uint16_t instance;       /* 0 */
    uint8_t unassigned[6];   /* 2..7: never written */
    uint32_t number;         /* 8 */
    uint32_t parity;         /* 12 */
} QuernGlobalUserId;

QUERN_EXTERN_C int QuernEnumerateApp(uint32_t appId, QuernApp* pApp, TQuernError* pError);
QUERN_EXTERN_C int QuernEnumerateAppDependency(uint32_t appId, uint32_t index,
                                               QuernAppDependency* pDependency,
                                               TQuernError* pError);
QUERN_EXTERN_C int QuernGetAppIds(uint32_t* pIds, uint32_t capacity, TQuernError* pError);
QUERN_EXTERN_C int QuernGetAppStats(QuernAppStats* pStats, TQuernError* pError);
QUERN_EXTERN_C int QuernGetAppUpdateStats(uint32_t id, uint32_t queryType,
                                          QuernUpdateStats* pStats, TQuernError* pError);
QUERN_EXTERN_C int QuernGetUser(char* pszName, uint32_t nameSize, uint32_t* pNameLength,
                                QuernGlobalUserId* pUserId, TQuernError* pError);

/* Launching: the platform client's executable starts the application. */
QUERN_EXTERN_C int QuernLaunchApp(uint32_t appId, uint32_t ignored, const char* pszArgs,
                                  TQuernError* pError);

/* Identity tickets (32 bytes) and server lists. */
#define QUERN_TICKET_SIZE 32
QUERN_EXTERN_C int QuernGetEncryptedUserIDTicket(const void* pKey, uint32_t keyLength,
                                                 void* pTicket, uint32_t ticketCapacity,
                                                 uint32_t* pTicketLength, TQuernError* pError);
QUERN_EXTERN_C int QuernInitializeUserIDTicketValidator(const void* pIgnored);
QUERN_EXTERN_C int QuernShutdownUserIDTicketValidator(void);
QUERN_EXTERN_C int QuernStartValidatingUserIDTicket(const void* pTicket, uint32_t ticketLength,
                                                    uint32_t ignored, uint32_t* pHandle);
QUERN_EXTERN_C int QuernProcessOngoingUserIDTicketValidation(uint32_t handle,
                                                             QuernGlobalUserId* pUserId,
                                                             uint32_t* pValue, uint32_t ignored1,
                                                             uint32_t ignored2, uint32_t* pLast);
QUERN_EXTERN_C void QuernAbortOngoingUserIDTicketValidation(uint32_t ignored);
QUERN_EXTERN_C int QuernOptionalCleanUpAfterClientHasDisconnected(uint32_t ignored);
QUERN_EXTERN_C const char* QuernGetEncryptionKeyToSendToNewClient(uint32_t* pLength);
QUERN_EXTERN_C int QuernFindServersNumServers(uint32_t serverType);
QUERN_EXTERN_C int QuernFindServersIterateServer(uint32_t serverType, uint32_t index,
                                                 char* pszOut, int outSize);
QUERN_EXTERN_C const char* QuernFindServersGetErrorString(void);

/* Crash dumps, forwarded to the platform's crash-dump module. */
QUERN_EXTERN_C int QuernMiniDumpInit(void);
QUERN_EXTERN_C int QuernWriteMiniDumpUsingExceptionInfoWithBuildId(uint32_t exceptionCode,
                                                                   void* pExceptionInfo,
                                                                   uint32_t buildId);
QUERN_EXTERN_C int QuernWriteMiniDumpUsingExceptionInfo(uint32_t exceptionCode,
                                                        void* pExceptionInfo);
QUERN_EXTERN_C int QuernWriteMiniDumpSetComment(const char* pszComment);

/* General interface factory; sets *pReturnCode to 0 on success, 1 otherwise. */
QUERN_EXTERN_C void* CreateInterface(const char* pName, int* pReturnCode);

#endif /* QUERN_H */
