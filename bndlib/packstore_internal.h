// Internals of PackStore shared by its source files: the lookup index, the
// directory list, the archive slots and the block cache.
#pragma once

#include <atomic>
#include <cstdint>
#include <new>

#include "bndlib/packstore.h"
#include "plinth/memalloc.h"
#include "plinth/threadtools.h"
#include "trestle/fileio.h"
#include "trestle/utlsortedtree.h"
#include "trestle/utlvector.h"

// Source name of the pack store's assertions and allocations, as the library
// has always reported it.
#define PACKSTORE_SOURCE "..\\bndlib\\packedstore"

// Internal objects come from the process allocator like every other container.
template <class T> T* PackNew()
{
    void* pMem = MemAlloc_AllocTagged(sizeof(T), PACKSTORE_SOURCE, __LINE__);
    return new (pMem) T();
}

template <class T> void PackDelete(T* p)
{
    if (!p) return;
    p->~T();
    MemAlloc_FreeTagged(p, PACKSTORE_SOURCE, __LINE__);
}

constexpr uint32_t PACK_INDEX_EMPTY = 0xFFFFFFFFu;

// One extension of the tree with its 43 directory buckets (chains of
// PackDirNode indices, newest first).
struct PackExtNode
{
    uint32_t m_uName; // offset of the extension string in the tree
    uint32_t m_uHash;
    int32_t m_nNext;
    int32_t m_aDirBuckets[BND_DIRECTORY_BUCKETS];
};

// One directory of one extension. Its file names are indexed in an open
// addressing table (slice of PackStoreIndex::m_fileTable) so a lookup costs
// the same however many files the directory holds.
struct PackDirNode
{
    uint32_t m_uName; // offset of the directory string in the tree
    uint32_t m_uHash;
    int32_t m_nNext;
    int32_t m_nExt;    // owning PackExtNode
    uint32_t m_uFiles; // offset of the first file name
    uint32_t m_uFileCount;
    uint32_t m_uTableStart;
    uint32_t m_uTableMask; // table size - 1; size 0 when the list is empty
};

struct PackStoreIndex
{
    PackStoreIndex()
    {
        for (int i = 0; i < BND_EXTENSION_BUCKETS; ++i)
            m_aExtBuckets[i] = -1;
    }
    int32_t m_aExtBuckets[BND_EXTENSION_BUCKETS];
    CUtlVector<PackExtNode> m_extNodes;
    CUtlVector<PackDirNode> m_dirNodes;
    CUtlVector<uint32_t> m_fileTable; // offsets of file names, PACK_INDEX_EMPTY when free
    // Open addressing over every directory node keyed by (extension node,
    // name): the same answer as walking the 43 buckets (a later directory
    // shadows an earlier one) without their long chains in big packs.
    CUtlVector<int32_t> m_dirTable;
    uint32_t m_uDirTableMask = 0;
    // Per directory node: its slice of m_fileTable is filled (atomic access).
    CUtlVector<uint8_t> m_dirTableBuilt;
    CThreadMutex m_buildLock;
};

inline uint32_t PackDirKey(int nExt, uint32_t uDirHash)
{
    return uDirHash ^ ((uint32_t)nExt * 0x9E3779B1u);
}

// Every file of the pack grouped by directory in bytewise path order. Group g
// (key g + 1) has the directory m_dirs[g] ("a/b/", "" for the root) and the
// names m_nameOffsets[m_groupStart[g] .. m_groupStart[g + 1]) in m_names.
struct PackDirectoryList
{
    CUtlVector<CUtlOwnedString> m_dirs;
    CUtlVector<int> m_groupStart;
    CUtlVector<int> m_nameOffsets;
    CUtlVector<char> m_names;
    bool m_bBuilt = false;
};

// Read-ahead cache for runs of small sequential reads, shared by every reader
// of one store. Reads of kPackDirectRead bytes and more, and small reads that
// do not follow a small read where it ended, go straight to the caller's
// buffer with one positioned read (a lone small file is not worth a window).
// A small read that continues such a run loads the slot's read-ahead (from
// kPackMinReadAhead, doubling per load up to kPackMaxReadAhead) from its
// own offset into the least recently used window. Hits take only their
// window's read lock, so readers of different threads copy at the same time.
constexpr int kPackDirectRead = 4 * 1024;
constexpr int kPackMinReadAhead = 64 * 1024;
constexpr int kPackMaxReadAhead = 256 * 1024; // also the size of a window's buffer

struct PackArchiveSlot
{
    // Set once, after m_hFile, when the archive opens (release); a reader
    // that sees its own index here may use m_hFile without a lock.
    std::atomic<int32_t> m_nArchiveIndex{-1};
    PlatFileHandle m_hFile = PLAT_INVALID_FILE;
    // Where the last read of this archive ended: tells sequential reading,
    // which the cache reads ahead for, from scattered reading.
    std::atomic<int64_t> m_nLastEnd{0};
    std::atomic<int32_t> m_nLastCount{0}; // bytes asked by that read
    // How much the next window load reads: grows while small reads go on.
    std::atomic<int32_t> m_nReadAhead{kPackMinReadAhead};
};

// One cached run of archive bytes [m_nStart, m_nEnd). Its
// buffer is allocated at the first load and reused by every later one.
struct PackCacheWindow
{
    SpinRWLock m_lock;
    // Written under the write lock; also read without it, to skip windows
    // that cannot hold a request before taking their lock.
    std::atomic<int32_t> m_nArchiveIndex{-1};
    std::atomic<int64_t> m_nStart{0};
    std::atomic<int64_t> m_nEnd{0};
    uint8_t* m_pBuffer = nullptr;
    std::atomic<uint32_t> m_uLastUse{0};
};

class PackBlockCache
{
public:
    PackBlockCache();
    ~PackBlockCache();

    // Serves [nFileOffset, nFileOffset + nCount) of the slot's archive in full
    // or not at all (the caller then reads it directly).
    bool Read(PackArchiveSlot* pSlot, PlatFileHandle hFile, int64_t nFileOffset, uint8_t* pDest,
              int nCount);

    void SetCapacity(int nSlots);
    int GetCapacity() const { return m_nCapacity.load(); }
    // Loads of a window from disk since creation (tests and tools).
    int GetBlockLoads() const { return m_nBlockLoads.load(); }

private:
    static bool Holds(const PackCacheWindow& window, int32_t nArchiveIndex, int64_t nFileOffset,
                      int nCount);
    bool CopyIfHeld(PackCacheWindow& window, int32_t nArchiveIndex, int64_t nFileOffset,
                    uint8_t* pDest, int nCount);

    PackCacheWindow m_windows[BND_CACHE_MAX_SLOTS];
    std::atomic<int> m_nCapacity;
    std::atomic<int> m_nBlockLoads;
    std::atomic<uint32_t> m_uClock;
};
