// Reader of one bnd pack: a directory file with the name tree and numbered
// archive files with the entry data.
//
//   PackStore store("game/bnds/depot_1/pak01");      // loads pak01_dir.bnd
//   if (store.IsEmpty()) ...                          // nothing usable
//   PackEntryHandle h = store.FindEntry("Data/Foo.TXT");
//   if (h.m_nArchiveIndex != -1) store.ReadEntry(h, buf, sizeof(buf));
//
// The tree and its index never change after loading and may be read by any
// thread. Reads of different handles may run concurrently; one handle must
// not be read from two threads at once. The directory list behind
// IsDirectory/FindInDirectory is built on first use without a lock, so the
// first directory query of a store must not race another one.
//
// A directory file whose tree is malformed (a name without terminator, a
// record running past the tree, a chunk list without its end mark, preload
// bytes past the end, a tree size beyond the file), of an unknown version, or
// with data in two archives that would need the same archive slot (numbers
// equal mod 512; the directory file's own data counts as archive 511) is
// refused as a whole: the store stays empty, with a warning on standard output.
#pragma once

#include <cstdint>

#include "bndlib/packformat.h"
#include "trestle/strtools.h"
#include "trestle/utlstring.h"
#include "trestle/utlvector.h"

class PackStore;
struct PackArchiveSlot;
class PackBlockCache;
struct PackStoreIndex;
struct PackDirectoryList;
class CThreadMutex;

// One file inside a pack; FindEntry fills it, the caller owns it and moves
// m_nPosition for seeks.
struct PackEntryHandle
{
    // Archive of the first chunk; 0x7FFF: the directory file; -1: not found.
    int32_t m_nArchiveIndex;
    int32_t m_nOffset;             // chunk offset in that archive
    int32_t m_nSize;               // preload size + first chunk length
    int32_t m_nPosition;           // 0 .. m_nSize
    const uint8_t* m_pPreloadData; // into the tree bytes; null when there is no preload
    uint16_t m_nPreloadSize;
    PackStore* m_pStore;
    const uint8_t* m_pRecord; // the entry record (its crc field)
    const char* m_pszName;    // the matched file name inside the tree

    bool IsValid() const { return m_nArchiveIndex != -1; }
};

// Everything the tree says about one file; handed out by EnumerateEntries.
struct PackEntryInfo
{
    const char* m_pszExtension; // " " for none
    const char* m_pszDirectory; // " " for the root
    const char* m_pszName;
    PackRecordView m_record;
    PackChunk m_firstChunk;
    int64_t m_nSize; // preload size + first chunk length
};

// Return false to stop the walk.
typedef bool (*PackEntryCallback_t)(const PackEntryInfo& info, void* pContext);

constexpr int BND_CACHE_BLOCK_SIZE = 0x100000;
constexpr int BND_CACHE_MAX_SLOTS = 64;
constexpr int BND_MAX_BASE_PATH = 1024;

class PackStore
{
public:
    // An empty store.
    PackStore();
    // Loads "<base>_dir.bnd" (lower-cased on Windows), falling back to the base path itself.
    explicit PackStore(const char* pszBasePath, bool bPreload = false);
    ~PackStore();

    PackStore(const PackStore&) = delete;
    PackStore& operator=(const PackStore&) = delete;

    // True when nothing was loaded or the tree holds nothing.
    bool IsEmpty() const;
    // The directory file was there but refused (damaged tree, tree past the end,
    // unknown version, archives sharing a slot).
    bool IsDamaged() const { return m_bDamaged; }
    // Why it was refused ("unknown version 3", ...); "" when it was not.
    const char* GetDamage() const { return m_szDamage; }

    const char* GetBasePath() const { return m_szBasePath; }
    // Absolute, with '\' separators (lower-cased on Windows): identifies the pack for the
    // mount table, which compares it without case.
    const char* GetAbsolutePath() const { return m_szAbsolutePath; }

