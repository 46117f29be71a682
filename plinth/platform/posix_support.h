// What every POSIX stand-in of the platform layer shares. Only the *_posix.cpp
// files of this folder include it.
#pragma once

#include "plinth/asciicase.h"
#include "plinth/platform/platform_file.h"

#include <cstddef>
#include <cstdint>
#include <dirent.h>

// Whether a directory entry name matches a search pattern the way the
// Windows search (FindFirstFile and the C runtime's find-first) matches it:
// '*' matches any run of characters, dots included; '?' exactly one
// character; other characters themselves, ASCII letters without case. Once
// the name is used up, a rest of the pattern made only of '.' and '*'
// matches too ("name.*" finds "name", "*.*" finds every name). Runs in time
// proportional to the pattern times the name, without recursion.
bool Posix_WindowsNameMatch(const char* pszPattern, const char* pszName);

// The Windows error code for an errno value (ERROR_GEN_FAILURE for those
// without a closer one).
uint32_t Posix_ErrorFromErrno(int err);

// A UTF-8 name as UTF-16, cut to fit cwchOut units with the terminator. Bytes
// that are not UTF-8 become U+DC80..U+DCFF, which the path conversion turns
// back into the same bytes, so every name on disk can be reached again.
void Posix_NameToWide(const char* pszName, PlatWChar* pwszOut, size_t cwchOut);

// Splits a search path ('/' separators) in place at its last '/': the folder
// ("." when there is none, "/" for the root) and the pattern after it.
void Posix_SplitSearchPath(char* pszPath, const char** ppszDir, const char** ppszPattern);

// The next entry of the folder whose name matches the pattern; null at the
// end (errno 0) or on failure (errno set).
struct dirent* Posix_ReadMatchingEntry(DIR* pDir, const char* pszPattern);
