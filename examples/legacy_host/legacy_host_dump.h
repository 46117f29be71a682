// The crash-dump part of legacy_host.
#pragma once

#include "plinth/platform/platform_modules.h"

// Within a started session: loads the platform's crash-dump module through
// the library and writes a comment and a dump through it, as an old game's
// crash handler did. Prints each call; returns false when a call that should
// reach the module does not.
bool RunCrashDumpSection(PlatModule hQuern);

// After QuernCleanup: the module is gone, so the calls answer 0 without
// reaching it. Returns false otherwise.
bool RunCrashDumpAfterCleanup(PlatModule hQuern);
