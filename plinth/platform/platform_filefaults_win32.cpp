// The C runtime here has no streams of the caller's own: stream faults stop
// at the open.
#include "plinth/platform/platform_filefaults.h"

#ifdef QUERN_FILE_FAULTS

bool Plat_FileFaultsReachStreams()
{
    return false;
}

FILE* PlatOs_FaultStream(FILE* pStream, const char*)
{
    return pStream;
}

#endif // QUERN_FILE_FAULTS
