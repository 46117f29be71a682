// bndtool: create, list, extract, print, verify and describe bnd packs, and
// tell which pack serves a path. The commands are callable in-process (the
// executable only forwards its arguments here):
//
//   create [--archive-size N] [--preload N] [--embed] [--case-clash=error|first] [-q]
//          <source dir> <pack base>
//   list [--sizes] [--archives] [--preload] [-l] [--json] <pack> [patterns...]
//   extract [-q] <pack> <out dir> [patterns...]
//   cat <pack> <path>
//   verify [--json] [-q] <pack>
//   info [--json] <pack>
//   resolve [--dir <install dir>] [--depots <ids>] <path>...
//
// A pack is named by its base path or by its directory file. Listings and
// file data go to pOut, messages and progress to pErr.
#pragma once

#include <cstdio>

enum PackToolExit
{
    PACKTOOL_OK = 0,
    PACKTOOL_FAILED = 1, // the command ran into a problem (unreadable pack, bad CRC, ...)
    PACKTOOL_USAGE = 2,  // bad command line
};

int PackTool_Main(int argc, const char* const* argv, FILE* pOut, FILE* pErr);

// Matches a pack path against a pattern with '*' (any run, '/' included) and
// '?', ignoring ASCII case and treating '\' as '/'. A pattern ending in '/'
// matches everything below that directory.
bool PackTool_PathMatches(const char* pszPattern, const char* pszPath);
