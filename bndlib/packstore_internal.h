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

struct PackArchiveSlot
{
    int32_t m_nArchiveIndex = -1;
    PlatFileHandle m_hFile = PLAT_INVALID_FILE;
    int64_t m_nPosition = 0; // where the last direct read ended
    CThreadMutex m_lock;
};

struct PackBlockNode
{
    int32_t m_nArchiveIndex;
    int32_t m_nBlockStart;
    uint8_t* m_pBuffer; // null once the block gave its buffer away
    int32_t m_nValid;   // bytes of the buffer that hold archive data
    int32_t m_nSlot;
};

inline bool PackBlockNodeLess(const PackBlockNode& a, const PackBlockNode& b)
{
    if (a.m_nArchiveIndex != b.m_nArchiveIndex) return a.m_nArchiveIndex < b.m_nArchiveIndex;
    return a.m_nBlockStart < b.m_nBlockStart;
}

// Cache of 1 MB archive blocks, shared by every reader of one store.
class PackBlockCache
{
public:
    PackBlockCache();
    ~PackBlockCache();

    // Serves [nFileOffset, nFileOffset + nCount) of the slot's archive in full
    // or not at all. The caller holds the slot's lock.
    bool Read(PackArchiveSlot* pSlot, int64_t nFileOffset, uint8_t* pDest, int nCount);

    void SetCapacity(int nSlots);
    int GetCapacity() const { return m_nCapacity; }
    int GetSlotsUsed() const { return m_nSlotsUsed; }
    // Blocks loaded from disk since creation (tests and tools).
    int GetBlockLoads() const { return m_nBlockLoads.load(); }

private:
    int ChooseSlot();
    int LoadBlock(PackArchiveSlot* pSlot, int32_t nBlockStart);

    SpinRWLock m_lock;
    CUtlSortedTree<PackBlockNode> m_nodes;
    int m_nCapacity;
    int m_nSlotsUsed;
    int m_aSlotNode[BND_CACHE_MAX_SLOTS];
    std::atomic<uint32_t> m_aSlotTime[BND_CACHE_MAX_SLOTS];
    std::atomic<int> m_nBlockLoads;
};
