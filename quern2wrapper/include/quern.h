/* quern.h: the legacy Quern storage and account API as quern.dll exports it.
 *
 * Usable from C and C++. Every function has C linkage, the default C calling
 * convention and an undecorated name. Records are owned by the caller;
 * nothing the library returns is freed by the caller. Results are 1 for
 * success and 0 for failure unless noted.
 *
 * Every export is declared here, the calls that no longer have a meaning
 * ("Wrapper not implemented") at the end.
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
QUERN_EXTERN_C int QuernGetCurrentCellID(uint32_t* pValue1, uint32_t* pValue2, TQuernError* pError);

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
    char* pszTitle;              /* 0: the application's title */
    uint32_t titleCapacity;      /* 4 */
    char* pszText2;              /* 8: "1" */
    uint32_t text2Capacity;      /* 12 */
    char* pszText3;              /* 16: "1" */
    uint32_t text3Capacity;      /* 20 */
    char* pszInstallDir;         /* 24: the install directory */
    uint32_t installDirCapacity; /* 28 */
    uint32_t appId;              /* 32 */
    uint32_t fixedCounts[5];     /* 36..52: 1 each */
    uint32_t zeroCount;          /* 56: 0 */
    uint32_t oneCount;           /* 60: 1 */
    uint32_t dependencyCount;    /* 64: installed depots */
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
    uint16_t instance;     /* 0 */
    uint8_t unassigned[6]; /* 2..7: never written */
    uint32_t number;       /* 8 */
    uint32_t parity;       /* 12 */
} QuernGlobalUserId;

QUERN_EXTERN_C int QuernEnumerateApp(uint32_t appId, QuernApp* pApp, TQuernError* pError);
QUERN_EXTERN_C int QuernEnumerateAppDependency(uint32_t appId, uint32_t index,
                                               QuernAppDependency* pDependency,
                                               TQuernError* pError);
QUERN_EXTERN_C int QuernGetAppIds(uint32_t* pIds, uint32_t capacity, TQuernError* pError);
QUERN_EXTERN_C int QuernGetAppStats(QuernAppStats* pStats, TQuernError* pError);
QUERN_EXTERN_C int QuernGetAppUpdateStats(uint32_t id, uint32_t queryType, QuernUpdateStats* pStats,
                                          TQuernError* pError);
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
QUERN_EXTERN_C int QuernFindServersIterateServer(uint32_t serverType, uint32_t index, char* pszOut,
                                                 int outSize);
QUERN_EXTERN_C const char* QuernFindServersGetErrorString(void);

/* Crash dumps, forwarded to the platform's crash-dump module. */
QUERN_EXTERN_C int QuernMiniDumpInit(void);
QUERN_EXTERN_C int QuernWriteMiniDumpUsingExceptionInfoWithBuildId(uint32_t exceptionCode,
                                                                   void* pExceptionInfo,
                                                                   uint32_t buildId);
QUERN_EXTERN_C int QuernWriteMiniDumpUsingExceptionInfo(uint32_t exceptionCode,
                                                        void* pExceptionInfo);
QUERN_EXTERN_C int QuernWriteMiniDumpSetComment(const char* pszComment);

/* Files: mounting, stdio-like handles, stat, search and local copies. Pack
 * files and disk files share one handle space; handle 0 is never valid. */
#define BND_FILE_HANDLE_FLAG 0x40000000u /* the handle names a file in a pack */
#define BND_TEXT_MODE_FLAG 0x20000000u   /* with the above: opened in text mode */

typedef uint32_t QuernFileHandle;
typedef uint32_t QuernFindHandle;

#ifndef QUERN_ELEMINFO_DEFINED
#define QUERN_ELEMINFO_DEFINED
/* Stat and search record (280 bytes). Times are seconds since 1970 UTC. */
typedef struct QuernElemInfo
{
    int32_t isDirectory;           /* 0 */
    uint32_t size;                 /* 4 */
    int32_t isLocal;               /* 8: 1 found on disk, 0 found in a pack */
    char name[256];                /* 12 */
    uint32_t lastAccessTime;       /* 268 */
    uint32_t lastModificationTime; /* 272 */
    uint32_t creationTime;         /* 276 */
} QuernElemInfo;
#endif

