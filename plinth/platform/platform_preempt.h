// Test hook for stress tests: a fast process-wide tick that makes the thread
// it lands on give up its processor at whatever instruction it is running, as
// a busy machine's scheduler does now and then. Races whose window is a few
// instructions wide then show within seconds instead of once in hours.
//
// Exists only in the test beds (QUERN_FILE_FAULTS, like the file-fault hook);
// where the system offers no such tick the calls do nothing.
#pragma once

#include <cstdint>

#ifdef QUERN_FILE_FAULTS

// Starts the tick every unMicroseconds and keeps it off the calling thread.
void Plat_StartPreemptionTicks(uint32_t unMicroseconds);
// Stops the tick and drops one still pending.
void Plat_StopPreemptionTicks();
// Called on a worker thread started after Plat_StartPreemptionTicks: the tick
// may land on it.
void Plat_AcceptPreemptionTicks();

#endif // QUERN_FILE_FAULTS
