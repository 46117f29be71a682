#include "plinth/platform/platform_console.h"

#include <unistd.h>

bool Plat_IsTerminal(FILE* pStream)
{
    return pStream && isatty(fileno(pStream)) == 1;
}

void Plat_SetBinaryMode(FILE*) {}