QUERN_EXTERN_C int QuernMountAppFilesystem(TQuernError* pError);
QUERN_EXTERN_C int QuernMountFilesystem(uint32_t depotId, const char* pszPath, TQuernError* pError);
QUERN_EXTERN_C int QuernUnmountAppFilesystem(TQuernError* pError);

QUERN_EXTERN_C QuernFileHandle QuernOpenFile(const char* pszPath, const char* pszMode,
                                             TQuernError* pError);
QUERN_EXTERN_C QuernFileHandle QuernOpenFileEx(const char* pszPath, const char* pszMode,
                                               uint32_t* pSize, TQuernError* pError);
QUERN_EXTERN_C QuernFileHandle QuernOpenTmpFile(TQuernError* pError);
QUERN_EXTERN_C int QuernCloseFile(QuernFileHandle hFile, TQuernError* pError);
QUERN_EXTERN_C uint32_t QuernReadFile(void* pBuffer, uint32_t elementSize, uint32_t count,
                                      QuernFileHandle hFile, TQuernError* pError);
QUERN_EXTERN_C uint32_t QuernWriteFile(const void* pData, uint32_t elementSize, uint32_t count,
                                       QuernFileHandle hFile, TQuernError* pError);
QUERN_EXTERN_C int QuernSeekFile(QuernFileHandle hFile, int32_t offset, uint32_t origin,
                                 TQuernError* pError);
QUERN_EXTERN_C int32_t QuernTellFile(QuernFileHandle hFile, TQuernError* pError);
QUERN_EXTERN_C int32_t QuernSizeFile(QuernFileHandle hFile, TQuernError* pError);
QUERN_EXTERN_C int QuernFlushFile(QuernFileHandle hFile, TQuernError* pError);
QUERN_EXTERN_C int QuernGetc(QuernFileHandle hFile, TQuernError* pError);
QUERN_EXTERN_C int QuernPutc(int ch, QuernFileHandle hFile, TQuernError* pError);
QUERN_EXTERN_C int QuernPrintFile(QuernFileHandle hFile, TQuernError* pError, const char* pszFormat,
                                  ...);
QUERN_EXTERN_C int QuernSetvBuf(QuernFileHandle hFile, void* pBuffer, uint32_t mode, uint32_t size,
                                TQuernError* pError);

QUERN_EXTERN_C int QuernStat(const char* pszPath, QuernElemInfo* pInfo, TQuernError* pError);
QUERN_EXTERN_C int QuernIsFileImmediatelyAvailable(const char* pszPath, TQuernError* pError);
QUERN_EXTERN_C QuernFindHandle QuernFindFirst(const char* pszPattern, uint32_t filter,
                                              QuernElemInfo* pInfo, TQuernError* pError);
QUERN_EXTERN_C int QuernFindNext(QuernFindHandle hFind, QuernElemInfo* pInfo, TQuernError* pError);
QUERN_EXTERN_C int QuernFindClose(QuernFindHandle hFind, TQuernError* pError);
QUERN_EXTERN_C int QuernGetLocalFileCopy(const char* pszPath, TQuernError* pError);

/* General interface factory; sets *pReturnCode to 0 on success, 1 otherwise. */
QUERN_EXTERN_C void* CreateInterface(const char* pName, int* pReturnCode);

/* Versioned interface objects: "Quern003", "Quern004", "Quern005" or
 * "Quern006" (exact case), else null. Operations are called through the
 * object's table by slot number (thiscall on 32-bit Windows). */
QUERN_EXTERN_C void* _f(const char* pszVersion);

/* Calls that no longer have a meaning. Each sets the record's failureType to
 * 1 and its text to "Wrapper not implemented", writes
 * "Wrapper not implemented:<name>" to the debugger output and returns 0. The
 * arguments besides the record are ignored; each is one word. */
