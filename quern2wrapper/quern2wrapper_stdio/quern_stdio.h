// The legacy file calls: mounting, stdio-like file handles, stat, directory
// search and local copies. Pack files and disk files share one handle space.
// The declarations live in the public header; this one pins the record.
#pragma once

#include "quern2wrapper/include/quern.h"

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
static_assert(sizeof(QuernElemInfo) == 280, "QuernElemInfo layout");
static_assert(offsetof(QuernElemInfo, size) == 4, "QuernElemInfo layout");
static_assert(offsetof(QuernElemInfo, isLocal) == 8, "QuernElemInfo layout");
static_assert(offsetof(QuernElemInfo, name) == 12, "QuernElemInfo layout");
static_assert(offsetof(QuernElemInfo, lastAccessTime) == 268, "QuernElemInfo layout");
static_assert(offsetof(QuernElemInfo, lastModificationTime) == 272, "QuernElemInfo layout");
static_assert(offsetof(QuernElemInfo, creationTime) == 276, "QuernElemInfo layout");
#endif
