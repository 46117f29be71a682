// Small-block heaps. The common path is lock-free: a pop from the pool's free
// list, or a compare-and-exchange on the bump pointer of its newest page.
// Only taking a fresh page holds the pool's page lock.
#include "plinth/memstd_sbh.h"

#include "plinth/dbg.h"
#include "plinth/platform/platform_vmem.h"

#include <climits>
#include <cstring>

namespace
{
const char* const kSbhSource = "..\\plinth\\memstd";

// Size classes: up to each limit, blocks grow by the step.
struct SizeClassRange_t
{
    unsigned m_nLimit;
    unsigned m_nStep;
};
const SizeClassRange_t kSizeClasses[] = {
    {128, 8}, {256, 16}, {512, 32}, {768, 64}, {1024, 128}, {2048, 256}, {4096, 512}, {16384, 1024},
};

// Calls pfn(blockSize) for every class up to nMaxSize.
template <class FN> void ForEachClass(unsigned nMaxSize, FN pfn)
{
    unsigned nSize = 0;
    for (const SizeClassRange_t& range : kSizeClasses)
    {
        if (range.m_nLimit > nMaxSize) break;
        while (nSize < range.m_nLimit)
        {
            nSize += range.m_nStep;
            pfn(nSize);
        }
    }
}

template <class T> inline T LoadAcquire(T const volatile* p)
{
    return __atomic_load_n(const_cast<T*>(p), __ATOMIC_ACQUIRE);
}
} // namespace

int SmallBlockHeap_NumPools(unsigned nMaxSize)
{
    int n = 0;
    ForEachClass(nMaxSize, [&](unsigned) { ++n; });
    return n;
}

//-----------------------------------------------------------------------------
// SmallBlockPool
//-----------------------------------------------------------------------------
void SmallBlockPool::Init(SmallBlockHeap* pHeap, unsigned nBlockSize)
{
    m_FreeList.Init();
    m_pNextAlloc = nullptr;
    m_pFirstPage = nullptr;
    m_nBlockSize = nBlockSize;
    m_nLockOwner = 0;
    m_nLockDepth = 0;
    m_nPages = 0;
    m_nFree = 0;
    m_pHeap = pHeap;
}

int SmallBlockPool::AllocatedCount() const
{
    return PageCount() * (int)(SBH_PAGE_SIZE / m_nBlockSize) - FreeCount();
}

bool SmallBlockPool::TryLockPages(uint32_t threadId)
{
    uint32_t owner = __atomic_load_n(&m_nLockOwner, __ATOMIC_ACQUIRE);
    if (owner == threadId)
    {
        ++m_nLockDepth;
        return true;
    }
    uint32_t expected = 0;
    if (!__atomic_compare_exchange_n(&m_nLockOwner, &expected, threadId, false, __ATOMIC_ACQUIRE,
                                     __ATOMIC_RELAXED))
        return false;
    m_nLockDepth = 1;
    return true;
}

void SmallBlockPool::UnlockPages()
{
    if (--m_nLockDepth == 0) __atomic_store_n(&m_nLockOwner, 0u, __ATOMIC_RELEASE);
}

// With the page lock held and no bump pointer left.
bool SmallBlockPool::AddPage()
{
    uint8_t* pPageStart = nullptr;
    SmallBlockPage* pPage = m_pHeap->TakePage(&pPageStart);
    if (!pPage) return false;
    pPage->m_pPool = this;
    pPage->m_pNextPage = m_pFirstPage;
    m_pFirstPage = pPage;
    __atomic_add_fetch(&m_nFree, (int32_t)(SBH_PAGE_SIZE / m_nBlockSize), __ATOMIC_RELAXED);
    __atomic_add_fetch(&m_nPages, 1, __ATOMIC_RELAXED);
    __atomic_store_n(&m_pNextAlloc, pPageStart, __ATOMIC_RELEASE);
    return true;
}

