// Application and account queries: record layouts shared with callers.
#pragma once

#include "quern2wrapper/include/quern.h"

#include <cstddef>

// Capacity of the depot lists asked from the client by the queries.
constexpr uint32_t QUERN_QUERY_DEPOT_CAPACITY = 32;
// Size reported for every application or depot by the update-stats query.
constexpr uint64_t QUERN_UPDATE_TOTAL_SIZE = 0x100000;
