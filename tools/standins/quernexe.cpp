// Stand-in for the platform client's executable "quern.exe": records how it
// was started in the stand-in log, one line (arguments in UTF-8):
//
//   quern.exe <own path>: <argument> <argument> ...
//
// and ends. Started as
//
//   quern.exe -hostlaunch <library> <app id> [<launch arguments>...]
//
// it also plays a client executable that hosts the library: it loads the
// library, calls QuernLaunchApp with the id and the arguments (joined by
// blanks; none gives a null text), logs "hostlaunch -> <result>" and exits
// with the result. Started as
//
//   quern.exe -minidumpinit <library>
//
// it hosts the library from its own folder and asks it for the crash-dump
// module: it calls QuernMiniDumpInit and then QuernWriteMiniDumpSetComment
// ("probe"), and logs "minidumpinit -> <result>, comment -> <result>".
#include "plinth/platform/platform_env.h"
#include "plinth/platform/platform_modules.h"
#include "quern2wrapper/include/quern.h"
#include "tools/standins/standin_log.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace
{
typedef decltype(&QuernLaunchApp) QuernLaunchAppFn;

std::string JoinArgs(int argc, char** argv, int first)
{
    std::string joined;
    for (int i = first; i < argc; ++i)
    {
        if (i > first) joined += ' ';
        joined += argv[i];
    }
    return joined;
}

typedef decltype(&QuernMiniDumpInit) QuernMiniDumpInitFn;
typedef decltype(&QuernWriteMiniDumpSetComment) QuernWriteMiniDumpSetCommentFn;

PlatModule LoadHostedLibrary(const char* pszSwitch, const char* pszPath)
{
    PlatModule hLibrary = Plat_LoadLibraryW(pszPath);
    if (!hLibrary) hLibrary = Plat_LoadLibraryA(pszPath);
    if (!hLibrary) StandInLogLine("%s: cannot load %s", pszSwitch, pszPath);
    return hLibrary;
}

int HostMiniDump(int argc, char** argv)
{
    if (argc < 3) return 100;
    PlatModule hLibrary = LoadHostedLibrary("minidumpinit", argv[2]);
    if (!hLibrary) return 101;
    QuernMiniDumpInitFn pfnInit =
        (QuernMiniDumpInitFn)Plat_GetProcAddress(hLibrary, "QuernMiniDumpInit");
    QuernWriteMiniDumpSetCommentFn pfnComment = (QuernWriteMiniDumpSetCommentFn)Plat_GetProcAddress(
        hLibrary, "QuernWriteMiniDumpSetComment");
    if (!pfnInit || !pfnComment) return 102;
    int result = pfnInit();
    StandInLogLine("minidumpinit -> %d, comment -> %d", result, pfnComment("probe"));
    return 0;
}

int HostLaunch(int argc, char** argv)
{
    if (argc < 4) return 100;
    PlatModule hLibrary = LoadHostedLibrary("hostlaunch", argv[2]);
    if (!hLibrary) return 101;
    QuernLaunchAppFn pfnLaunch = (QuernLaunchAppFn)Plat_GetProcAddress(hLibrary, "QuernLaunchApp");
    if (!pfnLaunch) return 102;
    std::string args = JoinArgs(argc, argv, 4);
    TQuernError error;
    memset(&error, 0, sizeof(error));
    int result = pfnLaunch((uint32_t)strtoul(argv[3], nullptr, 10), 0,
                           argc > 4 ? args.c_str() : nullptr, &error);
    StandInLogLine("hostlaunch -> %d", result);
    // The library stays loaded until the process ends, as in a game: what it
    // keeps for the process's life is not torn away under it.
    return result;
}
} // namespace

int main(int argc, char** argv)
{
    char szSelf[4096];
    if (!Plat_GetModuleFileNameUtf8(nullptr, szSelf, sizeof(szSelf))) szSelf[0] = '\0';
    // The arguments as the system holds them, in UTF-8 (argv on Windows is in
    // the ANSI code page), so the line reads the same on every platform.
    PlatCommandLineArgs* pArgs = Plat_ParseCommandLineArgs();
    std::string received =
        pArgs ? JoinArgs(pArgs->m_nArgs, pArgs->m_ppArgs, 1) : JoinArgs(argc, argv, 1);
    Plat_FreeCommandLineArgs(pArgs);
    StandInLogLine("quern.exe %s: %s", szSelf, received.c_str());
    if (argc > 1 && strcmp(argv[1], "-hostlaunch") == 0) return HostLaunch(argc, argv);
    if (argc > 1 && strcmp(argv[1], "-minidumpinit") == 0) return HostMiniDump(argc, argv);
    return 0;
}