void* SmallBlockPool::Alloc()
{
    uint8_t* pResult = nullptr;
    int nPriority = INT_MIN; // read once, on the first contended page lock
    uint32_t threadId = 0;
    for (;;)
    {
        pResult = (uint8_t*)m_FreeList.Pop();
        if (pResult) break;

        uint8_t* pBump = LoadAcquire(&m_pNextAlloc);
        if (pBump)
        {
            uint8_t* pPageEnd =
                m_pHeap->m_pBase +
                ((size_t)(pBump - m_pHeap->m_pBase) / SBH_PAGE_SIZE + 1) * SBH_PAGE_SIZE;
            uint8_t* pNext = pBump + m_nBlockSize;
            if (pNext + m_nBlockSize > pPageEnd) pNext = nullptr; // page used up
            if (__atomic_compare_exchange_n(&m_pNextAlloc, &pBump, pNext, false, __ATOMIC_ACQ_REL,
                                            __ATOMIC_ACQUIRE))
            {
                pResult = pBump;
                break;
            }
            continue;
        }

        if (!threadId) threadId = ThreadGetCurrentId();
        if (TryLockPages(threadId))
        {
            bool bOk = LoadAcquire(&m_pNextAlloc) != nullptr || AddPage();
            UnlockPages();
            if (!bOk) return nullptr;
            continue;
        }
        // Someone else is fetching a page. Above normal priority we must let
        // it run; otherwise spinning is cheaper than a switch.
        if (nPriority == INT_MIN) nPriority = ThreadGetPriority(nullptr);
        if (nPriority > 0)
            ThreadSleep(0);
        else
            ThreadPause();
    }

    __atomic_sub_fetch(&m_nFree, 1, __ATOMIC_RELAXED);
    int iPage = m_pHeap->PageIndex(pResult);
    if (iPage < 0 || iPage >= m_pHeap->m_nPageCount)
    {
        AssertMsgFailed(false, kSbhSource, __LINE__,
                        "Alloc(): iPage >= 0 && iPage < %d, iPage == %d, pResult = 0x%p, "
                        "pSharedData->m_pBase == 0x%p",
                        m_pHeap->m_nPageCount, iPage, (void*)pResult, (void*)m_pHeap->m_pBase);
        return pResult;
    }
    __atomic_add_fetch(&m_pHeap->m_pPages[iPage].m_nInUse, 1, __ATOMIC_RELAXED);
    return pResult;
}

void SmallBlockPool::Free(void* pBlock)
{
    int iPage = m_pHeap->PageIndex(pBlock);
    if (iPage < 0 || iPage >= m_pHeap->m_nPageCount)
    {
        AssertMsgFailed(false, kSbhSource, __LINE__,
                        "Free( 0x%p ): iPage >= 0 && iPage < %d, iPage == %d", pBlock,
                        m_pHeap->m_nPageCount, iPage);
        return;
    }
    __atomic_sub_fetch(&m_pHeap->m_pPages[iPage].m_nInUse, 1, __ATOMIC_RELAXED);
    __atomic_add_fetch(&m_nFree, 1, __ATOMIC_RELAXED);
    m_FreeList.Push((TSLNodeBase_t*)pBlock);
}

//-----------------------------------------------------------------------------
// SmallBlockHeap
//-----------------------------------------------------------------------------
SmallBlockHeap::SmallBlockHeap()
    : m_nPools(0), m_nMaxSize(0), m_nReserveBytes(0), m_pBase(nullptr), m_pLimit(nullptr),
      m_pNextPage(nullptr), m_pPages(nullptr), m_nPageCount(0), m_nPageDataBytes(0),
      m_bSetupTried(false)
{
    memset(m_PoolLookup, 0, sizeof(m_PoolLookup));
}

SmallBlockHeap::~SmallBlockHeap()
{
    if (m_pPages) Plat_VirtualRelease(m_pPages, m_nPageDataBytes);
    if (m_pBase) Plat_VirtualRelease(m_pBase, m_nReserveBytes);
}

void SmallBlockHeap::Construct(unsigned nMaxSize, size_t nReserveBytes)
{
    m_nMaxSize = nMaxSize;
    m_nReserveBytes = nReserveBytes;
    int iCurPool = 0;
    ForEachClass(nMaxSize,
                 [&](unsigned nBlockSize)
                 {
                     if (iCurPool < SBH_MEDIUM_POOLS) m_Pools[iCurPool].Init(this, nBlockSize);
                     ++iCurPool;
                 });
    int nExpected = nMaxSize == SBH_SMALL_MAX ? SBH_SMALL_POOLS : SBH_MEDIUM_POOLS;
    if (iCurPool != nExpected)
        AssertFailed(kSbhSource, __LINE__, "iCurPool == GET_NUM_POOLS( SBH_MAX )");
    m_nPools = iCurPool < SBH_MEDIUM_POOLS ? iCurPool : SBH_MEDIUM_POOLS;

    // Entry (n - 1) / 4 serves requests of n bytes; class sizes are multiples
    // of 8, so the four sizes of one entry always share a pool.
    int iPool = 0;
    for (unsigned i = 0; i < nMaxSize / 4 && m_nPools > 0; ++i)
    {
        unsigned nTop = i * 4 + 4;
        while (iPool < m_nPools - 1 && m_Pools[iPool].BlockSize() < nTop)
            ++iPool;
        m_PoolLookup[i] = (uint8_t)iPool;
    }
}

