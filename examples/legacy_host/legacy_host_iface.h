// The interface-object part of legacy_host.
#pragma once

#include "plinth/platform/platform_modules.h"

// Obtains "Quern006" through the library's factory _f and starts a session,
// reads the file named by QUERN_DEMO_FILE and ends the session, all through
// the object's operation table. Prints each call; returns false on failure.
bool RunInterfaceSection(PlatModule hQuern);
