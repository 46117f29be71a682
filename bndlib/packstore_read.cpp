// PackStore: reading entries through the archive slots and the block cache.
//
// Reads are positioned, so readers of one archive share its handle without a
// lock; the slot-table lock is only taken to open an archive, and the cache's
// window locks only around copying and loading a window.
#include "bndlib/packstore_internal.h"

#include "plinth/dbg.h"
#include "trestle/strtools.h"

#include <algorithm>
#include <cstring>

namespace
{
// Line of the short-read assertion, as tools that match on it expect.
const int kShortReadLine = 824;
// A small read this far past the end of the archive's last read still counts
// as reading on (the gap would be read ahead anyway).
const int64_t kSequentialGap = 64 * 1024;
// Windows start on this boundary below the read that loads them.
const int64_t kWindowAlign = 4096;
} // namespace

//-----------------------------------------------------------------------------
// Archive slots
//-----------------------------------------------------------------------------

PackArchiveSlot* PackStore::OpenArchive(int nArchiveIndex)
{
    if (nArchiveIndex < 0) return nullptr;
    PackArchiveSlot* pSlot = &m_pSlots[nArchiveIndex & BND_ARCHIVE_SLOT_MASK];
    if (pSlot->m_nArchiveIndex.load(std::memory_order_acquire) == nArchiveIndex) return pSlot;
    CAutoLockT<CThreadMutex> tableLock(*m_pSlotTableLock);
    int32_t nHeld = pSlot->m_nArchiveIndex.load(std::memory_order_relaxed);
    if (nHeld == nArchiveIndex) return pSlot;
    if (nHeld == -1)
    {
        char szName[BND_MAX_BASE_PATH + 16];
        BuildArchiveFileName(nArchiveIndex, szName, sizeof(szName));
        PlatFileHandle hFile = PLAT_INVALID_FILE;
        uint32_t err = OpenFileHandle(szName, PLAT_FILE_ACCESS_READ,
                                      PLAT_FILE_SHARE_READ | PLAT_FILE_SHARE_WRITE,
                                      PLAT_FILE_OPEN_EXISTING, 0, &hFile);
        if (err == 0)
        {
            pSlot->m_hFile = hFile;
            pSlot->m_nLastEnd.store(0, std::memory_order_relaxed);
            pSlot->m_nLastCount.store(0, std::memory_order_relaxed);
            pSlot->m_nArchiveIndex.store(nArchiveIndex, std::memory_order_release);
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
        if (slot.m_nArchiveIndex.load() != -1 && slot.m_hFile != PLAT_INVALID_FILE)
            CloseFileHandle(slot.m_hFile);
        slot.m_hFile = PLAT_INVALID_FILE;
        slot.m_nArchiveIndex.store(-1);
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
    // A slot whose archive did not open holds another index (or none).
    if (pSlot && pSlot->m_nArchiveIndex.load(std::memory_order_acquire) == handle.m_nArchiveIndex &&
        pSlot->m_hFile != PLAT_INVALID_FILE)
    {
        PlatFileHandle hFile = pSlot->m_hFile;
        if (m_pCache->Read(pSlot, hFile, nFileOffset, pOut, (int)n))
        {
            got = n;
        }
        else
        {
            uint32_t cubRead = 0;
            ReadFileHandleAt(hFile, pOut, (uint32_t)n, (uint64_t)nFileOffset, &cubRead);
            got = cubRead;
        }
        pSlot->m_nLastEnd.store(nFileOffset + got, std::memory_order_relaxed);
        pSlot->m_nLastCount.store((int32_t)n, std::memory_order_relaxed);
    }
    handle.m_nPosition += (int32_t)got;
    if (got != n) AssertFailed(PACKSTORE_SOURCE, kShortReadLine, "nRead == nNumBytes");
    return (int)(k + got);
}

//-----------------------------------------------------------------------------
// Block cache
//-----------------------------------------------------------------------------

PackBlockCache::PackBlockCache() : m_nCapacity(BND_CACHE_MAX_SLOTS), m_nBlockLoads(0), m_uClock(0)
{
}

PackBlockCache::~PackBlockCache()
{
    for (PackCacheWindow& window : m_windows)
        if (window.m_pBuffer) MemAlloc_FreeTagged(window.m_pBuffer, PACKSTORE_SOURCE, __LINE__);
}

void PackBlockCache::SetCapacity(int nSlots)
{
    m_nCapacity.store(std::max(1, std::min(nSlots, BND_CACHE_MAX_SLOTS)));
}

bool PackBlockCache::Holds(const PackCacheWindow& window, int32_t nArchiveIndex,
                           int64_t nFileOffset, int nCount)
{
    return window.m_nArchiveIndex.load(std::memory_order_relaxed) == nArchiveIndex &&
           nFileOffset >= window.m_nStart.load(std::memory_order_relaxed) &&
           nFileOffset + nCount <= window.m_nEnd.load(std::memory_order_relaxed);
}

bool PackBlockCache::CopyIfHeld(PackCacheWindow& window, int32_t nArchiveIndex, int64_t nFileOffset,
                                uint8_t* pDest, int nCount)
{
    // Caller holds the window's lock (either kind).
    if (!Holds(window, nArchiveIndex, nFileOffset, nCount)) return false;
    memcpy(pDest,
           window.m_pBuffer + (nFileOffset - window.m_nStart.load(std::memory_order_relaxed)),
           (size_t)nCount);
    window.m_uLastUse.store(m_uClock.fetch_add(1, std::memory_order_relaxed) + 1,
                            std::memory_order_relaxed);
    return true;
}

bool PackBlockCache::Read(PackArchiveSlot* pSlot, PlatFileHandle hFile, int64_t nFileOffset,
                          uint8_t* pDest, int nCount)
{
    int32_t nArchiveIndex = pSlot->m_nArchiveIndex.load(std::memory_order_relaxed);
    int nCapacity = m_nCapacity.load(std::memory_order_relaxed);
    for (int i = 0; i < nCapacity; ++i)
    {
        PackCacheWindow& window = m_windows[i];
        if (!Holds(window, nArchiveIndex, nFileOffset, nCount)) continue;
        window.m_lock.LockForRead();
        bool bHit = CopyIfHeld(window, nArchiveIndex, nFileOffset, pDest, nCount);
        window.m_lock.UnlockRead();
        if (bHit) return true;
    }

    // Large reads go straight to the caller: one copy, no window evicted.
    // So do small reads that start no run: a lone small file is not worth a
    // window.
    int64_t nLastEnd = pSlot->m_nLastEnd.load(std::memory_order_relaxed);
    int32_t nLastCount = pSlot->m_nLastCount.load(std::memory_order_relaxed);
    if (nCount >= kPackDirectRead || nLastCount <= 0 || nLastCount >= kPackDirectRead ||
        nFileOffset < nLastEnd || nFileOffset - nLastEnd > kSequentialGap)
    {
        pSlot->m_nReadAhead.store(kPackMinReadAhead, std::memory_order_relaxed);
        return false;
    }
    int32_t nReadAhead = pSlot->m_nReadAhead.load(std::memory_order_relaxed);
    pSlot->m_nReadAhead.store(std::min(2 * nReadAhead, kPackMaxReadAhead),
                              std::memory_order_relaxed);

    // Least recently used window; windows past the capacity stay idle.
    int nVictim = 0;
    uint32_t uOldest = m_windows[0].m_uLastUse.load(std::memory_order_relaxed);
    for (int i = 1; i < nCapacity; ++i)
    {
        uint32_t u = m_windows[i].m_uLastUse.load(std::memory_order_relaxed);
        if (u < uOldest)
        {
            uOldest = u;
            nVictim = i;
        }
    }
    PackCacheWindow& window = m_windows[nVictim];
    window.m_lock.LockForWrite();
    // Another reader may have loaded just this in between.
    bool bServed = CopyIfHeld(window, nArchiveIndex, nFileOffset, pDest, nCount);
    if (!bServed)
    {
        if (!window.m_pBuffer)
            window.m_pBuffer =
                (uint8_t*)MemAlloc_AllocQuietTagged(kPackMaxReadAhead, PACKSTORE_SOURCE, __LINE__);
        if (window.m_pBuffer)
        {
            // Nobody may take the window for its old bytes while it fills.
            window.m_nArchiveIndex.store(-1, std::memory_order_relaxed);
            int64_t nStart = nFileOffset & ~(kWindowAlign - 1);
            uint32_t cubRead = 0;
            uint32_t cubWant = (uint32_t)std::max<int64_t>(
                std::min<int64_t>(nReadAhead, kPackMaxReadAhead), nFileOffset + nCount - nStart);
            ReadFileHandleAt(hFile, window.m_pBuffer, cubWant, (uint64_t)nStart, &cubRead);
            m_nBlockLoads.fetch_add(1);
            window.m_nArchiveIndex.store(nArchiveIndex, std::memory_order_relaxed);
            window.m_nStart.store(nStart, std::memory_order_relaxed);
            window.m_nEnd.store(nStart + cubRead, std::memory_order_relaxed);
            // Short of the request only where the archive is: read directly.
            bServed = CopyIfHeld(window, nArchiveIndex, nFileOffset, pDest, nCount);
        }
    }
    window.m_lock.UnlockWrite();
    return bServed;
}