typedef uintptr_t QuernStubArg;
QUERN_EXTERN_C int QuernCreateCachePreloaders(TQuernError* pError);
QUERN_EXTERN_C int QuernDeleteAccount(TQuernError* pError);
QUERN_EXTERN_C int QuernForgetAllHints(TQuernError* pError);
QUERN_EXTERN_C int QuernLogout(TQuernError* pError);
QUERN_EXTERN_C int QuernNumAppsRunning(TQuernError* pError);
QUERN_EXTERN_C int QuernPauseCachePreloading(TQuernError* pError);
QUERN_EXTERN_C int QuernRefreshAccountInfo(TQuernError* pError);
QUERN_EXTERN_C int QuernRequestEmailAddressVerificationEmail(TQuernError* pError);
QUERN_EXTERN_C int QuernResumeCachePreloading(TQuernError* pError);
QUERN_EXTERN_C int QuernShutdownEngine(TQuernError* pError);
QUERN_EXTERN_C int QuernShutdownQuernBridgeInterface(TQuernError* pError);
QUERN_EXTERN_C int QuernStartEngine(TQuernError* pError);
QUERN_EXTERN_C int QuernStartEngineEx(TQuernError* pError, QuernStubArg, QuernStubArg);
QUERN_EXTERN_C int QuernUninstall(TQuernError* pError);
QUERN_EXTERN_C int QuernAckSubscriptionReceipt(QuernStubArg, TQuernError* pError);
QUERN_EXTERN_C int QuernChangeEmailAddress(QuernStubArg, TQuernError* pError);
QUERN_EXTERN_C int QuernChangeOfflineStatus(QuernStubArg, TQuernError* pError);
QUERN_EXTERN_C int QuernDefragCaches(QuernStubArg, TQuernError* pError);
QUERN_EXTERN_C int QuernFlushCache(QuernStubArg, TQuernError* pError);
QUERN_EXTERN_C int QuernForceCellId(QuernStubArg, TQuernError* pError);
QUERN_EXTERN_C int QuernGetAccountStatus(QuernStubArg, TQuernError* pError);
QUERN_EXTERN_C int QuernGetCacheDefaultDirectory(QuernStubArg, TQuernError* pError);
QUERN_EXTERN_C int QuernGetSubscriptionStats(QuernStubArg, TQuernError* pError);
QUERN_EXTERN_C int QuernGetTotalUpdateStats(QuernStubArg, TQuernError* pError);
QUERN_EXTERN_C int QuernGetUserType(QuernStubArg, TQuernError* pError);
QUERN_EXTERN_C int QuernIsSecureComputer(QuernStubArg, TQuernError* pError);
QUERN_EXTERN_C int QuernIsUsingSdkContentServer(QuernStubArg, TQuernError* pError);
QUERN_EXTERN_C int QuernRefreshAccountInfoEx(QuernStubArg, TQuernError* pError);
QUERN_EXTERN_C int QuernReleaseCacheFiles(QuernStubArg, TQuernError* pError);
QUERN_EXTERN_C int QuernRequestAccountsByEmailAddressEmail(QuernStubArg, TQuernError* pError);
QUERN_EXTERN_C int QuernSetCacheDefaultDirectory(QuernStubArg, TQuernError* pError);
QUERN_EXTERN_C int QuernSetMaxStallCount(QuernStubArg, TQuernError* pError);
QUERN_EXTERN_C int QuernSetNotificationCallback(QuernStubArg, TQuernError* pError);
QUERN_EXTERN_C int QuernSetUser2(QuernStubArg, TQuernError* pError);
QUERN_EXTERN_C int64_t QuernSizeFile64(QuernStubArg, TQuernError* pError);
QUERN_EXTERN_C int QuernStartLoadingCache(QuernStubArg, TQuernError* pError);
QUERN_EXTERN_C int QuernStopLoadingCache(QuernStubArg, TQuernError* pError);
QUERN_EXTERN_C int64_t QuernTellFile64(QuernStubArg, TQuernError* pError);
QUERN_EXTERN_C int QuernUnsubscribe(QuernStubArg, TQuernError* pError);
QUERN_EXTERN_C int QuernUpdateAccountBillingInfo(QuernStubArg, TQuernError* pError);
QUERN_EXTERN_C int QuernVerifyEmailAddress(QuernStubArg, TQuernError* pError);
QUERN_EXTERN_C int QuernWaitForAppReadyToLaunch(QuernStubArg, TQuernError* pError);
QUERN_EXTERN_C int QuernWasBlobRegistryDeleted(QuernStubArg, TQuernError* pError);
QUERN_EXTERN_C int QuernChangeAccountName(QuernStubArg, QuernStubArg, TQuernError* pError);
QUERN_EXTERN_C int QuernChangePassword(QuernStubArg, QuernStubArg, TQuernError* pError);
QUERN_EXTERN_C int QuernEnumerateSubscription(QuernStubArg, QuernStubArg, TQuernError* pError);
QUERN_EXTERN_C int QuernFindApp(QuernStubArg, QuernStubArg, TQuernError* pError);
QUERN_EXTERN_C int QuernFindNext64(QuernStubArg, QuernStubArg, TQuernError* pError);
QUERN_EXTERN_C int QuernGetAppCacheSize(QuernStubArg, QuernStubArg, TQuernError* pError);
QUERN_EXTERN_C int QuernGetAppDir(QuernStubArg, QuernStubArg, TQuernError* pError);
QUERN_EXTERN_C int QuernGetCachePercentFragmentation(QuernStubArg, QuernStubArg,
                                                     TQuernError* pError);
