// The mounting part of legacy_host.
#pragma once

#include "plinth/platform/platform_modules.h"

// Within a started session whose start-up mounted the packs that
// "quern_bnds.kvt" lists, after the application queries (which tell the
// library which depots belong to the application): mounts a depot on top,
// unmounts everything, and mounts the configuration and the depot again.
// Prints each call; returns false when a call that should succeed fails.
bool RunMountSection(PlatModule hQuern);
