// No preemption ticks on Windows: the stress tests run on the system's own
// scheduling there.
#include "plinth/platform/platform_preempt.h"

#ifdef QUERN_FILE_FAULTS

void Plat_StartPreemptionTicks(uint32_t) {}

void Plat_StopPreemptionTicks() {}

void Plat_AcceptPreemptionTicks() {}

#endif // QUERN_FILE_FAULTS
