// Untyped growable storage and the growth rule.
#include "trestle/utlmemory.h"

#include "plinth/dbg.h"
#include "plinth/memalloc.h"

#include <climits>
#include <cstdint>
#include <cstring>

#define UTLMEMORY_SOURCE "..\\trestle\\utlmemory"

// Past 256 MiB of elements the storage grows linearly instead of doubling.
static const int64_t k_cubMaxDoublingStep = 268435456;

int UtlMemory_CalcNewAllocationCount(int nAllocationCount, int nGrowSize, int nNewSize,
                                     int nBytesItem)
{
    int64_t nCount;
    if (nGrowSize)
    {
        nCount = ((int64_t)nNewSize - 1) / nGrowSize + 1;
        nCount *= nGrowSize;
    }
    else
    {
        nCount = nAllocationCount;
        if (nCount <= 0)
        {
            if (nBytesItem > 0)
            {
                // The first block holds at least 32 bytes.
                nCount = (31 + (int64_t)nBytesItem) / nBytesItem;
            }
            else
            {
                AssertMsgFailed(
                    false, UTLMEMORY_SOURCE, __LINE__,
                    "Assertion Failed: nBytesItem is %d in UtlMemory_CalcNewAllocationCount",
                    nBytesItem);
                nCount = 256;
            }
        }

        int64_t nMaxStep = k_cubMaxDoublingStep / (nBytesItem > 0 ? nBytesItem : 1);
        if (nMaxStep < 1) nMaxStep = 1;
        while (nCount < nNewSize)
            nCount += nCount < nMaxStep ? nCount : nMaxStep;
    }
    return nCount > INT_MAX ? INT_MAX : (int)nCount;
}

// Byte size of `nCount` elements; SIZE_MAX when it cannot be represented, so
// the allocator reports it as out of memory instead of handing out a short block.
static size_t BytesFor(int64_t nCount, unsigned unSizeOfElement)
{
    if (nCount < 0 || nCount > INT_MAX) return SIZE_MAX;
    if (unSizeOfElement && (uint64_t)nCount > SIZE_MAX / unSizeOfElement) return SIZE_MAX;
    return (size_t)nCount * unSizeOfElement;
}

CUtlMemoryBase::CUtlMemoryBase(int nSizeOfElement, int nGrowSize, int nInitAllocationCount)
    : m_unSizeOfElements(0), m_pMemory(nullptr), m_nAllocationCount(0), m_nGrowSize(0)
{
    Init(nSizeOfElement, nGrowSize, nInitAllocationCount);
}

CUtlMemoryBase::CUtlMemoryBase(void* pMemory, int nSizeOfElement, int nNumElements)
    : m_unSizeOfElements(nSizeOfElement > 0 ? (unsigned)nSizeOfElement : 0), m_pMemory(pMemory),
      m_nAllocationCount(nNumElements > 0 ? nNumElements : 0), m_nGrowSize(-1)
{
    QAssertAt(m_unSizeOfElements > 0, UTLMEMORY_SOURCE, __LINE__);
}

CUtlMemoryBase::~CUtlMemoryBase()
{
    Purge();
}

CUtlMemoryBase::CUtlMemoryBase(CUtlMemoryBase&& other) noexcept
    : m_unSizeOfElements(other.m_unSizeOfElements), m_pMemory(other.m_pMemory),
      m_nAllocationCount(other.m_nAllocationCount), m_nGrowSize(other.m_nGrowSize)
{
    other.m_pMemory = nullptr;
    other.m_nAllocationCount = 0;
    other.m_nGrowSize = 0;
}

CUtlMemoryBase& CUtlMemoryBase::operator=(CUtlMemoryBase&& other) noexcept
{
    if (this != &other)
    {
        Purge();
        m_unSizeOfElements = other.m_unSizeOfElements;
        m_pMemory = other.m_pMemory;
        m_nAllocationCount = other.m_nAllocationCount;
        m_nGrowSize = other.m_nGrowSize;
        other.m_pMemory = nullptr;
        other.m_nAllocationCount = 0;
        other.m_nGrowSize = 0;
    }
    return *this;
}

void CUtlMemoryBase::Init(int nSizeOfElement, int nGrowSize, int nInitAllocationCount)
{
    Purge();
    m_unSizeOfElements = nSizeOfElement > 0 ? (unsigned)nSizeOfElement : 0;
    QAssertAt(m_unSizeOfElements > 0, UTLMEMORY_SOURCE, __LINE__);
    QAssertAt(nGrowSize >= 0, UTLMEMORY_SOURCE, __LINE__);
    // A negative grow size would mark our own block as someone else's.
    m_nGrowSize = nGrowSize > 0 ? nGrowSize : 0;
    m_pMemory = nullptr;
    m_nAllocationCount = 0;
    if (nInitAllocationCount > 0) ReallocTo(nInitAllocationCount, nullptr, nullptr);
}

