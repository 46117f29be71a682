// The file part of legacy_host.
#pragma once

#include "plinth/platform/platform_modules.h"

// Within a started session whose install has packs mounted: opens, reads,
// seeks, text mode, stat, a directory search over pack and disk files and a
// local copy. Prints each call; returns false when a call that should succeed
// fails.
bool RunFileSection(PlatModule hQuern);
