// The byte layout of every record shared with callers, checked at compile
// time in one place. Pointer-free records keep their layout on every build;
// records that hold pointers or were fixed by the 32-bit library callers were
// built against are checked in the 32-bit Windows build.
#include "quern2wrapper/include/quern.h"
#include "quern2wrapper/tickets.h"

#include <cstddef>

static_assert(offsetof(QuernAppDependency, depotId) == 0, "QuernAppDependency layout");
static_assert(offsetof(QuernAppDependency, present) == 4, "QuernAppDependency layout");
static_assert(offsetof(QuernAppDependency, installDir) == 8, "QuernAppDependency layout");
static_assert(sizeof(QuernAppStats) == 40, "QuernAppStats layout");
static_assert(offsetof(QuernUpdateStats, totalSize) == 0, "QuernUpdateStats layout");
static_assert(offsetof(QuernUpdateStats, presentSize) == 8, "QuernUpdateStats layout");
static_assert(offsetof(QuernGlobalUserId, instance) == 0, "QuernGlobalUserId layout");
static_assert(offsetof(QuernGlobalUserId, number) == 8, "QuernGlobalUserId layout");
static_assert(offsetof(QuernGlobalUserId, parity) == 12, "QuernGlobalUserId layout");
static_assert(sizeof(QuernGlobalUserId) == 16, "QuernGlobalUserId layout");
static_assert(sizeof(QuernElemInfo) == 280, "QuernElemInfo layout");
static_assert(offsetof(QuernElemInfo, size) == 4, "QuernElemInfo layout");
static_assert(offsetof(QuernElemInfo, isLocal) == 8, "QuernElemInfo layout");
static_assert(offsetof(QuernElemInfo, name) == 12, "QuernElemInfo layout");
static_assert(offsetof(QuernElemInfo, lastAccessTime) == 268, "QuernElemInfo layout");
static_assert(offsetof(QuernElemInfo, lastModificationTime) == 272, "QuernElemInfo layout");
static_assert(offsetof(QuernElemInfo, creationTime) == 276, "QuernElemInfo layout");
static_assert(sizeof(UserIdTicket) == QUERN_TICKET_SIZE, "UserIdTicket layout");
static_assert(offsetof(UserIdTicket, m_UserId) == 8, "UserIdTicket layout");
static_assert(offsetof(UserIdTicket, m_nValue) == 24, "UserIdTicket layout");
static_assert(offsetof(UserIdTicket, m_nValidationHandle) == 28, "UserIdTicket layout");

#if defined(_WIN32) && !defined(_WIN64)
// The records below hold the caller's pointers or were fixed by the 32-bit
// library callers were built against; their offsets are that library's.
static_assert(offsetof(QuernApp, pszTitle) == 0, "QuernApp layout");
static_assert(offsetof(QuernApp, titleCapacity) == 4, "QuernApp layout");
static_assert(offsetof(QuernApp, pszText2) == 8, "QuernApp layout");
static_assert(offsetof(QuernApp, text2Capacity) == 12, "QuernApp layout");
static_assert(offsetof(QuernApp, pszText3) == 16, "QuernApp layout");
static_assert(offsetof(QuernApp, text3Capacity) == 20, "QuernApp layout");
static_assert(offsetof(QuernApp, pszInstallDir) == 24, "QuernApp layout");
static_assert(offsetof(QuernApp, installDirCapacity) == 28, "QuernApp layout");
static_assert(offsetof(QuernApp, appId) == 32, "QuernApp layout");
static_assert(offsetof(QuernApp, fixedCounts) == 36, "QuernApp layout");
static_assert(offsetof(QuernApp, zeroCount) == 56, "QuernApp layout");
static_assert(offsetof(QuernApp, oneCount) == 60, "QuernApp layout");
static_assert(offsetof(QuernApp, dependencyCount) == 64, "QuernApp layout");
static_assert(sizeof(QuernApp) == 68, "QuernApp layout");
static_assert(offsetof(TQuernError, failureType) == 0, "TQuernError layout");
static_assert(offsetof(TQuernError, detailedErrorType) == 4, "TQuernError layout");
static_assert(offsetof(TQuernError, detailedErrorCode) == 8, "TQuernError layout");
static_assert(offsetof(TQuernError, description) == 12, "TQuernError layout");
static_assert(sizeof(TQuernError) == 268, "TQuernError layout");
static_assert(offsetof(QuernProgress, valid) == 0, "QuernProgress layout");
static_assert(offsetof(QuernProgress, percentDone) == 4, "QuernProgress layout");
static_assert(offsetof(QuernProgress, description) == 8, "QuernProgress layout");
static_assert(sizeof(QuernOfflineStatus) == 8, "QuernOfflineStatus layout");
#endif