QUERN_EXTERN_C int QuernGetDepotParent(QuernStubArg, QuernStubArg, TQuernError* pError);
QUERN_EXTERN_C int QuernGetFileAttributeFlags(QuernStubArg, QuernStubArg, TQuernError* pError);
QUERN_EXTERN_C int QuernGetNumAccountsWithEmailAddress(QuernStubArg, QuernStubArg,
                                                       TQuernError* pError);
QUERN_EXTERN_C int QuernGetSubscriptionIds(QuernStubArg, QuernStubArg, TQuernError* pError);
QUERN_EXTERN_C int QuernGetSubscriptionReceipt(QuernStubArg, QuernStubArg, TQuernError* pError);
QUERN_EXTERN_C int QuernHintResourceNeed(QuernStubArg, QuernStubArg, TQuernError* pError);
QUERN_EXTERN_C int QuernIsAccountNameInUse(QuernStubArg, QuernStubArg, TQuernError* pError);
QUERN_EXTERN_C int QuernIsCacheLoadingEnabled(QuernStubArg, QuernStubArg, TQuernError* pError);
QUERN_EXTERN_C int QuernLoadCacheFromDir(QuernStubArg, QuernStubArg, TQuernError* pError);
QUERN_EXTERN_C int QuernMoveApp(QuernStubArg, QuernStubArg, TQuernError* pError);
QUERN_EXTERN_C int QuernRefreshAccountInfo2(QuernStubArg, QuernStubArg, TQuernError* pError);
QUERN_EXTERN_C int QuernRefreshLogin(QuernStubArg, QuernStubArg, TQuernError* pError);
QUERN_EXTERN_C int QuernRemoveAppDependency(QuernStubArg, QuernStubArg, TQuernError* pError);
QUERN_EXTERN_C int QuernRequestForgottenPasswordEmail(QuernStubArg, QuernStubArg,
                                                      TQuernError* pError);
QUERN_EXTERN_C int QuernSetAppCacheSize(QuernStubArg, QuernStubArg, TQuernError* pError);
QUERN_EXTERN_C int QuernSetAppVersion(QuernStubArg, QuernStubArg, TQuernError* pError);
QUERN_EXTERN_C int QuernSetUser(QuernStubArg, QuernStubArg, TQuernError* pError);
QUERN_EXTERN_C int QuernStat64(QuernStubArg, QuernStubArg, TQuernError* pError);
QUERN_EXTERN_C int QuernSubscribe(QuernStubArg, QuernStubArg, TQuernError* pError);
QUERN_EXTERN_C int QuernUpdateSubscriptionBillingInfo(QuernStubArg, QuernStubArg,
                                                      TQuernError* pError);
QUERN_EXTERN_C int QuernVerifyPassword(QuernStubArg, QuernStubArg, TQuernError* pError);
QUERN_EXTERN_C int QuernWaitForAppResources(QuernStubArg, QuernStubArg, TQuernError* pError);
QUERN_EXTERN_C int QuernChangePersonalQA(QuernStubArg, QuernStubArg, QuernStubArg,
                                         TQuernError* pError);
QUERN_EXTERN_C int QuernEnumerateAppLaunchOption(QuernStubArg, QuernStubArg, QuernStubArg,
                                                 TQuernError* pError);
QUERN_EXTERN_C int QuernEnumerateAppVersion(QuernStubArg, QuernStubArg, QuernStubArg,
                                            TQuernError* pError);
QUERN_EXTERN_C int QuernEnumerateSubscriptionDiscount(QuernStubArg, QuernStubArg, QuernStubArg,
                                                      TQuernError* pError);
QUERN_EXTERN_C int QuernFindFirst64(QuernStubArg, QuernStubArg, QuernStubArg, TQuernError* pError);
QUERN_EXTERN_C int QuernGetAppUserDefinedRecord(QuernStubArg, QuernStubArg, QuernStubArg,
                                                TQuernError* pError);
