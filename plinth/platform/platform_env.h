// Environment variables, command line and current directory.
#pragma once

#include <cstdint>

// GetEnvironmentVariableA: copies the value with terminator and returns its
// length without terminator; when `nSize` is too small returns the size
// needed including the terminator (buffer untouched); 0 when unset.
uint32_t Plat_GetEnvironmentVariable(const char* pszName, char* pszBuffer, uint32_t nSize);
// Sets a variable; a null value removes it. False on failure.
bool Plat_SetEnvironmentVariable(const char* pszName, const char* pszValue);

// GetCommandLineA: the raw command line of the process, valid for its life.
// POSIX: the arguments of /proc/self/cmdline joined with blanks.
const char* Plat_GetCommandLine();

// The process's arguments as UTF-8 (CommandLineToArgvW on GetCommandLineW,
// converted; POSIX: /proc/self/cmdline), in one zero-filled block holding the
// count, the pointer array (null-terminated) and the texts. Free with
// Plat_FreeCommandLineArgs. Null when the command line cannot be had.
struct PlatCommandLineArgs
{
    int m_nArgs;
    char** m_ppArgs;
};
PlatCommandLineArgs* Plat_ParseCommandLineArgs();
void Plat_FreeCommandLineArgs(PlatCommandLineArgs* pArgs);

// The current directory as UTF-8 (read as UTF-16 on Windows, up to 32,767
// characters). Returns the length without terminator; when `nSize` is too
// small, the size needed including the terminator (buffer untouched); 0 on
// failure.
uint32_t Plat_GetCurrentDirectory(char* pszBuffer, uint32_t nSize);
bool Plat_SetCurrentDirectory(const char* pszPath);
