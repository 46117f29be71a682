// The operation tables of the interface objects, in slot order, as lists that
// declare (in the interfaces) and define (in the classes) the same slots.
//
// Each list calls, once per slot:
//   OP(result, name, (parameters), (arguments of the export call))
//       the slot forwards to the export `name` with those arguments
//   STUB(n, name)
//       the slot forwards to a not-implemented export of n arguments whose
//       last argument is the error record
//   GAP(slot)
//       a slot without an operation; it keeps the later slots in place
// Slots that differ between versions are lists of their own.
#pragma once

#include "quern2wrapper/include/quern.h"
#include "quern2wrapper/include/quern.h"
#include "quern2wrapper/quern_stubs.h"

// Parameters and arguments of a STUB slot of n arguments.
#define QI_STUB_PARAMS_1 TQuernError* pError
#define QI_STUB_PARAMS_2 QuernStubArg a1, TQuernError *pError
#define QI_STUB_PARAMS_3 QuernStubArg a1, QuernStubArg a2, TQuernError *pError
#define QI_STUB_PARAMS_4 QuernStubArg a1, QuernStubArg a2, QuernStubArg a3, TQuernError *pError
#define QI_STUB_PARAMS_5                                                                           \
    QuernStubArg a1, QuernStubArg a2, QuernStubArg a3, QuernStubArg a4, TQuernError *pError
#define QI_STUB_PARAMS_6                                                                           \
    QuernStubArg a1, QuernStubArg a2, QuernStubArg a3, QuernStubArg a4, QuernStubArg a5,           \
        TQuernError *pError
#define QI_STUB_PARAMS_8                                                                           \
    QuernStubArg a1, QuernStubArg a2, QuernStubArg a3, QuernStubArg a4, QuernStubArg a5,           \
        QuernStubArg a6, QuernStubArg a7, TQuernError *pError
#define QI_STUB_ARGS_1 pError
#define QI_STUB_ARGS_2 a1, pError
#define QI_STUB_ARGS_3 a1, a2, pError
#define QI_STUB_ARGS_4 a1, a2, a3, pError
#define QI_STUB_ARGS_5 a1, a2, a3, a4, pError
#define QI_STUB_ARGS_6 a1, a2, a3, a4, a5, pError
#define QI_STUB_ARGS_8 a1, a2, a3, a4, a5, a6, a7, pError

// Slots 1 to 15.
#define QI_SLOTS_001_015(OP, STUB, GAP)                                                            \
    STUB(3, QuernChangePassword)                                                                   \
    STUB(4, QuernGetCurrentEmailAddress)                                                           \
    STUB(4, QuernChangePersonalQA)                                                                 \
    STUB(2, QuernChangeEmailAddress)                                                               \
    STUB(2, QuernVerifyEmailAddress)                                                               \
    STUB(1, QuernRequestEmailAddressVerificationEmail)                                             \
    STUB(3, QuernChangeAccountName)                                                                \
    OP(int, QuernMountAppFilesystem, (TQuernError * pError), (pError))                             \
    OP(int, QuernUnmountAppFilesystem, (TQuernError * pError), (pError))                           \
    OP(int, QuernMountFilesystem, (uint32_t depotId, const char* pszPath, TQuernError* pError),    \
       (depotId, pszPath, pError))                                                                 \
    OP(int, QuernUnmountFilesystem, (uint32_t value, TQuernError * pError), (value, pError))       \
    OP(int, QuernStat, (const char* pszPath, QuernElemInfo* pInfo, TQuernError* pError),           \
       (pszPath, pInfo, pError))                                                                   \
    OP(int, QuernSetvBuf,                                                                          \
       (QuernFileHandle hFile, void* pBuffer, uint32_t mode, uint32_t size, TQuernError* pError),  \
       (hFile, pBuffer, mode, size, pError))                                                       \
    OP(int, QuernFlushFile, (QuernFileHandle hFile, TQuernError * pError), (hFile, pError))        \
    OP(QuernFileHandle, QuernOpenFile,                                                             \
       (const char* pszPath, const char* pszMode, TQuernError* pError),                            \
       (pszPath, pszMode, pError))

