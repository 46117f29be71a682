// Application and account queries: record layouts shared with callers.
#pragma once

#include "quern2wrapper/include/quern.h"

#include <cstddef>

// Capacity of the depot lists asked from the client by the queries.
constexpr uint32_t QUERN_QUERY_DEPOT_CAPACITY = 32;
// Size reported for every application or depot by the update-stats query.
constexpr uint64_t QUERN_UPDATE_TOTAL_SIZE = 0x100000;

// Pointer-free records keep their layout on every build.
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

#if defined(_WIN32) && !defined(_WIN64)
// QuernApp holds the caller's buffer pointers; its offsets are those of the
// 32-bit library that callers were built against.
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
#endif
