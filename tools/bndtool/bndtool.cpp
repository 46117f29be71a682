// The command line of bndtool: the command's name picks the command.
#include "tools/bndtool/bndtool_internal.h"

#include <cstring>

using namespace bndtool;

namespace
{
const char kUsage[] =
    "usage: bndtool <command> [options] ...\n"
    "\n"
    "commands:\n"
    "  create   build a pack from a folder\n"
    "  list     list the files of a pack\n"
    "  extract  copy files out of a pack\n"
    "  cat      write one file of a pack to standard output\n"
    "  verify   re-compute every CRC and check every chunk\n"
    "  info     show the header, counts and archives of a pack\n"
    "  resolve  tell which pack or disk file a game gets for a path\n"
    "\n"
    "A pack is named by its base path (\"pak01\") or its directory file (\"pak01_dir.bnd\").\n"
    "Run \"bndtool <command> --help\" for the options of a command.\n";
} // namespace

int PackTool_Main(int argc, const char* const* argv, FILE* pOut, FILE* pErr)
{
    if (argc < 2 || IsHelp(argv[1]))
    {
        fputs(kUsage, argc < 2 ? pErr : pOut);
        return argc < 2 ? PACKTOOL_USAGE : PACKTOOL_OK;
    }
    const char* pszCommand = argv[1];
    int nRest = argc - 2;
    const char* const* ppRest = argv + 2;
    if (!strcmp(pszCommand, "create")) return CmdCreate(nRest, ppRest, pOut, pErr);
    if (!strcmp(pszCommand, "list")) return CmdList(nRest, ppRest, pOut, pErr);
    if (!strcmp(pszCommand, "extract")) return CmdExtract(nRest, ppRest, pOut, pErr);
    if (!strcmp(pszCommand, "cat")) return CmdCat(nRest, ppRest, pOut, pErr);
    if (!strcmp(pszCommand, "verify")) return CmdVerify(nRest, ppRest, pOut, pErr);
    if (!strcmp(pszCommand, "info")) return CmdInfo(nRest, ppRest, pOut, pErr);
    if (!strcmp(pszCommand, "resolve")) return CmdResolve(nRest, ppRest, pOut, pErr);
    return Usage(pErr, kUsage, "unknown command \"%s\"", pszCommand);
}