void CUtlMemoryBase::SetExternalBuffer(void* pMemory, int nNumElements)
{
    Purge();
    m_pMemory = pMemory;
    m_nAllocationCount = nNumElements > 0 ? nNumElements : 0;
    m_nGrowSize = -1;
}

void CUtlMemoryBase::ReallocTo(int64_t nNewAllocationCount, RelocateFunc_t pfnRelocate,
                               void* pContext)
{
    size_t cubNew = BytesFor(nNewAllocationCount, m_unSizeOfElements);
    void* pNew;
    if (!m_pMemory)
    {
        pNew = MemAlloc_AllocTagged(cubNew, UTLMEMORY_SOURCE, __LINE__);
    }
    else if (!pfnRelocate)
    {
        pNew = MemAlloc_ReallocTagged(m_pMemory, cubNew, UTLMEMORY_SOURCE, __LINE__);
    }
    else
    {
        pNew = MemAlloc_AllocTagged(cubNew, UTLMEMORY_SOURCE, __LINE__);
        if (pNew)
        {
            pfnRelocate(pNew, m_pMemory, pContext);
            MemAlloc_FreeTagged(m_pMemory, UTLMEMORY_SOURCE, __LINE__);
        }
    }
    // On failure the old block (still valid) and its count stay.
    if (!pNew) return;
    m_pMemory = pNew;
    m_nAllocationCount = (int)nNewAllocationCount;
}

void CUtlMemoryBase::Grow(int num, RelocateFunc_t pfnRelocate, void* pContext)
{
    if (!QAssertAt(num > 0, UTLMEMORY_SOURCE, __LINE__)) return;
    if (IsExternallyAllocated())
    {
        // Someone else's memory can never grow.
        AssertFailed(UTLMEMORY_SOURCE, __LINE__, "0");
        return;
    }
    int64_t nWanted = (int64_t)m_nAllocationCount + num;
    if (nWanted > INT_MAX)
    {
        ReallocTo(nWanted, pfnRelocate, pContext);
        return;
    }
    int nNewCount = UtlMemory_CalcNewAllocationCount(m_nAllocationCount, m_nGrowSize, (int)nWanted,
                                                     (int)m_unSizeOfElements);
    ReallocTo(nNewCount, pfnRelocate, pContext);
}

void CUtlMemoryBase::EnsureCapacity(int num, RelocateFunc_t pfnRelocate, void* pContext)
{
    if (m_nAllocationCount >= num) return;
    if (IsExternallyAllocated())
    {
        AssertFailed(UTLMEMORY_SOURCE, __LINE__, "0");
        return;
    }
    ReallocTo(num, pfnRelocate, pContext);
}

void CUtlMemoryBase::ConvertToGrowableMemory(int nGrowSize, RelocateFunc_t pfnRelocate,
                                             void* pContext)
{
    if (!IsExternallyAllocated()) return;
    m_nGrowSize = nGrowSize > 0 ? nGrowSize : 0;
    if (m_nAllocationCount <= 0)
    {
        m_pMemory = nullptr;
        m_nAllocationCount = 0;
        return;
    }
    size_t cub = BytesFor(m_nAllocationCount, m_unSizeOfElements);
    void* pNew = MemAlloc_AllocTagged(cub, UTLMEMORY_SOURCE, __LINE__);
    if (!pNew)
    {
        m_nGrowSize = -1;
        return;
    }
    if (pfnRelocate)
        pfnRelocate(pNew, m_pMemory, pContext);
    else if (m_pMemory)
        memcpy(pNew, m_pMemory, cub);
    m_pMemory = pNew;
}

void CUtlMemoryBase::SetGrowSize(int nGrowSize)
{
    if (IsExternallyAllocated()) return;
    QAssertAt(nGrowSize >= 0, UTLMEMORY_SOURCE, __LINE__);
    m_nGrowSize = nGrowSize > 0 ? nGrowSize : 0;
}

void CUtlMemoryBase::Purge()
{
    if (IsExternallyAllocated()) return;
    if (m_pMemory) MemAlloc_FreeTagged(m_pMemory, UTLMEMORY_SOURCE, __LINE__);
    m_pMemory = nullptr;
    m_nAllocationCount = 0;
}

void CUtlMemoryBase::Swap(CUtlMemoryBase& other)
{
    unsigned unSize = m_unSizeOfElements;
    m_unSizeOfElements = other.m_unSizeOfElements;
    other.m_unSizeOfElements = unSize;
    void* pMemory = m_pMemory;
    m_pMemory = other.m_pMemory;
    other.m_pMemory = pMemory;
    int n = m_nAllocationCount;
    m_nAllocationCount = other.m_nAllocationCount;
    other.m_nAllocationCount = n;
    n = m_nGrowSize;
    m_nGrowSize = other.m_nGrowSize;
    other.m_nGrowSize = n;
}