// Slot 16: version 006 takes two more arguments, which are dropped.
#define QI_SLOT_016_V006(OP, STUB, GAP)                                                            \
    OP(QuernFileHandle, QuernOpenFileEx,                                                           \
       (const char* pszPath, const char* pszMode, QuernStubArg, uint32_t* pSize, QuernStubArg,     \
        TQuernError* pError),                                                                      \
       (pszPath, pszMode, pSize, pError))
#define QI_SLOT_016_V003(OP, STUB, GAP)                                                            \
    OP(QuernFileHandle, QuernOpenFileEx,                                                           \
       (const char* pszPath, const char* pszMode, uint32_t* pSize, TQuernError* pError),           \
       (pszPath, pszMode, pSize, pError))

// Slots 17 to 43.
#define QI_SLOTS_017_043(OP, STUB, GAP)                                                            \
    OP(QuernFileHandle, QuernOpenTmpFile, (TQuernError * pError), (pError))                        \
    OP(void, QuernClearError, (TQuernError * pError), (pError))                                    \
    OP(int, QuernGetVersion, (char* pBuffer, uint32_t size), (pBuffer, size))                      \
    OP(int, QuernGetOfflineStatus, (QuernOfflineStatus * pStatus, TQuernError * pError),           \
       (pStatus, pError))                                                                          \
    STUB(2, QuernChangeOfflineStatus)                                                              \
    OP(int, QuernProcessCall,                                                                      \
       (QuernCallHandle handle, QuernProgress * pProgress, TQuernError * pError),                  \
       (handle, pProgress, pError))                                                                \
    OP(int, QuernAbortCall, (QuernCallHandle handle, TQuernError * pError), (handle, pError))      \
    OP(int, QuernBlockingCall, (QuernCallHandle handle, uint32_t timeout, TQuernError * pError),   \
       (handle, timeout, pError))                                                                  \
    STUB(2, QuernSetMaxStallCount)                                                                 \
    OP(int, QuernCloseFile, (QuernFileHandle hFile, TQuernError * pError), (hFile, pError))        \
    OP(uint32_t, QuernReadFile,                                                                    \
       (void* pBuffer, uint32_t elementSize, uint32_t count, QuernFileHandle hFile,                \
        TQuernError* pError),                                                                      \
       (pBuffer, elementSize, count, hFile, pError))                                               \
    OP(uint32_t, QuernWriteFile,                                                                   \
       (const void* pData, uint32_t elementSize, uint32_t count, QuernFileHandle hFile,            \
        TQuernError* pError),                                                                      \
       (pData, elementSize, count, hFile, pError))                                                 \
    OP(int, QuernGetc, (QuernFileHandle hFile, TQuernError * pError), (hFile, pError))             \
    OP(int, QuernPutc, (int ch, QuernFileHandle hFile, TQuernError* pError), (ch, hFile, pError))  \
    OP(int, QuernSeekFile,                                                                         \
       (QuernFileHandle hFile, int32_t offset, uint32_t origin, TQuernError * pError),             \
       (hFile, offset, origin, pError))                                                            \
    OP(int32_t, QuernTellFile, (QuernFileHandle hFile, TQuernError * pError), (hFile, pError))     \
    OP(int32_t, QuernSizeFile, (QuernFileHandle hFile, TQuernError * pError), (hFile, pError))     \
    OP(QuernFindHandle, QuernFindFirst,                                                            \
       (const char* pszPattern, uint32_t filter, QuernElemInfo* pInfo, TQuernError* pError),       \
       (pszPattern, filter, pInfo, pError))                                                        \
    OP(int, QuernFindNext, (QuernFindHandle hFind, QuernElemInfo * pInfo, TQuernError * pError),   \
       (hFind, pInfo, pError))                                                                     \
    OP(int, QuernFindClose, (QuernFindHandle hFind, TQuernError * pError), (hFind, pError))        \
    OP(int, QuernGetLocalFileCopy, (const char* pszPath, TQuernError* pError), (pszPath, pError))  \
    OP(int, QuernIsFileImmediatelyAvailable, (const char* pszPath, TQuernError* pError),           \
       (pszPath, pError))                                                                          \
    STUB(3, QuernHintResourceNeed)                                                                 \
    STUB(1, QuernForgetAllHints)                                                                   \
    STUB(1, QuernPauseCachePreloading)                                                             \
    STUB(1, QuernResumeCachePreloading)                                                            \
    OP(int, QuernWaitForResources, (uint32_t value, TQuernError * pError), (value, pError))

