// Launching applications through the platform client's executable.
#pragma once

#include "plinth/platform/platform_registry.h"

#include <cstdint>

// Size of the install-folder buffer of QuernLaunchApp.
constexpr int QUERN_LAUNCH_PATH_SIZE = 1040;
// Characters of the launch command line, terminator included.
constexpr int QUERN_LAUNCH_CMDLINE_CHARS = 1024;

// Reads a text value (REG_SZ or REG_EXPAND_SZ) of an open key as UTF-8 into
// pszOut (nOutSize bytes). Returns a Windows error code: 0 on success, 87 for
// a name that cannot be converted, 13 for another type or a value that
// converts to nothing, 14 for a value too large, 234 when the text does not
// fit; errors of the registry come back as they are.
long ReadRegistryText(PlatRegKey hKey, const char* pszValueName, char* pszOut, int nOutSize);

// The folder of the platform client (where "quernclient.dll" lies), without a
// trailing separator: the running executable's own folder when it is the
// client executable, the installed client, else the running client.
bool FindClientInstallDir(char* pszOut, int nOutSize);

// "-applaunch <id> <args>" as UTF-16, each byte of pszArgs widened to the
// character of the same value; cut to QUERN_LAUNCH_CMDLINE_CHARS - 1
// characters and terminated. A null pszArgs counts as empty.
void FormatLaunchCommandLine(char16_t (&wszOut)[QUERN_LAUNCH_CMDLINE_CHARS], uint32_t appId,
                             const char* pszArgs);
