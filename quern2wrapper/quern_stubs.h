// The legacy calls that no longer have a meaning. Each one fills the
// caller's error record with "Wrapper not implemented", writes
// "Wrapper not implemented:<name>" to the debugger output and returns 0.
//
// QUERN_STUB_LIST(X) calls X(name, shape, result) once per call:
//   shape  R<n>  n arguments, the error record is the last one
//          F3    three arguments, the error record is the first one
//   result the return type (int, or QuernStubInt64 for the 64-bit calls)
// The bodies (quern_stubs.cpp) and the tests are generated from this one list.
#pragma once

#include "quern2wrapper/include/quern.h"
#include "quern2wrapper/quern_export.h"

#include <cstdint>

// Arguments that a stub ignores: one stack slot each.
typedef uintptr_t QuernStubArg;
typedef int64_t QuernStubInt64;

#define QUERN_STUB_LIST(X)                                                                         \
    X(QuernCreateCachePreloaders, R1, int)                                                         \
    X(QuernDeleteAccount, R1, int)                                                                 \
    X(QuernForgetAllHints, R1, int)                                                                \
    X(QuernLogout, R1, int)                                                                        \
    X(QuernNumAppsRunning, R1, int)                                                                \
    X(QuernPauseCachePreloading, R1, int)                                                          \
    X(QuernRefreshAccountInfo, R1, int)                                                            \
    X(QuernRequestEmailAddressVerificationEmail, R1, int)                                          \
    X(QuernResumeCachePreloading, R1, int)                                                         \
    X(QuernShutdownEngine, R1, int)                                                                \
    X(QuernShutdownQuernBridgeInterface, R1, int)                                                  \
    X(QuernStartEngine, R1, int)                                                                   \
    X(QuernStartEngineEx, F3, int)                                                                 \
    X(QuernUninstall, R1, int)                                                                     \
    X(QuernAckSubscriptionReceipt, R2, int)                                                        \
    X(QuernChangeEmailAddress, R2, int)                                                            \
    X(QuernChangeOfflineStatus, R2, int)                                                           \
    X(QuernDefragCaches, R2, int)                                                                  \
    X(QuernFlushCache, R2, int)                                                                    \
    X(QuernForceCellId, R2, int)                                                                   \
    X(QuernGetAccountStatus, R2, int)                                                              \
    X(QuernGetCacheDefaultDirectory, R2, int)                                                      \
    X(QuernGetSubscriptionStats, R2, int)                                                          \
    X(QuernGetTotalUpdateStats, R2, int)                                                           \
    X(QuernGetUserType, R2, int)                                                                   \
    X(QuernIsSecureComputer, R2, int)                                                              \
    X(QuernIsUsingSdkContentServer, R2, int)                                                       \
    X(QuernRefreshAccountInfoEx, R2, int)                                                          \
    X(QuernReleaseCacheFiles, R2, int)                                                             \
    X(QuernRequestAccountsByEmailAddressEmail, R2, int)                                            \
    X(QuernSetCacheDefaultDirectory, R2, int)                                                      \
    X(QuernSetMaxStallCount, R2, int)                                                              \
    X(QuernSetNotificationCallback, R2, int)                                                       \
    X(QuernSetUser2, R2, int)                                                                      \
    X(QuernSizeFile64, R2, QuernStubInt64)                                                         \
    X(QuernStartLoadingCache, R2, int)                                                             \
    X(QuernStopLoadingCache, R2, int)                                                              \
    X(QuernTellFile64, R2, QuernStubInt64)                                                         \
    X(QuernUnsubscribe, R2, int)                                                                   \
    X(QuernUpdateAccountBillingInfo, R2, int)                                                      \
    X(QuernVerifyEmailAddress, R2, int)                                                            \
    X(QuernWaitForAppReadyToLaunch, R2, int)                                                       \
    X(QuernWasBlobRegistryDeleted, R2, int)                                                        \
    X(QuernChangeAccountName, R3, int)                                                             \
    X(QuernChangePassword, R3, int)                                                                \
    X(QuernEnumerateSubscription, R3, int)                                                         \
    X(QuernFindApp, R3, int)                                                                       \
    X(QuernFindNext64, R3, int)                                                                    \
    X(QuernGetAppCacheSize, R3, int)                                                               \
    X(QuernGetAppDir, R3, int)                                                                     \
    X(QuernGetCachePercentFragmentation, R3, int)                                                  \
    X(QuernGetDepotParent, R3, int)                                                                \
    X(QuernGetFileAttributeFlags, R3, int)                                                         \
    X(QuernGetNumAccountsWithEmailAddress, R3, int)                                                \
    X(QuernGetSubscriptionIds, R3, int)                                                            \
    X(QuernGetSubscriptionReceipt, R3, int)                                                        \
    X(QuernHintResourceNeed, R3, int)                                                              \
    X(QuernIsAccountNameInUse, R3, int)                                                            \
    X(QuernIsCacheLoadingEnabled, R3, int)                                                         \
    X(QuernLoadCacheFromDir, R3, int)                                                              \
    X(QuernMoveApp, R3, int)                                                                       \
    X(QuernRefreshAccountInfo2, R3, int)                                                           \
    X(QuernRefreshLogin, R3, int)                                                                  \
    X(QuernRemoveAppDependency, R3, int)                                                           \
    X(QuernRequestForgottenPasswordEmail, R3, int)                                                 \
    X(QuernSetAppCacheSize, R3, int)                                                               \
    X(QuernSetAppVersion, R3, int)                                                                 \
    X(QuernSetUser, R3, int)                                                                       \
    X(QuernStat64, R3, int)                                                                        \
    X(QuernSubscribe, R3, int)                                                                     \
    X(QuernUpdateSubscriptionBillingInfo, R3, int)                                                 \
    X(QuernVerifyPassword, R3, int)                                                                \
    X(QuernWaitForAppResources, R3, int)                                                           \
    X(QuernChangePersonalQA, R4, int)                                                              \
    X(QuernEnumerateAppLaunchOption, R4, int)                                                      \
    X(QuernEnumerateAppVersion, R4, int)                                                           \
    X(QuernEnumerateSubscriptionDiscount, R4, int)                                                 \
    X(QuernFindFirst64, R4, int)                                                                   \
    X(QuernGetAppUserDefinedRecord, R4, int)                                                       \
    X(QuernGetContentServerInfo, R4, int)                                                          \
    X(QuernGetCurrentEmailAddress, R4, int)                                                        \
    X(QuernInsertAppDependency, R4, int)                                                           \
    X(QuernLogin, R4, int)                                                                         \
    X(QuernOpenFile64, R4, int)                                                                    \
    X(QuernEnumerateSubscriptionDiscountQualifier, R5, int)                                        \
    X(QuernGetAppDependencies, R5, int)                                                            \
    X(QuernGetAppPurchaseCountry, R5, int)                                                         \
    X(QuernGetCacheFilePath, R5, int)                                                              \
    X(QuernGetSponsorUrl, R5, int)                                                                 \
    X(QuernGetSubscriptionPurchaseCountry, R5, int)                                                \
    X(QuernIsFileNeededByCache, R5, int)                                                           \
    X(QuernSeekFile64, R5, int)                                                                    \
    X(QuernChangeForgottenPassword, R6, int)                                                       \
    X(QuernEnumerateAppIcon, R6, int)                                                              \
    X(QuernGenerateSuggestedAccountNames, R6, int)                                                 \
    X(QuernGetAppUserDefinedInfo, R6, int)                                                         \
    X(QuernGetSubscriptionExtendedInfo, R6, int)                                                   \
    X(QuernIsFileNeededByApp, R6, int)                                                             \
    X(QuernLoadFileToApp, R7, int)                                                                 \
    X(QuernLoadFileToCache, R7, int)                                                               \
    X(QuernCreateAccount, R8, int)

