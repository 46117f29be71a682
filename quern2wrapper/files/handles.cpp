// The handle space shared by pack files and disk streams, and the path
// normalisation done before a pack lookup.
#include "quern2wrapper/files/files.h"

#include "plinth/memalloc.h"
#include "quern2wrapper/include/quern.h"
#include "trestle/strtools.h"

#include <new>

namespace
{
bool LessStream(FILE* const& a, FILE* const& b)
{
    return a < b;
}

bool LessPackEntry(PackEntryHandle* const& a, PackEntryHandle* const& b)
{
    return a < b;
}

// Whether index 0 holds the null entry that keeps streams off the failure
// value; guarded by the file-layer lock.
bool g_bDiskZeroReserved;

// Caller holds the file-layer lock. The null entry goes in on first use, so
// the first stream gets index 1 whether or not start-up ran before it.
DiskHandleTable& GetDiskTable()
{
    static DiskHandleTable s_table(&LessStream);
    if (!g_bDiskZeroReserved) g_bDiskZeroReserved = s_table.Insert(nullptr) == 0;
    return s_table;
}

PackHandleTable& GetPackTable()
{
    static PackHandleTable s_table(&LessPackEntry);
    return s_table;
}

// Pack handles never have bit 31; the text-mode bit is not part of the index.
constexpr uint32_t PACK_INDEX_MASK = 0x9FFFFFFFu;

PackEntryHandle* NewPackEntry(const PackEntryHandle& entry)
{
    void* pMem = MemAlloc_AllocTagged(sizeof(PackEntryHandle), QUERN_FILES_SOURCE, __LINE__);
    return pMem ? new (pMem) PackEntryHandle(entry) : nullptr;
}

void DeletePackEntry(PackEntryHandle* pEntry)
{
    if (pEntry) MemAlloc_FreeTagged(pEntry, QUERN_FILES_SOURCE, __LINE__);
}
} // namespace

CThreadMutex& FileLayerLock()
{
    static CThreadMutex s_lock;
    return s_lock;
}

SpinRWLock& MountLock()
{
    static SpinRWLock s_lock;
    return s_lock;
}

void NormalizeFilePath(const char* pszPath, char* pszOut, int nOutSize)
{
    if (!pszOut || nOutSize <= 0) return;
    if (!pszPath)
    {
        pszOut[0] = '\0';
        return;
    }
    if (pszPath[0] == '.' && (pszPath[1] == '\\' || pszPath[1] == '/')) pszPath += 2;

    char szPath[QUERN_FILE_PATH_SIZE];
    V_BoundedCopy(szPath, pszPath, sizeof(szPath));
    V_CollapseSlashPairs(szPath);
    V_RemoveDotSlashes(szPath, '\\');

    const char* pszResult = szPath;
    int nWorkingDirLen = GetWorkingDirectoryLength();
    if (nWorkingDirLen > 0 &&
        V_CompareNoCaseCount(szPath, GetWorkingDirectory(), nWorkingDirLen) == 0)
        pszResult += nWorkingDirLen;
    V_BoundedCopy(pszOut, pszResult, nOutSize);
}

int FindInMounts(const char* pszPath, int nFrom, PackEntryHandle* pEntry)
{
    char szPath[QUERN_FILE_PATH_SIZE];
    NormalizeFilePath(pszPath, szPath, sizeof(szPath));
    MountTable& mounts = GetMountTable();
    for (int i = nFrom < 0 ? 0 : nFrom; i < mounts.Count(); ++i)
    {
        PackEntryHandle entry = mounts[i]->FindEntry(szPath);
        if (!entry.IsValid()) continue;
        *pEntry = entry;
        return i;
    }
    return -1;
}

