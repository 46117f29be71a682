// Steps of the session that belong to other parts of the library. They are
// kept here, apart from the session, until those parts take them over.
#include "quern2wrapper/session.h"

// QuernStartup_FileLayer: with the file layer
// (quern2wrapper_stdio/filelayer_mount.cpp).

// QuernCleanup_CrashDumpModule: with the crash-dump entry points
// (minidump_entry.cpp).
