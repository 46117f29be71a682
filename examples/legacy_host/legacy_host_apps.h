// The application-query part of legacy_host.
#pragma once

#include "plinth/platform/platform_modules.h"

// Within a started session: application, depot and user queries, an identity
// ticket round trip, the server list and a launch through the client's
// executable. Prints each call; returns false when a call that should succeed
// fails.
bool RunApplicationSection(PlatModule hQuern);
