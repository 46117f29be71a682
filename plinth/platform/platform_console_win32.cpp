#include "plinth/platform/platform_console.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

bool Plat_IsTerminal(FILE* pStream)
{
    if (!pStream) return false;
    HANDLE hHandle = (HANDLE)_get_osfhandle(_fileno(pStream));
    return hHandle != INVALID_HANDLE_VALUE && GetFileType(hHandle) == FILE_TYPE_CHAR;
}

void Plat_SetBinaryMode(FILE* pStream)
{
    if (pStream)
    {
        fflush(pStream);
        _setmode(_fileno(pStream), _O_BINARY);
    }
}
