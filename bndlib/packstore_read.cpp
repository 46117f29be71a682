// PackStore: reading entries through the archive slots and the block cache.
//
// Lock order: the slot-table lock (only inside OpenArchive), then one archive
// slot's lock for the whole positioning and reading of that archive, inside
// it the block cache's reader/writer lock.
#include "bndlib/packstore_internal.h"

#include "plinth/dbg.h"
#include "trestle/strtools.h"

#include <algorithm>
#include <cstring>

namespace
{
// Line of the short-read assertion, as tools that match on it expect.
const int kShortReadLine = 824;
// Block keys are signed 32-bit; data beyond that is read directly.
const int64_t kMaxCachedOffset = 0x7FFFFFFF;
} // namespace

//-----------------------------------------------------------------------------
// Archive slots
//-----------------------------------------------------------------------------

PackArchiveSlot* PackStore::OpenArchive(int nArchiveIndex)
{
    if (nArchiveIndex < 0) return nullptr;
    CAutoLockT<CThreadMutex> tableLock(*m_pSlotTableLock);
    PackArchiveSlot* pSlot = &m_pSlots[nArchiveIndex & BND_ARCHIVE_SLOT_MASK];
    if (pSlot->m_nArchiveIndex == nArchiveIndex) return pSlot;
    if (pSlot->m_nArchiveIndex == -1)
    {
        char szName[BND_MAX_BASE_PATH + 16];
        BuildArchiveFileName(nArchiveIndex, szName, sizeof(szName));
        PlatFileHandle hFile = PLAT_INVALID_FILE;
        uint32_t err = OpenFileHandle(szName, PLAT_FILE_ACCESS_READ,
                                      PLAT_FILE_SHARE_READ | PLAT_FILE_SHARE_WRITE,
                                      PLAT_FILE_OPEN_EXISTING, 0, &hFile);
        // Readers look at the handle under the slot's own lock.
        CAutoLockT<CThreadMutex> slotLock(pSlot->m_lock);
        pSlot->m_nPosition = 0;
        if (err == 0)
        {
            pSlot->m_hFile = hFile;
            pSlot->m_nArchiveIndex = nArchiveIndex;
        }
        return pSlot;
    }
    SpewError("Exceeded limit of number of bnd files supported (%d)!\n", BND_ARCHIVE_SLOT_COUNT);
    // Only reached with a handler that does not end the process: never hand
    // out the slot of the other archive.
    return nullptr;
}

void PackStore::CloseArchives()
{
    for (int i = 0; i < BND_ARCHIVE_SLOT_COUNT; ++i)
    {
        PackArchiveSlot& slot = m_pSlots[i];
        if (slot.m_nArchiveIndex != -1 && slot.m_hFile != PLAT_INVALID_FILE)
            CloseFileHandle(slot.m_hFile);
        slot.m_hFile = PLAT_INVALID_FILE;
        slot.m_nArchiveIndex = -1;
    }
}

void PackStore::SetCacheCapacity(int nSlots)
{
    m_pCache->SetCapacity(nSlots);
}

int PackStore::GetCacheCapacity() const
{
    return m_pCache->GetCapacity();
}

int PackStore::GetCacheBlockLoads() const
{
    return m_pCache->GetBlockLoads();
}

int PackStore::ReadEntry(PackEntryHandle& handle, void* pDest, int nCount)
{
    if (!pDest || handle.m_nArchiveIndex < 0 || handle.m_nPosition < 0) return 0;
    int64_t n = std::min<int64_t>(nCount, (int64_t)handle.m_nSize - handle.m_nPosition);
    if (n <= 0) return 0;

    uint8_t* pOut = (uint8_t*)pDest;
    int64_t k = 0;
    if (handle.m_nPosition < handle.m_nPreloadSize)
    {
        k = std::min<int64_t>(n, handle.m_nPreloadSize - handle.m_nPosition);
        if (handle.m_pPreloadData)
            memcpy(pOut, handle.m_pPreloadData + handle.m_nPosition, (size_t)k);
        else
            memset(pOut, 0, (size_t)k);
        pOut += k;
        handle.m_nPosition += (int32_t)k;
        n -= k;
        if (n <= 0) return (int)k;
    }

    PackArchiveSlot* pSlot = OpenArchive(handle.m_nArchiveIndex);
    // The stored offset is unsigned on disk; archives past 2 GB still read right.
    int64_t nFileOffset =
        (int64_t)(uint32_t)handle.m_nOffset + handle.m_nPosition - handle.m_nPreloadSize;
    if (handle.m_nArchiveIndex == BND_DIRECTORY_ARCHIVE_INDEX) nFileOffset += GetEmbeddedDataBase();

    int64_t got = 0;
    if (pSlot)
    {
        CAutoLockT<CThreadMutex> slotLock(pSlot->m_lock);
        if (pSlot->m_hFile != PLAT_INVALID_FILE)
        {
            if (nFileOffset + n <= kMaxCachedOffset &&
                m_pCache->Read(pSlot, nFileOffset, pOut, (int)n))
            {
                got = n;
            }
            else
            {
                uint32_t cubRead = 0;
                ReadFileHandleAt(pSlot->m_hFile, pOut, (uint32_t)n, (uint64_t)nFileOffset,
                                 &cubRead);
                got = cubRead;
                pSlot->m_nPosition = nFileOffset + got;
            }
        }
    }
    handle.m_nPosition += (int32_t)got;
    if (got != n) AssertFailed(PACKSTORE_SOURCE, kShortReadLine, "nRead == nNumBytes");
    return (int)(k + got);
}

