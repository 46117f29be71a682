// bndtool: create, list, extract, print, verify and describe bnd packs.
#include "tools/bndtool/bndtool.h"
#include "plinth/platform/platform_env.h"

#include <cstdio>

int main(int argc, char** argv)
{
    // Arguments as UTF-8 on every platform (Windows hands main the ANSI code page).
    PlatCommandLineArgs* pArgs = Plat_ParseCommandLineArgs();
    int nResult;
    if (pArgs && pArgs->m_nArgs > 0)
        nResult = PackTool_Main(pArgs->m_nArgs, pArgs->m_ppArgs, stdout, stderr);
    else
        nResult = PackTool_Main(argc, argv, stdout, stderr);
    Plat_FreeCommandLineArgs(pArgs);
    fflush(stdout);
    return nResult;
}
