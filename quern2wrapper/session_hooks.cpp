// Steps of the session that belong to other parts of the library. They are
// kept here, apart from the session, until those parts take them over.
#include "quern2wrapper/session.h"

bool QuernStartup_FileLayer()
{
    return true;
}

void QuernCleanup_CrashDumpModule() {}