bool SmallBlockHeap::Setup()
{
    if (m_pBase) return true;
    if (m_bSetupTried) return false;
    m_bSetupTried = true;
    int nPages = (int)(m_nReserveBytes / SBH_PAGE_SIZE);
    size_t nPageData = sizeof(SmallBlockPage) * (size_t)nPages;
    uint8_t* pBase = (uint8_t*)Plat_VirtualReserve(nullptr, m_nReserveBytes);
    if (!pBase) return false;
    // The descriptors come straight from the system: this heap may be what
    // everything else allocates from.
    SmallBlockPage* pPages = (SmallBlockPage*)Plat_VirtualReserve(nullptr, nPageData);
    if (!pPages || !Plat_VirtualCommit(pPages, nPageData))
    {
        if (pPages) Plat_VirtualRelease(pPages, nPageData);
        Plat_VirtualRelease(pBase, m_nReserveBytes);
        return false;
    }
    for (int i = 0; i < nPages; ++i)
    {
        pPages[i].m_FreeLink.Next = nullptr;
        pPages[i].m_pPool = nullptr;
        pPages[i].m_pNextPage = nullptr;
        pPages[i].m_nCommitted = -1;
        pPages[i].m_nInUse = 0;
    }
    m_FreePages.Init();
    m_pPages = pPages;
    m_nPageCount = nPages;
    m_nPageDataBytes = nPageData;
    m_pNextPage = pBase;
    m_pLimit = pBase + m_nReserveBytes;
    __atomic_store_n(&m_pBase, pBase, __ATOMIC_RELEASE);
    return true;
}

SmallBlockPage* SmallBlockHeap::TakePage(uint8_t** ppPageStart)
{
    SmallBlockPage* pPage = (SmallBlockPage*)m_FreePages.Pop();
    if (!pPage)
    {
        uint8_t* pNext = LoadAcquire(&m_pNextPage);
        for (;;)
        {
            if (pNext >= m_pLimit) return nullptr;
            if (__atomic_compare_exchange_n(&m_pNextPage, &pNext, pNext + SBH_PAGE_SIZE, false,
                                            __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE))
                break;
        }
        pPage = &m_pPages[PageIndex(pNext)];
    }
    uint8_t* pStart = m_pBase + (size_t)(pPage - m_pPages) * SBH_PAGE_SIZE;
    if (pPage->m_nCommitted == -1)
    {
        if (!Plat_VirtualCommit(pStart, SBH_PAGE_SIZE))
        {
            // Keep the page for a later try.
            m_FreePages.Push(&pPage->m_FreeLink);
            return nullptr;
        }
        pPage->m_nCommitted = 1;
    }
    *ppPageStart = pStart;
    return pPage;
}

SmallBlockPool* SmallBlockHeap::FindPool(size_t nBytes)
{
    if (nBytes == 0) nBytes = 1;
    if (!ShouldUse(nBytes) || m_nPools == 0) return nullptr;
    return &m_Pools[m_PoolLookup[(nBytes - 1) / 4]];
}

SmallBlockPool* SmallBlockHeap::PoolOf(const void* pBlock)
{
    if (!IsOwner(pBlock)) return nullptr;
    return m_pPages[PageIndex(pBlock)].m_pPool;
}

void* SmallBlockHeap::Alloc(size_t nBytes)
{
    if (nBytes == 0) nBytes = 1;
    if (!ShouldUse(nBytes))
    {
        AssertFailed(kSbhSource, __LINE__, "ShouldUse( nBytes )");
        return nullptr;
    }
    if (!m_pBase && !Setup()) return nullptr;
    return FindPool(nBytes)->Alloc();
}

void SmallBlockHeap::Free(void* pBlock)
{
    SmallBlockPool* pPool = PoolOf(pBlock);
    if (!pPool)
    {
        AssertMsgFailed(false, kSbhSource, __LINE__,
                        "Free( 0x%p ): iPage >= 0 && iPage < %d, iPage == %d", pBlock, m_nPageCount,
                        m_pBase ? PageIndex(pBlock) : -1);
        return;
    }
    pPool->Free(pBlock);
}

size_t SmallBlockHeap::GetSize(void* pBlock)
{
    SmallBlockPool* pPool = PoolOf(pBlock);
    return pPool ? pPool->BlockSize() : 0;
}
