// querncheck: looks at an install the way quern.dll would at start-up and
// prints a checklist, with a fix for every failure.
#pragma once
#include <cstdio>

struct QuernCheckOptions
{
    // Folder the game runs in (its current directory); null: the current one.
    const char* m_pszDir = nullptr;
    // The game's executable, beside which the crash handler is looked for;
    // null: a program in m_pszDir.
    const char* m_pszGameExe = nullptr;
    // Read every entry of every pack and compare its CRC.
    bool m_bVerify = false;
};

// Runs every check against this process's view of the registry and the file
// system. Returns 0 when the library would start and mount every pack, 1
// otherwise, 2 when the folder cannot be entered. The current directory is
// restored before returning.
int QuernCheck_Run(const QuernCheckOptions& options, FILE* pOut);

// The command line: querncheck [--verify] [--dir <folder>] [--exe <game exe>].
int QuernCheck_Main(int argc, const char* const* argv, FILE* pOut, FILE* pErr);
