// Inside the file layer: the mount table, the handle tables with their lock,
// path normalisation and the two start-up steps.
#pragma once

#include "bndlib/packstore.h"
#include "plinth/threadtools.h"
#include "trestle/utlsortedtree.h"
#include "trestle/utlstring.h"
#include "trestle/utlvector.h"

#include <cstdint>
#include <cstdio>

// Source name of the file layer's assertions, as the library has always
// reported it (it predates the folder's name).
#define QUERN_FILES_SOURCE "quern2wrapper_stdio"

constexpr int QUERN_FILE_PATH_SIZE = 1024;
constexpr int QUERN_WORKING_DIR_SIZE = 1024;

// Owned packs; position 0 is searched first.
typedef CUtlVector<PackStore*> MountTable;
// Stream pointers by value; the handle is the node index.
typedef CUtlSortedTree<FILE*> DiskHandleTable;
// Owned copies of the entry descriptors; handle = index | BND_FILE_HANDLE_FLAG.
typedef CUtlSortedTree<PackEntryHandle*> PackHandleTable;

MountTable& GetMountTable();
// Guards the disk, pack and search tables.
CThreadMutex& FileLayerLock();

// --- Start-up and mounting ---
bool InitWorkingDirectory();
// Records the current directory as the working directory again (the pack
// tool moves into an install directory to mount as a game started there would).
void RecordWorkingDirectory();
bool MountDefaultPacks();

// Where the default packs came from.
enum DefaultMountSource
{
    DEFAULT_MOUNTS_CONFIG,     // the "mount" section of "quern_bnds.kvt"
    DEFAULT_MOUNTS_DEPOTS,     // the installed depots
    DEFAULT_MOUNTS_SCAN,       // the bnds folder of the install directory
    DEFAULT_MOUNTS_BAD_CONFIG, // "quern_bnds.kvt" did not parse; nothing mounted
};
// Writes up to nMax installed depot ids and returns how many there are; null
// when no client can be asked.
typedef uint32_t (*InstalledDepots_t)(uint32_t* pDepots, uint32_t nMax, void* pContext);
// The steps of MountDefaultPacks for an install directory: the configuration
// in the current directory, else the installed depots, else the bnds scan.
// False only for a configuration that does not parse.
bool MountDefaultPacksFrom(const char* pszInstallDir, InstalledDepots_t pfnDepots, void* pContext,
                           DefaultMountSource* pSource);
void MountPack(const char* pszBasePath);

// The base paths that MountDefaultPacksFrom mounts, in mount order (the last
// one ends up searched first), without mounting anything. *pbConfigSpew is
// set only when a configuration was read. ListDefaultPacks asks the session:
// its install directory and its client's installed depots.
bool ListDefaultPacksFrom(const char* pszInstallDir, InstalledDepots_t pfnDepots, void* pContext,
                          CUtlVector<CUtlOwnedString>* pBases, DefaultMountSource* pSource,
                          bool* pbConfigSpew);
bool ListDefaultPacks(CUtlVector<CUtlOwnedString>* pBases, DefaultMountSource* pSource,
                      bool* pbConfigSpew);
void UnmountAll();

// The recorded working directory (with trailing '\'), "" until recorded.
const char* GetWorkingDirectory();
int GetWorkingDirectoryLength();

// Drops a leading ".\" or "./", collapses doubled separators, resolves dot
// segments with '\' and strips the working directory.
void NormalizeFilePath(const char* pszPath, char* pszOut, int nOutSize);

// --- Lookup ---
// The first mounted pack at position nFrom or later that holds the path (as
// the file calls see it: normalised, working directory stripped), with its
// entry in *pEntry; -1 when none does.
int FindInMounts(const char* pszPath, int nFrom, PackEntryHandle* pEntry);

// --- Handle tables ---
// A pack handle for the path, or 0 when no mounted pack holds it.
uint32_t PackOpen(const char* pszPath, const char* pszMode, uint32_t* pSize);
// Registers a stream (even a null one) and returns its handle.
uint32_t DiskRegister(FILE* pStream);
// The stream of a disk handle, or null.
FILE* DiskLookup(uint32_t hFile);
// As DiskLookup, also removing the handle.
FILE* DiskCloseLookup(uint32_t hFile);
// The entry of a pack handle, or null.
PackEntryHandle* PackLookup(uint32_t hFile);
// Removes the entry of a pack handle in use and answers true; false for any
// other handle (not a pack handle, never opened, closed or unmounted), so
// that a close which did nothing is not reported as done.
bool PackClose(uint32_t hFile);
// Deletes every pack handle (unmounting).
void PackCloseAll();

// Pack items report this time for access, modification and creation.
constexpr uint32_t QUERN_PACK_ITEM_TIME = 178243200u;