uint32_t PackOpen(const char* pszPath, const char* pszMode, uint32_t* pSize)
{
    bool bText = pszMode && (V_CompareNoCaseCount(pszMode, "r", 0x7FFFFFFF) == 0 ||
                             V_CompareNoCaseCount(pszMode, "rt", 0x7FFFFFFF) == 0);

    PackEntryHandle entry;
    if (FindInMounts(pszPath, 0, &entry) >= 0)
    {
        // A size past the signed 32-bit range cannot be sought or told
        // through the API, and the pack store reads nothing of it: the file
        // opens as empty instead of with a negative size.
        if (entry.m_nSize < 0) entry.m_nSize = 0;
        PackEntryHandle* pEntry = NewPackEntry(entry);
        if (!pEntry) return 0;
        int index;
        {
            CAutoLockT<CThreadMutex> lock(FileLayerLock());
            index = GetPackTable().Insert(pEntry);
        }
        if (index < 0)
        {
            DeletePackEntry(pEntry);
            return 0;
        }
        if (pSize) *pSize = (uint32_t)entry.m_nSize;
        uint32_t hFile = (uint32_t)index | BND_FILE_HANDLE_FLAG;
        if (bText) hFile |= BND_TEXT_MODE_FLAG;
        return hFile;
    }
    return 0;
}

uint32_t DiskRegister(FILE* pStream)
{
    CAutoLockT<CThreadMutex> lock(FileLayerLock());
    DiskHandleTable& table = GetDiskTable();
    // Out of memory: the stream cannot be named, so it is no handle at all.
    if (!g_bDiskZeroReserved) return 0;
    int index = table.Insert(pStream);
    return index < 0 ? 0 : (uint32_t)index;
}

bool DiskReserveZero()
{
    CAutoLockT<CThreadMutex> lock(FileLayerLock());
    GetDiskTable();
    return g_bDiskZeroReserved;
}

FILE* DiskLookup(uint32_t hFile)
{
    if (hFile == 0 || (hFile & BND_FILE_HANDLE_FLAG)) return nullptr;
    CAutoLockT<CThreadMutex> lock(FileLayerLock());
    DiskHandleTable& table = GetDiskTable();
    int index = (int)hFile;
    return table.IsValidIndex(index) ? table.Element(index) : nullptr;
}

FILE* DiskCloseLookup(uint32_t hFile)
{
    if (hFile == 0 || (hFile & BND_FILE_HANDLE_FLAG)) return nullptr;
    CAutoLockT<CThreadMutex> lock(FileLayerLock());
    DiskHandleTable& table = GetDiskTable();
    int index = (int)hFile;
    if (!table.IsValidIndex(index)) return nullptr;
    FILE* pStream = table.Element(index);
    table.RemoveAt(index);
    return pStream;
}

PackEntryHandle* PackLookup(uint32_t hFile)
{
    if (!(hFile & BND_FILE_HANDLE_FLAG) || (hFile & 0x80000000u)) return nullptr;
    CAutoLockT<CThreadMutex> lock(FileLayerLock());
    PackHandleTable& table = GetPackTable();
    int index = (int)((hFile & PACK_INDEX_MASK) & ~BND_FILE_HANDLE_FLAG);
    return table.IsValidIndex(index) ? table.Element(index) : nullptr;
}

bool PackClose(uint32_t hFile)
{
    if (!(hFile & BND_FILE_HANDLE_FLAG)) return false;
    PackEntryHandle* pEntry = nullptr;
    {
        CAutoLockT<CThreadMutex> lock(FileLayerLock());
        PackHandleTable& table = GetPackTable();
        int index = (int)((hFile & PACK_INDEX_MASK) & ~BND_FILE_HANDLE_FLAG);
        if (!(hFile & 0x80000000u) && table.IsValidIndex(index))
        {
            pEntry = table.Element(index);
            table.RemoveAt(index);
        }
    }
    if (!pEntry) return false;
    DeletePackEntry(pEntry);
    return true;
}

void PackCloseAll()
{
    // Readers use entries outside the file-layer lock, under the mount lock's
    // read side: the caller's write side is what keeps them off these.
    CAutoLockT<CThreadMutex> lock(FileLayerLock());
    PackHandleTable& table = GetPackTable();
    for (int i = 0; i < table.MaxElement(); ++i)
    {
        if (table.IsValidIndex(i)) DeletePackEntry(table.Element(i));
    }
    table.Purge();
}
