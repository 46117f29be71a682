// Fixed-size block pool.
#include "trestle/mempool.h"

#include "plinth/dbg.h"
#include "plinth/memalloc.h"

#include <cstring>

#define MEMPOOL_SOURCE "..\\trestle\\mempool"

namespace
{
// Headers and free-list links are read and written bytewise: on 32-bit builds
// blocks sit at (block size + 4) strides and need not be aligned.
inline uint32_t ReadHeader(const char* pBlock)
{
    uint32_t value;
    std::memcpy(&value, pBlock - 4, sizeof(value));
    return value;
}

inline void WriteHeader(char* pBlock, uint32_t value)
{
    std::memcpy(pBlock - 4, &value, sizeof(value));
}

inline void* ReadLink(const char* pBlock)
{
    void* pNext;
    std::memcpy(&pNext, pBlock, sizeof(pNext));
    return pNext;
}

inline void WriteLink(char* pBlock, void* pNext)
{
    std::memcpy(pBlock, &pNext, sizeof(pNext));
}
} // namespace

CMemoryPool::CMemoryPool(int nBlockSize, int nBlocksPerBlob, int nGrowMode)
    : m_nBlockSize(nBlockSize < 4 ? 4 : nBlockSize), m_nBlocksPerBlob(nBlocksPerBlob),
      m_nGrowMode(nGrowMode), m_pHeadOfFreeList(nullptr), m_BlocksAllocated(0), m_PeakAlloc(0),
      m_NumBlobs(0), m_TotalBlocks(0)
{
    m_BlobHead.m_pNext = m_BlobHead.m_pPrev = &m_BlobHead;
    m_BlobHead.m_NumBytes = 0;
    if (m_nGrowMode == GROW_NONE) AddNewBlob();
}

int CMemoryPool::BlockStride() const
{
    if (sizeof(void*) == 4) return m_nBlockSize + 4;
    int nPayload = m_nBlockSize < (int)sizeof(void*) ? (int)sizeof(void*) : m_nBlockSize;
    int nAlign = (int)sizeof(void*);
    return (nPayload + 4 + nAlign - 1) / nAlign * nAlign;
}

size_t CMemoryPool::FirstBlockOffset()
{
    // 32-bit: 12-byte blob header, 4-byte block header, first block at 16.
    size_t nAlign = sizeof(void*);
    return (sizeof(CBlob) + 4 + nAlign - 1) / nAlign * nAlign;
}

void CMemoryPool::AddNewBlob()
{
    if (m_nGrowMode == GROW_NONE && m_NumBlobs != 0)
    {
        AssertMsgFailed(false, MEMPOOL_SOURCE, __LINE__, "%s",
                        "CMemoryPool::AddNewBlob: mode == GROW_NONE");
        return;
    }

    int nBlocks = m_nBlocksPerBlob;
    if (m_nGrowMode == GROW_INCREASING) nBlocks = m_nBlocksPerBlob * (m_NumBlobs + 1);
    if (nBlocks <= 0) return;

    size_t nStride = (size_t)BlockStride();
    size_t nAreaOffset = FirstBlockOffset() - 4;
    size_t nBytes = nAreaOffset + (size_t)nBlocks * nStride;

    CBlob* pBlob;
    if (m_nGrowMode == GROW_FIXED_QUIET)
    {
        pBlob = (CBlob*)MemAlloc_AllocQuietTagged(nBytes, MEMPOOL_SOURCE, __LINE__);
        if (!pBlob) return;
    }
    else
    {
        pBlob = (CBlob*)MemAlloc_AllocTagged(nBytes, MEMPOOL_SOURCE, __LINE__);
        if (!QAssertFatalAt(pBlob, MEMPOOL_SOURCE, __LINE__)) return;
    }

    pBlob->m_NumBytes = (int)((size_t)nBlocks * nStride);
    pBlob->m_pPrev = &m_BlobHead;
    pBlob->m_pNext = m_BlobHead.m_pNext;
    m_BlobHead.m_pNext->m_pPrev = pBlob;
    m_BlobHead.m_pNext = pBlob;

    char* pBlock = (char*)pBlob + FirstBlockOffset();
    m_pHeadOfFreeList = pBlock;
    for (int i = 0; i < nBlocks; ++i)
    {
        WriteHeader(pBlock, k_nMemPoolMagic_Free);
        char* pNext = (i + 1 < nBlocks) ? pBlock + nStride : nullptr;
        WriteLink(pBlock, pNext);
        pBlock += nStride;
    }

    m_TotalBlocks += nBlocks;
    ++m_NumBlobs;
}

void* CMemoryPool::Alloc(unsigned int nSize)
{
    if (nSize > (unsigned int)m_nBlockSize) return nullptr;

    if (!m_pHeadOfFreeList)
    {
        // A fixed pool never grows on demand, also not after FreeAll released
        // its one blob: it stays empty (null, no message) until its owner
        // calls AddNewBlob, which a pool without blobs accepts once.
        if (m_nGrowMode == GROW_NONE) return nullptr;
        AddNewBlob();
        if (!m_pHeadOfFreeList)
        {
            if (m_nGrowMode != GROW_FIXED_QUIET)
                AssertMsgFailed(false, MEMPOOL_SOURCE, __LINE__, "%s",
                                "CMemoryPool::Alloc: ran out of memory");
            return nullptr;
        }
    }

    ++m_BlocksAllocated;
    if (m_BlocksAllocated > m_PeakAlloc) m_PeakAlloc = m_BlocksAllocated;

    char* pReturnBlock = (char*)m_pHeadOfFreeList;
    if (ReadHeader(pReturnBlock) != k_nMemPoolMagic_Free)
        AssertFailed(MEMPOOL_SOURCE, __LINE__,
                     "k_nMemPoolMagic_Free == *(( (int *) returnBlock) - 1)");
    WriteHeader(pReturnBlock, MemPoolMagicInUse);

    m_pHeadOfFreeList = ReadLink(pReturnBlock);
    return pReturnBlock;
}

void CMemoryPool::FreeAll()
{
    CBlob* pBlob = m_BlobHead.m_pNext;
    while (pBlob != &m_BlobHead)
    {
        CBlob* pNext = pBlob->m_pNext;
        MemAlloc_FreeTagged(pBlob, MEMPOOL_SOURCE, __LINE__);
        pBlob = pNext;
    }
    m_BlobHead.m_pNext = m_BlobHead.m_pPrev = &m_BlobHead;
    m_NumBlobs = 0;
    m_BlocksAllocated = 0;
    m_pHeadOfFreeList = nullptr;
    m_TotalBlocks = 0;
    m_PeakAlloc = 0;
}