// Slot 44: starting the engine with the record only. Version 006 reaches
// the three-argument call instead (written out in its class).
#define QI_SLOT_044_V003(OP, STUB, GAP) STUB(1, QuernStartEngine)

// Slots 45 to 64.
#define QI_SLOTS_045_064(OP, STUB, GAP)                                                            \
    STUB(1, QuernShutdownEngine)                                                                   \
    OP(int, QuernStartup, (uint32_t flags, TQuernError * pError), (flags, pError))                 \
    OP(int, QuernCleanup, (TQuernError * pError), (pError))                                        \
    STUB(1, QuernNumAppsRunning)                                                                   \
    STUB(8, QuernCreateAccount)                                                                    \
    STUB(6, QuernGenerateSuggestedAccountNames)                                                    \
    OP(int, QuernIsLoggedIn, (int32_t * pIsLoggedIn, TQuernError * pError), (pIsLoggedIn, pError)) \
    STUB(1, QuernLogout)                                                                           \
    STUB(2, QuernIsSecureComputer)                                                                 \
    OP(int, QuernCreateLogContext, (const void* pValue), (pValue))                                 \
    OP(int, QuernLog, (int context, const char* pText), (context, pText))                          \
    OP(void, QuernLogResourceLoadStarted, (const void* pValue), (pValue))                          \
    OP(void, QuernLogResourceLoadFinished, (const void* pValue), (pValue))                         \
    STUB(3, QuernRefreshLogin)                                                                     \
    STUB(3, QuernVerifyPassword)                                                                   \
    STUB(2, QuernGetUserType)                                                                      \
    OP(int, QuernGetAppStats, (QuernAppStats * pStats, TQuernError * pError), (pStats, pError))    \
    STUB(3, QuernIsAccountNameInUse)                                                               \
    OP(int, QuernGetAppIds, (uint32_t * pIds, uint32_t capacity, TQuernError * pError),            \
       (pIds, capacity, pError))                                                                   \
    STUB(2, QuernGetSubscriptionStats)

// Slot 65: the older versions have no first argument; 0 stands for it.
#define QI_SLOT_065_V005(OP, STUB, GAP) STUB(2, QuernRefreshAccountInfoEx)
#define QI_SLOT_065_V003(OP, STUB, GAP)                                                            \
    OP(int, QuernRefreshAccountInfoEx, (TQuernError * pError), (0, pError))

// Slots 66 to 90.
#define QI_SLOTS_066_090(OP, STUB, GAP)                                                            \
    STUB(3, QuernSubscribe)                                                                        \
    STUB(2, QuernUnsubscribe)                                                                      \
    STUB(3, QuernGetSubscriptionReceipt)                                                           \
    STUB(2, QuernGetAccountStatus)                                                                 \
    STUB(3, QuernSetUser)                                                                          \
    OP(int, QuernGetUser,                                                                          \
       (char* pszName, uint32_t nameSize, uint32_t* pNameLength, QuernGlobalUserId* pUserId,       \
        TQuernError* pError),                                                                      \
       (pszName, nameSize, pNameLength, pUserId, pError))                                          \
    STUB(4, QuernLogin)                                                                            \
    STUB(2, QuernAckSubscriptionReceipt)                                                           \
    GAP(74)                                                                                        \
    STUB(3, QuernGetSubscriptionIds)                                                               \
    STUB(3, QuernEnumerateSubscription)                                                            \
    STUB(4, QuernEnumerateSubscriptionDiscount)                                                    \
    STUB(5, QuernEnumerateSubscriptionDiscountQualifier)                                           \
    OP(int, QuernEnumerateApp, (uint32_t appId, QuernApp * pApp, TQuernError * pError),            \
       (appId, pApp, pError))                                                                      \
    STUB(4, QuernEnumerateAppLaunchOption)                                                         \
    STUB(1, QuernDeleteAccount)                                                                    \
    STUB(6, QuernEnumerateAppIcon)                                                                 \
    OP(int, QuernLaunchApp,                                                                        \
       (uint32_t appId, uint32_t ignored, const char* pszArgs, TQuernError* pError),               \
       (appId, ignored, pszArgs, pError))                                                          \
    STUB(5, QuernGetCacheFilePath)                                                                 \
    STUB(4, QuernEnumerateAppVersion)                                                              \
    OP(int, QuernEnumerateAppDependency,                                                           \
       (uint32_t appId, uint32_t index, QuernAppDependency * pDependency, TQuernError * pError),   \
       (appId, index, pDependency, pError))                                                        \
    STUB(2, QuernStartLoadingCache)                                                                \
    STUB(4, QuernInsertAppDependency)                                                              \
    STUB(3, QuernRemoveAppDependency)                                                              \
    STUB(3, QuernFindApp)

