// Small-block heaps: fixed-size pools carved from one reserved address range,
// committed 64 KB at a time. Blocks carry no header: a block's page, and with
// it its pool and size, follow from its offset into the range.
#pragma once

#include "plinth/threadtools.h"

#include <cstddef>
#include <cstdint>

class SmallBlockHeap;
class SmallBlockPool;

enum
{
    SBH_PAGE_SIZE = 0x10000,
    SBH_SMALL_MAX = 1024,
    SBH_MEDIUM_MAX = 16384,
    SBH_SMALL_POOLS = 38,
    SBH_MEDIUM_POOLS = 58,
};

// Number of pools serving blocks up to nMaxSize bytes.
int SmallBlockHeap_NumPools(unsigned nMaxSize);

struct SmallBlockPage
{
    TSLNodeBase_t m_FreeLink; // link in the heap's free-page list
    SmallBlockPool* m_pPool;
    SmallBlockPage* m_pNextPage;
    volatile int32_t m_nCommitted; // -1 while not committed
    volatile int32_t m_nInUse;
};

class SmallBlockPool
{
public:
    void Init(SmallBlockHeap* pHeap, unsigned nBlockSize);
    void* Alloc();
    void Free(void* pBlock);

    unsigned BlockSize() const { return m_nBlockSize; }
    int PageCount() const { return __atomic_load_n(&m_nPages, __ATOMIC_RELAXED); }
    int FreeCount() const { return __atomic_load_n(&m_nFree, __ATOMIC_RELAXED); }
    // Blocks handed out and not yet released.
    int AllocatedCount() const;
    size_t CommittedBytes() const { return (size_t)PageCount() * SBH_PAGE_SIZE; }

private:
    bool TryLockPages(uint32_t threadId);
    void UnlockPages();
    bool AddPage();

    CTSListBase m_FreeList;
    uint8_t* volatile m_pNextAlloc; // bump pointer in the newest page, 0 when none
    SmallBlockPage* m_pFirstPage;
    unsigned m_nBlockSize;
    volatile uint32_t m_nLockOwner;
    int32_t m_nLockDepth;
    volatile int32_t m_nPages;
    volatile int32_t m_nFree;
    SmallBlockHeap* m_pHeap;
};

class SmallBlockHeap
{
public:
    SmallBlockHeap();
    ~SmallBlockHeap();

    // Builds the lookup table and pools for blocks of up to nMaxSize bytes
    // (1024 or 16384) in a range of nReserveBytes; reserves nothing yet.
    void Construct(unsigned nMaxSize, size_t nReserveBytes);
    // Reserves the range on first use; true when it exists.
    bool Setup();

    bool ShouldUse(size_t nBytes) const { return nBytes <= m_nMaxSize; }
    bool IsOwner(const void* pBlock) const
    {
        return m_pBase && (const uint8_t*)pBlock >= m_pBase && (const uint8_t*)pBlock < m_pLimit;
    }

    void* Alloc(size_t nBytes);
    void Free(void* pBlock);
    size_t GetSize(void* pBlock);
    // The pool serving nBytes (after the 0-as-1 rule), or null above the limit.
    SmallBlockPool* FindPool(size_t nBytes);
    SmallBlockPool* PoolOf(const void* pBlock);

    int PoolCount() const { return m_nPools; }
    SmallBlockPool& Pool(int i) { return m_Pools[i]; }
    unsigned MaxSize() const { return m_nMaxSize; }
    int PageLimit() const { return m_nPageCount; }
    uint8_t* Base() const { return m_pBase; }

private:
    friend class SmallBlockPool;
    // A fresh page for pPool: a free descriptor or the next never-used page,
    // committed. Null when the range is used up.
    SmallBlockPage* TakePage(uint8_t** ppPageStart);
    int PageIndex(const void* pBlock) const
    {
        return (int)(((const uint8_t*)pBlock - m_pBase) / SBH_PAGE_SIZE);
    }

    SmallBlockPool m_Pools[SBH_MEDIUM_POOLS];
    uint8_t m_PoolLookup[SBH_MEDIUM_MAX / 4];
    int m_nPools;
    unsigned m_nMaxSize;
    size_t m_nReserveBytes;

    // Shared page data, filled when the range is reserved.
    uint8_t* m_pBase;
    uint8_t* m_pLimit;
    uint8_t* volatile m_pNextPage; // next never-used page
    CTSListBase m_FreePages;
    SmallBlockPage* m_pPages;
    int m_nPageCount;
    size_t m_nPageDataBytes;
    bool m_bSetupTried;
};