// Parameter lists of each shape; every stub names its record pError.
#define QUERN_STUB_PARAMS_R1 TQuernError* pError
#define QUERN_STUB_PARAMS_R2 QuernStubArg, TQuernError* pError
#define QUERN_STUB_PARAMS_R3 QuernStubArg, QuernStubArg, TQuernError* pError
#define QUERN_STUB_PARAMS_R4 QuernStubArg, QuernStubArg, QuernStubArg, TQuernError* pError
#define QUERN_STUB_PARAMS_R5                                                                       \
    QuernStubArg, QuernStubArg, QuernStubArg, QuernStubArg, TQuernError* pError
#define QUERN_STUB_PARAMS_R6                                                                       \
    QuernStubArg, QuernStubArg, QuernStubArg, QuernStubArg, QuernStubArg, TQuernError* pError
#define QUERN_STUB_PARAMS_R7                                                                       \
    QuernStubArg, QuernStubArg, QuernStubArg, QuernStubArg, QuernStubArg, QuernStubArg,            \
        TQuernError* pError
#define QUERN_STUB_PARAMS_R8                                                                       \
    QuernStubArg, QuernStubArg, QuernStubArg, QuernStubArg, QuernStubArg, QuernStubArg,            \
        QuernStubArg, TQuernError* pError
