// querncheck: why would start-up fail on this machine?
#include "plinth/platform/platform_env.h"
#include "tools/querncheck/querncheck.h"

#include <cstdio>

int main(int argc, char** argv)
{
    // Arguments as UTF-8 on every platform (Windows hands main the ANSI code page).
    PlatCommandLineArgs* pArgs = Plat_ParseCommandLineArgs();
    int nResult;
    if (pArgs && pArgs->m_nArgs > 0)
        nResult = QuernCheck_Main(pArgs->m_nArgs, pArgs->m_ppArgs, stdout, stderr);
    else
        nResult = QuernCheck_Main(argc, argv, stdout, stderr);
    Plat_FreeCommandLineArgs(pArgs);
    fflush(stdout);
    return nResult;
}
