// What every POSIX stand-in of the platform layer shares. Only the *_posix.cpp
// files of this folder include it.
#pragma once

#include "plinth/asciicase.h"
#include "plinth/platform/platform_file.h"

#include <cstddef>
#include <cstdint>
#include <dirent.h>
#include <string>

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

// File names without case. Content written for a file system that ignores
// case asks for "Maps/E1M1.bsp" when the disk holds "maps/e1m1.bsp", so every
// path call of this layer runs on the path as given first (one system call,
// as before) and, only when a name on the way is missing, again on the
// spelling found on disk: each name is matched in its folder ignoring ASCII
// case. When several entries differ only in case, the exact spelling wins,
// else the first in byte order. A name that matches nothing is created in the
// folder found that way, spelled as the caller spelled it.
//
// What a walk learns (the names of the folders it had to read) is kept and
// shared between threads: the library's own creations, renames and deletes
// update it, and a folder changed behind its back is read again when a
// lookup misses there (the folder's times and identity tell).

// The identity and times of a folder when its names were read.
struct PosixFolderStamp
{
    uint64_t m_ulDevice;
    uint64_t m_ulInode;
    int64_t m_lModified;
    int64_t m_lModifiedNs;
    int64_t m_lChanged;
    int64_t m_lChangedNs;
};

// Which path a call ran on, and what it created.
struct PosixPathUse
{
    const char* m_pszPath = nullptr; // the path as given, or m_folded
    bool m_bFolderFound = true;      // false: a folder on the way is missing in every case
    bool m_bNewName = false;         // the call created the last name of m_folded
    bool m_bStamped = false;         // m_stamp holds the folder's stamp before the creation
    std::string m_folded;            // the spelling on disk (relative when the path was)
    std::string m_folderKey;         // absolute folder of the last name, as on disk
    std::string m_name;              // the last name, as on disk or as created
    PosixFolderStamp m_stamp = {};
};

// An operation on one path: 0 or more on success, below 0 with errno set.
typedef int (*PosixPathCall)(const char* pszPath, void* pContext);

// Runs pfnExisting on the path as given; when it fails because a name on
// the way is missing (ENOENT, ENOTDIR), on the spelling found on disk. When
// only the last name matches nothing and pfnCreate is given, runs pfnCreate
// on the folder found plus that name as given. Returns what the last call
// returned, errno as it left it (the first call's when nothing was found).
int Posix_CallOnPath(const char* pszPath, PosixPathCall pfnExisting, PosixPathCall pfnCreate,
                     void* pContext, PosixPathUse* pUse);

template <typename Existing>
int Posix_OnExistingPath(const char* pszPath, Existing& existing, PosixPathUse* pUse)
{
    return Posix_CallOnPath(
        pszPath, [](const char* p, void* v) { return (*static_cast<Existing*>(v))(p); }, nullptr,
        &existing, pUse);
}

template <typename Existing, typename Create>
int Posix_OnPathToCreate(const char* pszPath, Existing& existing, Create& create,
                         PosixPathUse* pUse)
{
    struct Calls
    {
        Existing* m_pExisting;
        Create* m_pCreate;
    } calls = {&existing, &create};
    return Posix_CallOnPath(
        pszPath, [](const char* p, void* v) { return (*static_cast<Calls*>(v)->m_pExisting)(p); },
        [](const char* p, void* v) { return (*static_cast<Calls*>(v)->m_pCreate)(p); }, &calls,
        pUse);
}

// After a call that made or replaced the entry at use.m_pszPath: its folder
// lists it, and nothing is known below it any more.
void Posix_NoteCreated(const PosixPathUse& use);
// After a call that removed or renamed away the entry at pszPath (as the
// call spelled it): its folder's names lose it, and what was known of the
// folders under it is dropped.
void Posix_NoteRemoved(const char* pszPath);