// clang-format off
#define QUERN_STUB_PARAMS_F3 TQuernError* pError, QuernStubArg, QuernStubArg
// clang-format on

// Argument lists for calling a stub of each shape with record `e` and
// filler value `v` in the other positions.
#define QUERN_STUB_ARGS_R1(e, v) e
#define QUERN_STUB_ARGS_R2(e, v) v, e
#define QUERN_STUB_ARGS_R3(e, v) v, v, e
#define QUERN_STUB_ARGS_R4(e, v) v, v, v, e
#define QUERN_STUB_ARGS_R5(e, v) v, v, v, v, e
#define QUERN_STUB_ARGS_R6(e, v) v, v, v, v, v, e
#define QUERN_STUB_ARGS_R7(e, v) v, v, v, v, v, v, e
#define QUERN_STUB_ARGS_R8(e, v) v, v, v, v, v, v, v, e
#define QUERN_STUB_ARGS_F3(e, v) e, v, v

// Argument count and record position (1-based) of each shape.
#define QUERN_STUB_ARGC_R1 1
#define QUERN_STUB_ARGC_R2 2
#define QUERN_STUB_ARGC_R3 3
#define QUERN_STUB_ARGC_R4 4
#define QUERN_STUB_ARGC_R5 5
#define QUERN_STUB_ARGC_R6 6
#define QUERN_STUB_ARGC_R7 7
#define QUERN_STUB_ARGC_R8 8
#define QUERN_STUB_ARGC_F3 3
#define QUERN_STUB_RECORD_ARG_R1 1
#define QUERN_STUB_RECORD_ARG_R2 2
#define QUERN_STUB_RECORD_ARG_R3 3
#define QUERN_STUB_RECORD_ARG_R4 4
#define QUERN_STUB_RECORD_ARG_R5 5
#define QUERN_STUB_RECORD_ARG_R6 6
#define QUERN_STUB_RECORD_ARG_R7 7
#define QUERN_STUB_RECORD_ARG_R8 8
#define QUERN_STUB_RECORD_ARG_F3 1

#define QUERN_STUB_DECLARE(name, shape, result) QUERN_EXPORT result name(QUERN_STUB_PARAMS_##shape);
QUERN_STUB_LIST(QUERN_STUB_DECLARE)
#undef QUERN_STUB_DECLARE

// The two crash-dump calls answered without a record.
QUERN_EXPORT void QuernWriteMiniDumpFromAssert();
QUERN_EXPORT void QuernWriteMiniDumpWithAppID();

// Fills the record the way every stub does and writes `pLine` to the debugger
// output. A null record is skipped.
void QuernStubAnswer(TQuernError* pError, const char* pLine);