QUERN_EXTERN_C int QuernGetContentServerInfo(QuernStubArg, QuernStubArg, QuernStubArg,
                                             TQuernError* pError);
QUERN_EXTERN_C int QuernGetCurrentEmailAddress(QuernStubArg, QuernStubArg, QuernStubArg,
                                               TQuernError* pError);
QUERN_EXTERN_C int QuernInsertAppDependency(QuernStubArg, QuernStubArg, QuernStubArg,
                                            TQuernError* pError);
QUERN_EXTERN_C int QuernLogin(QuernStubArg, QuernStubArg, QuernStubArg, TQuernError* pError);
QUERN_EXTERN_C int QuernOpenFile64(QuernStubArg, QuernStubArg, QuernStubArg, TQuernError* pError);
QUERN_EXTERN_C int QuernEnumerateSubscriptionDiscountQualifier(QuernStubArg, QuernStubArg,
                                                               QuernStubArg, QuernStubArg,
                                                               TQuernError* pError);
QUERN_EXTERN_C int QuernGetAppDependencies(QuernStubArg, QuernStubArg, QuernStubArg, QuernStubArg,
                                           TQuernError* pError);
QUERN_EXTERN_C int QuernGetAppPurchaseCountry(QuernStubArg, QuernStubArg, QuernStubArg,
                                              QuernStubArg, TQuernError* pError);
QUERN_EXTERN_C int QuernGetCacheFilePath(QuernStubArg, QuernStubArg, QuernStubArg, QuernStubArg,
                                         TQuernError* pError);
QUERN_EXTERN_C int QuernGetSponsorUrl(QuernStubArg, QuernStubArg, QuernStubArg, QuernStubArg,
                                      TQuernError* pError);
QUERN_EXTERN_C int QuernGetSubscriptionPurchaseCountry(QuernStubArg, QuernStubArg, QuernStubArg,
                                                       QuernStubArg, TQuernError* pError);
QUERN_EXTERN_C int QuernIsFileNeededByCache(QuernStubArg, QuernStubArg, QuernStubArg, QuernStubArg,
                                            TQuernError* pError);
QUERN_EXTERN_C int QuernSeekFile64(QuernStubArg, QuernStubArg, QuernStubArg, QuernStubArg,
                                   TQuernError* pError);
QUERN_EXTERN_C int QuernChangeForgottenPassword(QuernStubArg, QuernStubArg, QuernStubArg,
                                                QuernStubArg, QuernStubArg, TQuernError* pError);
QUERN_EXTERN_C int QuernEnumerateAppIcon(QuernStubArg, QuernStubArg, QuernStubArg, QuernStubArg,
                                         QuernStubArg, TQuernError* pError);
QUERN_EXTERN_C int QuernGenerateSuggestedAccountNames(QuernStubArg, QuernStubArg, QuernStubArg,
                                                      QuernStubArg, QuernStubArg,
                                                      TQuernError* pError);
QUERN_EXTERN_C int QuernGetAppUserDefinedInfo(QuernStubArg, QuernStubArg, QuernStubArg,
                                              QuernStubArg, QuernStubArg, TQuernError* pError);
QUERN_EXTERN_C int QuernGetSubscriptionExtendedInfo(QuernStubArg, QuernStubArg, QuernStubArg,
                                                    QuernStubArg, QuernStubArg,
                                                    TQuernError* pError);
QUERN_EXTERN_C int QuernIsFileNeededByApp(QuernStubArg, QuernStubArg, QuernStubArg, QuernStubArg,
                                          QuernStubArg, TQuernError* pError);
QUERN_EXTERN_C int QuernLoadFileToApp(QuernStubArg, QuernStubArg, QuernStubArg, QuernStubArg,
                                      QuernStubArg, QuernStubArg, TQuernError* pError);
QUERN_EXTERN_C int QuernLoadFileToCache(QuernStubArg, QuernStubArg, QuernStubArg, QuernStubArg,
                                        QuernStubArg, QuernStubArg, TQuernError* pError);
QUERN_EXTERN_C int QuernCreateAccount(QuernStubArg, QuernStubArg, QuernStubArg, QuernStubArg,
                                      QuernStubArg, QuernStubArg, QuernStubArg,
                                      TQuernError* pError);

#endif /* QUERN_H */
