// Stand-in for the platform client's executable "quern.exe": records how it
// was started in the stand-in log, one line:
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
// with the result.
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

int HostLaunch(int argc, char** argv)
{
    if (argc < 4) return 100;
    PlatModule hLibrary = Plat_LoadLibraryW(argv[2]);
    if (!hLibrary) hLibrary = Plat_LoadLibraryA(argv[2]);
    if (!hLibrary)
    {
        StandInLogLine("hostlaunch: cannot load %s", argv[2]);
        return 101;
    }
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
    StandInLogLine("quern.exe %s: %s", szSelf, JoinArgs(argc, argv, 1).c_str());
    if (argc > 1 && strcmp(argv[1], "-hostlaunch") == 0) return HostLaunch(argc, argv);
    return 0;
}