// Slot 91: the older versions have no 4th argument; 0 stands for it.
#define QI_SLOT_091_V006(OP, STUB, GAP) STUB(5, QuernGetAppDependencies)
#define QI_SLOT_091_V003(OP, STUB, GAP)                                                            \
    OP(int, QuernGetAppDependencies, (QI_STUB_PARAMS_4), (a1, a2, a3, 0, pError))

// Slots 92 to 121.
#define QI_SLOTS_092_121(OP, STUB, GAP)                                                            \
    GAP(92)                                                                                        \
    STUB(6, QuernGetAppUserDefinedInfo)                                                            \
    STUB(2, QuernWaitForAppReadyToLaunch)                                                          \
    STUB(3, QuernIsCacheLoadingEnabled)                                                            \
    STUB(2, QuernStopLoadingCache)                                                                 \
    OP(int, QuernGetEncryptedUserIDTicket,                                                         \
       (const void* pKey, uint32_t keyLength, void* pTicket, uint32_t ticketCapacity,              \
        uint32_t* pTicketLength, TQuernError* pError),                                             \
       (pKey, keyLength, pTicket, ticketCapacity, pTicketLength, pError))                          \
    STUB(2, QuernFlushCache)                                                                       \
    GAP(99)                                                                                        \
    STUB(3, QuernLoadCacheFromDir)                                                                 \
    STUB(2, QuernGetCacheDefaultDirectory)                                                         \
    STUB(2, QuernSetCacheDefaultDirectory)                                                         \
    STUB(3, QuernGetAppDir)                                                                        \
    STUB(3, QuernMoveApp)                                                                          \
    STUB(3, QuernGetAppCacheSize)                                                                  \
    STUB(3, QuernSetAppCacheSize)                                                                  \
    STUB(3, QuernSetAppVersion)                                                                    \
    STUB(1, QuernUninstall)                                                                        \
    STUB(2, QuernSetNotificationCallback)                                                          \
    STUB(6, QuernChangeForgottenPassword)                                                          \
    STUB(3, QuernRequestForgottenPasswordEmail)                                                    \
    STUB(2, QuernRequestAccountsByEmailAddressEmail)                                               \
    GAP(113)                                                                                       \
    STUB(3, QuernGetNumAccountsWithEmailAddress)                                                   \
    STUB(2, QuernUpdateAccountBillingInfo)                                                         \
    STUB(3, QuernUpdateSubscriptionBillingInfo)                                                    \
    STUB(5, QuernGetSponsorUrl)                                                                    \
    STUB(4, QuernGetContentServerInfo)                                                             \
    OP(int, QuernGetAppUpdateStats,                                                                \
       (uint32_t id, uint32_t queryType, QuernUpdateStats * pStats, TQuernError * pError),         \
       (id, queryType, pStats, pError))                                                            \
    STUB(2, QuernGetTotalUpdateStats)                                                              \
    STUB(1, QuernCreateCachePreloaders)

// Slots 126 and 127 (after the crash-dump operations of 122 to 125).
#define QI_SLOTS_126_127(OP, STUB, GAP)                                                            \
    OP(int, QuernGetCurrentAppId, (uint32_t * pAppId, TQuernError * pError), (pAppId, pError))     \
    STUB(5, QuernGetAppPurchaseCountry)