//-----------------------------------------------------------------------------
// Block cache
//-----------------------------------------------------------------------------

PackBlockCache::PackBlockCache()
    : m_nodes(PackBlockNodeLess), m_nCapacity(BND_CACHE_MAX_SLOTS), m_nSlotsUsed(0),
      m_nBlockLoads(0)
{
    for (int i = 0; i < BND_CACHE_MAX_SLOTS; ++i)
    {
        m_aSlotNode[i] = -1;
        m_aSlotTime[i].store(0);
    }
}

PackBlockCache::~PackBlockCache()
{
    for (int i = 0; i < m_nSlotsUsed; ++i)
    {
        int nNode = m_aSlotNode[i];
        if (nNode >= 0 && m_nodes.Element(nNode).m_pBuffer)
            MemAlloc_FreeTagged(m_nodes.Element(nNode).m_pBuffer, PACKSTORE_SOURCE, __LINE__);
    }
}

void PackBlockCache::SetCapacity(int nSlots)
{
    CWriteLockT<SpinRWLock> lock(m_lock);
    m_nCapacity = std::max(1, std::min(nSlots, BND_CACHE_MAX_SLOTS));
}

int PackBlockCache::ChooseSlot()
{
    if (m_nSlotsUsed < m_nCapacity) return m_nSlotsUsed;
    // Least recently used; the lowest slot number on ties.
    int nBest = 0;
    uint32_t uBest = m_aSlotTime[0].load();
    for (int i = 1; i < m_nSlotsUsed; ++i)
    {
        uint32_t t = m_aSlotTime[i].load();
        if (t < uBest)
        {
            uBest = t;
            nBest = i;
        }
    }
    return nBest;
}

int PackBlockCache::LoadBlock(PackArchiveSlot* pSlot, int32_t nBlockStart)
{
    int nSlot = ChooseSlot();
    uint8_t* pBuffer = nullptr;
    if (nSlot == m_nSlotsUsed)
        ++m_nSlotsUsed;
    else if (m_aSlotNode[nSlot] >= 0)
    {
        // The old block keeps its node but is read directly from now on.
        PackBlockNode& old = m_nodes.Element(m_aSlotNode[nSlot]);
        pBuffer = old.m_pBuffer;
        old.m_pBuffer = nullptr;
    }
    if (!pBuffer)
        pBuffer =
            (uint8_t*)MemAlloc_AllocQuietTagged(BND_CACHE_BLOCK_SIZE, PACKSTORE_SOURCE, __LINE__);

    uint32_t cubRead = 0;
    if (pBuffer)
    {
        ReadFileHandleAt(pSlot->m_hFile, pBuffer, BND_CACHE_BLOCK_SIZE, (uint64_t)nBlockStart,
                         &cubRead);
        m_nBlockLoads.fetch_add(1);
    }

    PackBlockNode node;
    node.m_nArchiveIndex = pSlot->m_nArchiveIndex;
    node.m_nBlockStart = nBlockStart;
    node.m_pBuffer = pBuffer;
    node.m_nValid = (int32_t)cubRead;
    node.m_nSlot = pBuffer ? nSlot : -1;
    int nNode = m_nodes.Insert(node, false);
    if (pBuffer)
    {
        m_aSlotNode[nSlot] = nNode;
        m_aSlotTime[nSlot].exchange(Plat_MSTime());
    }
    return nNode;
}

bool PackBlockCache::Read(PackArchiveSlot* pSlot, int64_t nFileOffset, uint8_t* pDest, int nCount)
{
    int64_t nAt = nFileOffset;
    int64_t nEnd = nFileOffset + nCount;
    while (nAt < nEnd)
    {
        int32_t nBlockStart = (int32_t)(nAt & 0x7FF00000);
        int64_t nPieceEnd = std::min<int64_t>(nEnd, (int64_t)nBlockStart + BND_CACHE_BLOCK_SIZE);
        PackBlockNode key;
        key.m_nArchiveIndex = pSlot->m_nArchiveIndex;
        key.m_nBlockStart = nBlockStart;

        bool bServed = false;
        m_lock.LockForRead();
        int nNode = m_nodes.Find(key);
        if (nNode >= 0)
        {
            const PackBlockNode& node = m_nodes.Element(nNode);
            if (node.m_pBuffer)
            {
                m_aSlotTime[node.m_nSlot].exchange(Plat_MSTime());
                if ((int64_t)nBlockStart + node.m_nValid >= nPieceEnd)
                {
                    memcpy(pDest + (nAt - nFileOffset), node.m_pBuffer + (nAt - nBlockStart),
                           (size_t)(nPieceEnd - nAt));
                    bServed = true;
                }
            }
            m_lock.UnlockRead();
        }
        else
        {
            m_lock.UnlockRead();
            m_lock.LockForWrite();
            // Another reader may have loaded it in between.
            nNode = m_nodes.Find(key);
            if (nNode < 0) nNode = LoadBlock(pSlot, nBlockStart);
            const PackBlockNode& node = m_nodes.Element(nNode);
            if (node.m_pBuffer && (int64_t)nBlockStart + node.m_nValid >= nPieceEnd)
            {
                memcpy(pDest + (nAt - nFileOffset), node.m_pBuffer + (nAt - nBlockStart),
                       (size_t)(nPieceEnd - nAt));
                bServed = true;
            }
            m_lock.UnlockWrite();
        }
        if (!bServed) return false;
        nAt = nPieceEnd;
    }
    return true;
}
