// What every POSIX stand-in of the platform layer shares. Only the *_posix.cpp
// files of this folder include it.
#pragma once

#include <cstddef>

// Whether a directory entry name matches a search pattern the way the
// Windows search (FindFirstFile and the C runtime's find-first) matches it:
// '*' matches any run of characters, dots included; '?' exactly one
// character; other characters themselves, ASCII letters without case. Once
// the name is used up, a rest of the pattern made only of '.' and '*'
// matches too ("name.*" finds "name", "*.*" finds every name). Runs in time
// proportional to the pattern times the name, without recursion.
bool Posix_WindowsNameMatch(const char* pszPattern, const char* pszName);