// Slots 128 to 134; the cache queries of 129 and 130 lost an argument, for
// which 0 is passed.
#define QI_SLOTS_128_134(OP, STUB, GAP)                                                            \
    OP(int, QuernGetLocalClientVersion,                                                            \
       (uint32_t * pValue1, uint32_t * pValue2, TQuernError * pError), (pValue1, pValue2, pError)) \
    OP(int, QuernIsFileNeededByCache, (QI_STUB_PARAMS_4), (a1, a2, a3, 0, pError))                 \
    OP(int, QuernLoadFileToCache, (QI_STUB_PARAMS_6), (a1, a2, a3, a4, a5, 0, pError))             \
    GAP(131)                                                                                       \
    STUB(6, QuernGetSubscriptionExtendedInfo)                                                      \
    STUB(5, QuernGetSubscriptionPurchaseCountry)                                                   \
    STUB(4, QuernGetAppUserDefinedRecord)

// Slots 138 to 148 (after the server-list operations of 135 to 137).
#define QI_SLOTS_138_148(OP, STUB, GAP)                                                            \
    GAP(138)                                                                                       \
    STUB(3, QuernGetCachePercentFragmentation)                                                     \
    STUB(2, QuernDefragCaches)                                                                     \
    OP(int, QuernIsFileNeededByApp, (QI_STUB_PARAMS_5), (a1, a2, a3, 0, a4, pError))               \
    STUB(3, QuernWaitForAppResources)                                                              \
    STUB(2, QuernForceCellId)                                                                      \
    GAP(144)                                                                                       \
    OP(int, QuernStartEngineEx, (TQuernError * pError, QuernStubArg a2, QuernStubArg a3),          \
       (pError, a2, a3))                                                                           \
    STUB(2, QuernIsUsingSdkContentServer)                                                          \
    STUB(3, QuernGetDepotParent)                                                                   \
    OP(int, QuernGetCurrentCellID, (uint32_t * pValue1, uint32_t * pValue2, TQuernError * pError), \
       (pValue1, pValue2, pError))

// Declarations of the slots in an interface: every operation abstract.
#define QI_DECLARE_OP(result, name, params, args) virtual result name params = 0;
#define QI_DECLARE_STUB(n, name) virtual int name(QI_STUB_PARAMS_##n) = 0;
#define QI_DECLARE_GAP(slot) virtual int Unused##slot() = 0;

// Slots 1 to 121 of the older versions, which differ among themselves only in
// slot 65 (SLOT65 is QI_SLOT_065_V003 or QI_SLOT_065_V005).
#define QI_SLOTS_001_121_OLD(SLOT65, OP, STUB, GAP)                                                \
    QI_SLOTS_001_015(OP, STUB, GAP)                                                                \
    QI_SLOT_016_V003(OP, STUB, GAP)                                                                \
    QI_SLOTS_017_043(OP, STUB, GAP)                                                                \
    QI_SLOT_044_V003(OP, STUB, GAP)                                                                \
    QI_SLOTS_045_064(OP, STUB, GAP)                                                                \
    SLOT65(OP, STUB, GAP)                                                                          \
    QI_SLOTS_066_090(OP, STUB, GAP)                                                                \
    QI_SLOT_091_V003(OP, STUB, GAP)                                                                \
    QI_SLOTS_092_121(OP, STUB, GAP)

// Slot 0 stands for the destructor. It is an ordinary function: a C++
// virtual destructor would take two slots under this compiler's ABI and one
// under the one callers were built with. The argument is the deleting
// destructor's flags word.
#define QI_DECLARE_SLOT0 virtual void* DestructorSlot(unsigned int flags) = 0;

// The crash-dump operations (122 to 125), the server-list operations (135 to
// 137) and slot 149, each with a body of its own in every class.
#define QI_DECLARE_OWN_122_125                                                                     \
    virtual void Win32SetMiniDumpComment(const char* pszComment) = 0;                              \
    virtual void Win32SetMiniDumpSourceControlId(uint32_t id) = 0;                                 \
    virtual void Win32SetMiniDumpEnableFullMemory() = 0;                                           \
    virtual void Win32WriteMiniDump(QuernStubArg a1, QuernStubArg a2, QuernStubArg a3,             \
                                    QuernStubArg a4, QuernStubArg a5) = 0;
#define QI_DECLARE_OWN_135_137                                                                     \
    virtual int FindServersNumServers(uint32_t serverType) = 0;                                    \
    virtual int FindServersIterateServer(uint32_t serverType, uint32_t index, char* pszOut,        \
                                         int outSize) = 0;                                         \
    virtual const char* FindServersGetErrorString() = 0;
#define QI_DECLARE_OWN_149 virtual int Unnamed149() = 0;
