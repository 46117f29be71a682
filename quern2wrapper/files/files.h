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

// Walk it only with MountLock() held for reading, or while no other thread
// can mount or unmount (tools, tests).
MountTable& GetMountTable();
// Guards the disk, pack and search tables. Taken after MountLock(), never
// before it.
CThreadMutex& FileLayerLock();

// Mounting and unmounting hold it for writing; every call that walks the
// mount table, uses a pack handle's entry or reads the working directory
// holds it for reading for as long as it does, so no store or entry is freed
// under a reader and no reader sees the table half changed. Readers must not
// take it twice on one thread (a waiting writer would block the second
// take): the internal functions below expect their caller to hold it.
SpinRWLock& MountLock();

// Holds MountLock() for reading while in scope; bTake false holds nothing
// (disk handles never need it).
class CMountReadScope
{
public:
    explicit CMountReadScope(bool bTake = true) : m_bHeld(bTake)
    {
        if (m_bHeld) MountLock().LockForRead();
    }
    ~CMountReadScope()
    {
        if (m_bHeld) MountLock().UnlockRead();
    }
    CMountReadScope(const CMountReadScope&) = delete;
    CMountReadScope& operator=(const CMountReadScope&) = delete;

private:
    bool m_bHeld;
};

// --- Start-up and mounting ---
bool InitWorkingDirectory();
// Records the current directory as the working directory again (the pack
// tool moves into an install directory to mount as a game started there would).
// A directory too long to record leaves none: nothing is stripped then.
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
// Skips a pack already mounted under the same absolute path (any case, any
// separators, dot segments resolved) and one that does not load.
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
// Read them under MountLock() while other threads may start up.
const char* GetWorkingDirectory();
int GetWorkingDirectoryLength();

// Drops a leading ".\" or "./", collapses doubled separators, resolves dot
// segments with '\' and strips the working directory. Caller holds
// MountLock() for reading.
void NormalizeFilePath(const char* pszPath, char* pszOut, int nOutSize);

// --- Lookup ---
// The first mounted pack at position nFrom or later that holds the path (as
// the file calls see it: normalised, working directory stripped), with its
// entry in *pEntry; -1 when none does. Caller holds MountLock() for reading.
int FindInMounts(const char* pszPath, int nFrom, PackEntryHandle* pEntry);

// --- Handle tables ---
// A pack handle for the path, or 0 when no mounted pack holds it. Caller
// holds MountLock() for reading.
uint32_t PackOpen(const char* pszPath, const char* pszMode, uint32_t* pSize);
// Registers a stream and returns its handle; 0 when it cannot be named.
// Index 0 is taken by a null entry when the table is first used, so no
// stream ever gets the failure value.
uint32_t DiskRegister(FILE* pStream);
// Makes sure that reservation exists; false only when it could not be made.
bool DiskReserveZero();
// The stream of a disk handle, or null.
FILE* DiskLookup(uint32_t hFile);
// As DiskLookup, also removing the handle.
FILE* DiskCloseLookup(uint32_t hFile);
// The entry of a pack handle, or null. The entry lives until the handle is
// closed or the packs are unmounted: use it with MountLock() held for reading.
PackEntryHandle* PackLookup(uint32_t hFile);
// Removes the entry of a pack handle in use and answers true; false for any
// other handle (not a pack handle, never opened, closed or unmounted), so
// that a close which did nothing is not reported as done.
bool PackClose(uint32_t hFile);
// Deletes every pack handle (unmounting); caller holds MountLock() for
// writing.
void PackCloseAll();

// Pack items report this time for access, modification and creation.
constexpr uint32_t QUERN_PACK_ITEM_TIME = 178243200u;