    // Looks a path up ('/' or '\', any case, "a/b/../c" resolved). Not found:
    // m_nArchiveIndex == -1. pnDirNode and ppszName (optional) receive the
    // matched directory node and file name (-1 / null when not found).
    PackEntryHandle FindEntry(const char* pszPath, int* pnDirNode = nullptr,
                              const char** ppszName = nullptr);

    // Some directory of the pack begins with pszPath (a prefix match, no case).
    bool IsDirectory(const char* pszPath);

    // Appends to pSubDirs the subdirectories of the pattern's directory and to
    // pFiles the names (with extension) of its files that match the pattern's
    // base and extension ("maps/*.b*"). Returns the length of pSubDirs. With
    // bSort the strings appended by this call are sorted bytewise; with
    // bFullPaths file names carry the pattern's directory.
    int FindInDirectory(const char* pszPattern, CUtlVector<CUtlOwnedString>* pSubDirs,
                        CUtlVector<CUtlOwnedString>* pFiles, bool bSort = false,
                        bool bFullPaths = false);

    // Copies up to nCount bytes from the handle's position and advances it;
    // returns the bytes copied (0 at the end).
    int ReadEntry(PackEntryHandle& handle, void* pDest, int nCount);

    // The slot of an archive, opening its file on first use. Two open archives
    // whose numbers are equal mod 512 are an error that ends the process; a
    // loaded store never asks for both (it refuses such a tree).
    PackArchiveSlot* OpenArchive(int nArchiveIndex);

    // Number of 1 MB blocks the cache may hold (1 .. 64).
    void SetCacheCapacity(int nSlots);
    int GetCacheCapacity() const;
    // 1 MB blocks the cache has read from archives so far.
    int GetCacheBlockLoads() const;

    // "<base>_%03d.bnd", or the directory file for 0x7FFF.
    void BuildArchiveFileName(int nArchiveIndex, char* pszOut, int nOutSize) const;

    // --- Inspection (tools, tests) ---
    const PackDirectoryHeader& GetHeader() const { return m_header; }
    // 28, 12, or 0 for a headerless file.
    int GetHeaderSize() const { return m_nHeaderSize; }
    uint32_t GetTreeSize() const { return m_uTreeSize; }
    const uint8_t* GetTreeBytes() const { return m_pTree; }
    // Where 0x7FFF chunk offsets count from in the directory file.
    int64_t GetEmbeddedDataBase() const { return (int64_t)m_nHeaderSize + m_uTreeSize; }
    int GetEntryCount() const { return m_nEntryCount; }
    int GetDirectoryCount() const;
    int GetExtensionCount() const;
    // Every file in tree order (shadowed ones included). False when stopped.
    bool EnumerateEntries(PackEntryCallback_t pfnCallback, void* pContext) const;
    // Bytes held by the lookup index (not counting the tree itself).
    size_t GetIndexMemory() const;

private:
    void Load(const char* pszBasePath);
    bool BuildIndex();
    void SetDamaged(const char* pszFormat, ...) QUERN_FMT_PRINTF(2, 3);
    void Clear();
    void BuildDirectoryList();
    bool FillHandle(const uint8_t* pName, size_t nNameLen, PackEntryHandle* pHandle);
    void CloseArchives();

    char m_szBasePath[BND_MAX_BASE_PATH];
    char m_szAbsolutePath[BND_MAX_BASE_PATH];
    PackDirectoryHeader m_header;
    int m_nHeaderSize;
    uint32_t m_uTreeSize;
    uint8_t* m_pTree; // m_uTreeSize bytes (one 0 byte when nothing is loaded)
    uint8_t m_emptyTree[1];
    int m_nEntryCount;
    bool m_bDamaged;
    char m_szDamage[128];

    PackStoreIndex* m_pIndex;
    PackDirectoryList* m_pDirList;
    PackArchiveSlot* m_pSlots; // BND_ARCHIVE_SLOT_COUNT
    CThreadMutex* m_pSlotTableLock;
    PackBlockCache* m_pCache;
};
