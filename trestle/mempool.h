// Fixed-size block pool: hands out blocks of one size carved from large
// allocations (blobs). Blocks are never returned one by one; the owner
// releases everything at once with FreeAll. Not thread-safe: the owner
// serialises every call.
#pragma once

#include <cstddef>
#include <cstdint>

// Block header values; the header is the 4 bytes just before a block.
enum : uint32_t
{
    k_nMemPoolMagic_Free = 0xEEEEEEEEu,
    MemPoolMagicInUse = 0xAAAAAAAAu,
};

class CMemoryPool
{
public:
    enum MemoryPoolGrowType_t
    {
        GROW_NONE = 0,        // one blob, made at construction
        GROW_INCREASING = 1,  // each new blob is one unit bigger than the last
        GROW_FIXED = 2,       // every blob is one unit
        GROW_FIXED_QUIET = 3, // one unit; running out of memory is silent
    };

    // A unit is nBlocksPerBlob blocks. Blocks are at least 4 bytes.
    CMemoryPool(int nBlockSize, int nBlocksPerBlob, int nGrowMode = GROW_INCREASING);
    // Does not release the blobs; call FreeAll first.
    ~CMemoryPool() {}

    CMemoryPool(const CMemoryPool&) = delete;
    CMemoryPool& operator=(const CMemoryPool&) = delete;

    // A block, or null when nSize exceeds the block size or no memory is left.
    // The contents are not cleared.
    void* Alloc(unsigned int nSize);
    void* Alloc() { return Alloc((unsigned int)m_nBlockSize); }
    // Adds one blob to the free list (normally called by Alloc).
    void AddNewBlob();
    // Releases every blob and makes the pool empty again.
    void FreeAll();

    int BlockSize() const { return m_nBlockSize; }
    int BlocksPerBlob() const { return m_nBlocksPerBlob; }
    int GrowMode() const { return m_nGrowMode; }
    int Count() const { return m_BlocksAllocated; }
    int PeakCount() const { return m_PeakAlloc; }
    int NumBlobs() const { return m_NumBlobs; }
    int TotalBlocks() const { return m_TotalBlocks; }

    // Distance between two neighbouring blocks in a blob: header plus block on
    // 32-bit builds; on 64-bit builds rounded so that blocks stay pointer
    // aligned and can hold the free-list link.
    int BlockStride() const;

private:
    // Header of a blob; the block area follows it.
    struct CBlob
    {
        CBlob* m_pNext;
        CBlob* m_pPrev;
        int m_NumBytes; // size of the block area
    };

    static size_t FirstBlockOffset();

    int m_nBlockSize;
    int m_nBlocksPerBlob;
    int m_nGrowMode;
    CBlob m_BlobHead; // sentinel of the circular blob list
    void* m_pHeadOfFreeList;
    int m_BlocksAllocated;
    int m_PeakAlloc;
    unsigned short m_NumBlobs;
    int m_TotalBlocks;
};
