// PackStore: loading the directory file, the lookup index and FindEntry.
#include "bndlib/packstore_internal.h"

#include "plinth/dbg.h"
#include "trestle/strtools.h"

#include <cstdarg>
#include <cstring>

namespace
{
// Trees larger than this are refused rather than allocated (headerless files
// take their whole size as the tree).
const uint32_t kMaxTreeSize = 0x7FFFFFF0u;

inline uint32_t HashName(const char* psz, size_t len)
{
    return V_HashMurmur3(psz, (int)len, BND_HASH_SEED, false);
}

// Removes every "/../" (searched from the second character) with the
// component before it, keeping that component's leading '/'.
void RemoveParentSegments(char* pszDir)
{
    for (;;)
    {
        char* pDots = pszDir[0] ? strstr(pszDir + 1, "/../") : nullptr;
        if (!pDots) return;
        char* pFrom = pDots;
        while (pFrom > pszDir && pFrom[-1] != '/')
            --pFrom;
        memmove(pFrom, pDots + 4, strlen(pDots + 4) + 1);
    }
}

inline char LowerSlash(char c)
{
    return c == '\\' ? '/' : (c >= 'A' && c <= 'Z') ? (char)(c - 'A' + 'a') : c;
}

inline char Lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? (char)(c - 'A' + 'a') : c;
}

// Splits a looked-up path in one pass, with the results of V_CopyDirectoryPart,
// V_FileNamePart and V_CopyFileExtension into 260-byte buffers: the directory
// up to and including the last separator before the final character (" " when
// there is none), the name after the last separator cut at its last '.', and
// the extension after that '.' (" " when the name has none). The directory is
// lower-cased with '/' separators, name and extension lower-cased. Lookups run
// this for every open, so it avoids the separate scans. Returns the directory
// length.
size_t SplitLookupPath(const char* pszPath, char* pszDir, char* pszName, char* pszExt)
{
    const size_t kMax = 259;
    size_t len = strlen(pszPath);
    size_t nLastSlash = (size_t)-1; // any position
    size_t nDirSlash = (size_t)-1;  // before the final character
    for (size_t i = 0; i < len; ++i)
    {
        if (pszPath[i] == '/' || pszPath[i] == '\\')
        {
            nLastSlash = i;
            if (i + 1 < len) nDirSlash = i;
        }
    }
    size_t nDirLen = 0;
    if (nDirSlash != (size_t)-1)
    {
        nDirLen = nDirSlash + 1 < kMax ? nDirSlash + 1 : kMax;
        for (size_t i = 0; i < nDirLen; ++i)
            pszDir[i] = LowerSlash(pszPath[i]);
    }
    else
        pszDir[nDirLen++] = ' ';
    pszDir[nDirLen] = 0;

    const char* pszFile = nLastSlash != (size_t)-1 ? pszPath + nLastSlash + 1 : pszPath;
    // The name is cut at the last '.' of the whole file name before it is
    // bounded: a name of the longest storable length still has its dot
    // beyond the 259th character.
    const char* pszLastDot = strrchr(pszFile, '.');
    size_t nNameLen =
        pszLastDot ? (size_t)(pszLastDot - pszFile) : len - (size_t)(pszFile - pszPath);
    if (nNameLen > kMax) nNameLen = kMax;
    for (size_t i = 0; i < nNameLen; ++i)
        pszName[i] = Lower(pszFile[i]);
    pszName[nNameLen] = 0;
    if (!pszLastDot)
    {
        pszExt[0] = ' ';
        pszExt[1] = 0;
        return nDirLen;
    }
    size_t nExt = 0;
    for (const char* p = pszLastDot + 1; *p && nExt < kMax; ++p)
        pszExt[nExt++] = Lower(*p);
    pszExt[nExt] = 0;
    return nDirLen;
}

// Fills one directory's name table on its first lookup. Lookups run on any
// thread without locks, so the fill is serialised and published with a
// release store; each directory owns its own slice of the table.
void EnsureNameTable(PackStoreIndex& index, const uint8_t* pBase, const uint8_t* pEnd, int nDir)
{
    uint8_t* pBuilt = index.m_dirTableBuilt.Base() + nDir;
    if (__atomic_load_n(pBuilt, __ATOMIC_ACQUIRE)) return;
    CAutoLockT<CThreadMutex> lock(index.m_buildLock);
    if (__atomic_load_n(pBuilt, __ATOMIC_ACQUIRE)) return;
    const PackDirNode& dir = index.m_dirNodes.Base()[nDir];
    uint32_t* pTable = index.m_fileTable.Base() + dir.m_uTableStart;
    memset(pTable, 0xFF, ((size_t)dir.m_uTableMask + 1) * sizeof(uint32_t));
    // Occupants' hashes, so collisions rarely need a strcmp.
    CUtlVector<uint32_t> slotHash;
    slotHash.SetCount((int)dir.m_uTableMask + 1);
    uint32_t* pSlotHash = slotHash.Base();
    const uint8_t* p = pBase + dir.m_uFiles;
    for (uint32_t i = 0; i < dir.m_uFileCount; ++i)
    {
        ptrdiff_t nName = PackParseString(p, pEnd);
        PackRecordView record;
        const uint8_t* pNext = nName > 0 ? PackParseRecord(p + nName + 1, pEnd, &record) : nullptr;
        if (!pNext) break; // cannot happen: the tree was checked at load
        uint32_t uName = (uint32_t)(p - pBase);
        uint32_t uHash = HashName((const char*)p, (size_t)nName);
        uint32_t slot = uHash & dir.m_uTableMask;
        for (;;)
        {
            uint32_t uHave = pTable[slot];
            if (uHave == PACK_INDEX_EMPTY)
            {
                pTable[slot] = uName;
                pSlotHash[slot] = uHash;
                break;
            }
            // The first occurrence of a name in the list wins.
            if (pSlotHash[slot] == uHash && strcmp((const char*)pBase + uHave, (const char*)p) == 0)
                break;
            slot = (slot + 1) & dir.m_uTableMask;
        }
        p = pNext;
    }
    __atomic_store_n(pBuilt, (uint8_t)1, __ATOMIC_RELEASE);
}

// Smallest power of two that keeps the table at most three quarters full
// (and always leaves a free slot to end a probe).
uint32_t TableSizeFor(uint32_t nCount)
{
    uint32_t nSize = 2;
    while (nSize / 4 * 3 < nCount || nSize <= nCount)
        nSize *= 2;
    return nSize;
}
} // namespace

PackStore::PackStore()
    : m_header(), m_nHeaderSize(0), m_uTreeSize(1), m_pTree(m_emptyTree), m_nEntryCount(0),
      m_bDamaged(false), m_pIndex(nullptr), m_pDirList(nullptr), m_pSlots(nullptr),
      m_pSlotTableLock(nullptr), m_pCache(nullptr)
{
    m_szBasePath[0] = 0;
    m_szAbsolutePath[0] = 0;
    m_szDamage[0] = 0;
    m_emptyTree[0] = 0;
    m_pIndex = PackNew<PackStoreIndex>();
    m_pDirList = PackNew<PackDirectoryList>();
    m_pSlotTableLock = PackNew<CThreadMutex>();
    m_pCache = PackNew<PackBlockCache>();
    m_pSlots = (PackArchiveSlot*)MemAlloc_AllocTagged(
        sizeof(PackArchiveSlot) * BND_ARCHIVE_SLOT_COUNT, PACKSTORE_SOURCE, __LINE__);
    for (int i = 0; i < BND_ARCHIVE_SLOT_COUNT; ++i)
        new (&m_pSlots[i]) PackArchiveSlot();
}

PackStore::PackStore(const char* pszBasePath, bool /*bPreload*/) : PackStore()
{
    if (pszBasePath) Load(pszBasePath);
}

PackStore::~PackStore()
{
    CloseArchives();
    for (int i = 0; i < BND_ARCHIVE_SLOT_COUNT; ++i)
        m_pSlots[i].~PackArchiveSlot();
    MemAlloc_FreeTagged(m_pSlots, PACKSTORE_SOURCE, __LINE__);
    PackDelete(m_pCache);
    PackDelete(m_pSlotTableLock);
    PackDelete(m_pDirList);
    PackDelete(m_pIndex);
    m_pIndex = nullptr;
    Clear();
}

void PackStore::Clear()
{
    if (m_pTree != m_emptyTree) MemAlloc_FreeTagged(m_pTree, PACKSTORE_SOURCE, __LINE__);
    m_pTree = m_emptyTree;
    m_emptyTree[0] = 0;
    m_uTreeSize = 1;
    m_nEntryCount = 0;
    if (m_pIndex)
    {
        PackDelete(m_pIndex);
        m_pIndex = PackNew<PackStoreIndex>();
    }
}

bool PackStore::IsEmpty() const
{
    return m_uTreeSize < 2;
}

void PackStore::SetDamaged(const char* pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    V_BoundedFormatList(m_szDamage, sizeof(m_szDamage), pszFormat, args);
    va_end(args);
    m_bDamaged = true;
}

void PackStore::Load(const char* pszBasePath)
{
    V_BoundedCopy(m_szBasePath, pszBasePath, sizeof(m_szBasePath));

    char szDirFile[BND_MAX_BASE_PATH + 16];
    V_BoundedFormat(szDirFile, sizeof(szDirFile), BND_DIRECTORY_FILE_FORMAT, pszBasePath);
#if defined(_WIN32)
    // Elsewhere the file layer finds each name in any case, and lower-casing
    // the whole path would lose folders such as "My Game".
    V_LowerAscii(szDirFile);
#endif
    CFileReader reader;
    if (!reader.BOpenFile(szDirFile) && !reader.BOpenFile(pszBasePath)) return;

    uint64_t ulFileSize = 0;
    if (!reader.GetFileSize(&ulFileSize)) return;

    uint8_t rawHeader[BND_HEADER_SIZE];
    uint32_t cubHeader = 0;
    const bool bHeaderRead = reader.Read(rawHeader, sizeof(rawHeader), &cubHeader);
    // Only a file shorter than a header may read short here: a failing disk
    // must not turn a pack into a headerless tree of its own header bytes.
    if (!bHeaderRead || (cubHeader < sizeof(rawHeader) && cubHeader < ulFileSize))
    {
        SetDamaged("cannot read the directory file");
        SpewWarning("bnd %s: %s\n", pszBasePath, m_szDamage);
        return;
    }
    PackDirectoryHeader header = {BND_SIGNATURE, BND_VERSION, 0, 0, 0, 0, 0};
    if (cubHeader == sizeof(rawHeader)) PackDecodeHeader(rawHeader, &header);

    uint64_t ulTreeSize;
    if (cubHeader == sizeof(rawHeader) && header.m_uSignature == BND_SIGNATURE)
    {
        if (header.m_nVersion == 1)
        {
            m_nHeaderSize = BND_HEADER_SIZE_V1;
            if ((uint64_t)header.m_uTreeSize + BND_HEADER_SIZE_V1 > ulFileSize)
            {
                SetDamaged("tree size %u runs past the end of the file", header.m_uTreeSize);
                SpewWarning("bnd %s: %s\n", pszBasePath, m_szDamage);
                return;
            }
            header.m_uEmbeddedDataSize =
                (uint32_t)(ulFileSize - header.m_uTreeSize - BND_HEADER_SIZE_V1);
            header.m_uArchiveChecksumSize = 0;
            header.m_uOtherChecksumSize = 0;
            header.m_uSignatureSize = 0;
        }
        else if (header.m_nVersion > BND_VERSION)
        {
            // A format this reader does not know: the pack is skipped like a
            // damaged one rather than ending the game that mounts it.
            SetDamaged("unknown version %d", header.m_nVersion);
            SpewWarning("Unknown version %d for bnd %s\n", header.m_nVersion, pszBasePath);
            return;
        }
        else
            m_nHeaderSize = BND_HEADER_SIZE;
        ulTreeSize = header.m_uTreeSize;
    }
    else
    {
        // No header: the whole file is the tree.
        m_nHeaderSize = 0;
        header = PackDirectoryHeader{BND_SIGNATURE, BND_VERSION, 0, 0, 0, 0, 0};
        header.m_nVersion = 0;
        header.m_uSignature = 0;
        ulTreeSize = ulFileSize;
        header.m_uTreeSize = (uint32_t)ulTreeSize;
    }
    m_header = header;

    if (ulTreeSize + (uint64_t)m_nHeaderSize > ulFileSize || ulTreeSize > kMaxTreeSize)
    {
        SetDamaged("tree size %llu runs past the end of the file", (unsigned long long)ulTreeSize);
        SpewWarning("bnd %s: %s\n", pszBasePath, m_szDamage);
        return;
    }
    if (ulTreeSize == 0)
    {
        m_uTreeSize = 0;
        return;
    }
    if (!reader.Seek(m_nHeaderSize, 0)) return;
    uint8_t* pTree =
        (uint8_t*)MemAlloc_AllocQuietTagged((size_t)ulTreeSize, PACKSTORE_SOURCE, __LINE__);
    if (!pTree) return;
    uint32_t cubRead = 0;
    if (!reader.Read(pTree, (uint32_t)ulTreeSize, &cubRead) || cubRead != ulTreeSize)
    {
        MemAlloc_FreeTagged(pTree, PACKSTORE_SOURCE, __LINE__);
        return;
    }
    reader.Close();
    m_pTree = pTree;
    m_uTreeSize = (uint32_t)ulTreeSize;

    char szAbsolute[BND_MAX_BASE_PATH];
    V_MakeAbsolutePath(szAbsolute, sizeof(szAbsolute), pszBasePath);
#if defined(_WIN32)
    V_LowerAscii(szAbsolute);
#endif
    V_SetSlashes(szAbsolute, '\\');
    V_BoundedCopy(m_szAbsolutePath, szAbsolute, sizeof(m_szAbsolutePath));

    if (!BuildIndex())
    {
        // A damaged tree is refused whole: reading it partly could hand out
        // records whose bytes belong to something else.
        if (!m_bDamaged) SetDamaged("damaged directory tree");
        SpewWarning("bnd %s: %s, pack ignored\n", pszBasePath, m_szDamage);
        Clear();
    }
}

bool PackStore::BuildIndex()
{
    PackStoreIndex& index = *m_pIndex;
    const uint8_t* pBase = m_pTree;
    const uint8_t* pEnd = m_pTree + m_uTreeSize;
    const uint8_t* p = pBase;
    int nEntries = 0;
    // The archive whose data each slot serves: a store keeps one archive open
    // per slot for good, so a tree that reads two through one slot cannot be
    // served whole.
    int32_t aSlotArchive[BND_ARCHIVE_SLOT_COUNT];
    for (int32_t& n : aSlotArchive)
        n = -1;

    for (;;)
    {
        ptrdiff_t nExt = PackParseString(p, pEnd);
        if (nExt < 0) return false;
        if (nExt == 0)
        {
            ++p;
            break;
        }
        PackExtNode ext;
        ext.m_uName = (uint32_t)(p - pBase);
        ext.m_uHash = HashName((const char*)p, (size_t)nExt);
        for (int i = 0; i < BND_DIRECTORY_BUCKETS; ++i)
            ext.m_aDirBuckets[i] = -1;
        int nExtIndex = index.m_extNodes.AddToTail(ext);
        int nExtBucket = (int)(ext.m_uHash % BND_EXTENSION_BUCKETS);
        index.m_extNodes[nExtIndex].m_nNext = index.m_aExtBuckets[nExtBucket];
        index.m_aExtBuckets[nExtBucket] = nExtIndex;
        p += nExt + 1;

        for (;;)
        {
            ptrdiff_t nDir = PackParseString(p, pEnd);
            if (nDir < 0) return false;
            if (nDir == 0)
            {
                ++p;
                break;
            }
            PackDirNode dir;
            dir.m_uName = (uint32_t)(p - pBase);
            dir.m_uHash = HashName((const char*)p, (size_t)nDir);
            dir.m_nExt = nExtIndex;
            p += nDir + 1;
            dir.m_uFiles = (uint32_t)(p - pBase);

            // Only counted here: a directory's name table is filled on its
            // first lookup, which keeps loading close to the cost of reading.
            uint32_t uCount = 0;
            for (;;)
            {
                ptrdiff_t nName = PackParseString(p, pEnd);
                if (nName < 0) return false;
                if (nName == 0)
                {
                    ++p;
                    break;
                }
                ++uCount;
                PackRecordView record;
                p = PackParseRecord(p + nName + 1, pEnd, &record);
                if (!p) return false;
                // Only a chunk with bytes in it is ever read.
                PackChunk chunk = PackDecodeChunk(record.m_pFirstChunk);
                if (chunk.m_uLength == 0) continue;
                int32_t& nOwner = aSlotArchive[chunk.m_nArchiveIndex & BND_ARCHIVE_SLOT_MASK];
                if (nOwner == -1) nOwner = chunk.m_nArchiveIndex;
                if (nOwner != chunk.m_nArchiveIndex)
                {
                    int nLow = nOwner < chunk.m_nArchiveIndex ? nOwner : chunk.m_nArchiveIndex;
                    int nHigh = nOwner < chunk.m_nArchiveIndex ? chunk.m_nArchiveIndex : nOwner;
                    if (nHigh == BND_DIRECTORY_ARCHIVE_INDEX)
                        SetDamaged("archive %d and the data in the directory file share an "
                                   "archive slot",
                                   nLow);
                    else
                        SetDamaged("archives %d and %d share an archive slot (equal mod %d)", nLow,
                                   nHigh, BND_ARCHIVE_SLOT_COUNT);
                    return false;
                }
            }
            dir.m_uFileCount = uCount;
            dir.m_uTableMask = uCount ? TableSizeFor(uCount) - 1 : 0;
            nEntries += (int)uCount;

            int nDirIndex = index.m_dirNodes.AddToTail(dir);
            int nDirBucket = (int)(dir.m_uHash % BND_DIRECTORY_BUCKETS);
            PackExtNode& owner = index.m_extNodes[nExtIndex];
            index.m_dirNodes[nDirIndex].m_nNext = owner.m_aDirBuckets[nDirBucket];
            owner.m_aDirBuckets[nDirBucket] = nDirIndex;
        }
    }
    m_nEntryCount = nEntries;

    // Name tables: the first occurrence of a name in a directory's list wins.
    int64_t nTotal = 0;
    for (int d = 0; d < index.m_dirNodes.Count(); ++d)
        if (index.m_dirNodes[d].m_uFileCount)
            nTotal += (int64_t)index.m_dirNodes[d].m_uTableMask + 1;
    if (nTotal > 0x3FFFFFFF) return false;
    // Allocated here, cleared slice by slice when a directory is first looked up.
    index.m_fileTable.EnsureCapacity((int)nTotal);
    index.m_fileTable.SetCount((int)nTotal);
    uint32_t uNext = 0;
    for (int d = 0; d < index.m_dirNodes.Count(); ++d)
    {
        PackDirNode& dir = index.m_dirNodes[d];
        dir.m_uTableStart = uNext;
        if (dir.m_uFileCount) uNext += dir.m_uTableMask + 1;
    }
    index.m_dirTableBuilt.SetCount(index.m_dirNodes.Count());
    if (index.m_dirNodes.Count())
        memset(index.m_dirTableBuilt.Base(), 0, (size_t)index.m_dirNodes.Count());

    // Directory table, filled in tree order so later directories replace earlier ones.
    uint32_t uDirSize = TableSizeFor((uint32_t)index.m_dirNodes.Count());
    index.m_uDirTableMask = uDirSize - 1;
    index.m_dirTable.EnsureCapacity((int)uDirSize);
    index.m_dirTable.SetCount((int)uDirSize);
    memset(index.m_dirTable.Base(), 0xFF, uDirSize * sizeof(int32_t));
    for (int d = 0; d < index.m_dirNodes.Count(); ++d)
    {
        const PackDirNode& dir = index.m_dirNodes[d];
        uint32_t slot = PackDirKey(dir.m_nExt, dir.m_uHash) & index.m_uDirTableMask;
        for (;;)
        {
            int32_t nHave = index.m_dirTable[(int)slot];
            if (nHave < 0)
            {
                index.m_dirTable[(int)slot] = d;
                break;
            }
            const PackDirNode& have = index.m_dirNodes[nHave];
            const PackExtNode& haveExt = index.m_extNodes[have.m_nExt];
            const PackExtNode& dirExt = index.m_extNodes[dir.m_nExt];
            // The same directory under the same extension string (even when
            // the extension itself was repeated and its later node shadows).
            if (have.m_uHash == dir.m_uHash &&
                strcmp((const char*)pBase + haveExt.m_uName, (const char*)pBase + dirExt.m_uName) ==
                    0 &&
                strcmp((const char*)pBase + have.m_uName, (const char*)pBase + dir.m_uName) == 0 &&
                have.m_nExt == dir.m_nExt)
            {
                index.m_dirTable[(int)slot] = d;
                break;
            }
            slot = (slot + 1) & index.m_uDirTableMask;
        }
    }
    return true;
}

bool PackStore::FillHandle(const uint8_t* pName, size_t nNameLen, PackEntryHandle* pHandle)
{
    PackRecordView record;
    if (!PackParseRecord(pName + nNameLen + 1, m_pTree + m_uTreeSize, &record)) return false;
    PackChunk chunk = PackDecodeChunk(record.m_pFirstChunk);
    pHandle->m_nArchiveIndex = chunk.m_nArchiveIndex;
    pHandle->m_nOffset = (int32_t)chunk.m_uOffset;
    pHandle->m_nSize = (int32_t)(uint32_t)(record.m_uPreloadSize + chunk.m_uLength);
    pHandle->m_nPosition = 0;
    pHandle->m_pPreloadData = record.m_pPreload;
    pHandle->m_nPreloadSize = record.m_uPreloadSize;
    pHandle->m_pStore = this;
    pHandle->m_pRecord = record.m_pRecord;
    pHandle->m_pszName = (const char*)pName;
    return true;
}

PackEntryHandle PackStore::FindEntry(const char* pszPath, int* pnDirNode, const char** ppszName)
{
    PackEntryHandle handle;
    memset(&handle, 0, sizeof(handle));
    handle.m_nArchiveIndex = -1;
    handle.m_pStore = this;
    if (pnDirNode) *pnDirNode = -1;
    if (ppszName) *ppszName = nullptr;
    if (!pszPath || IsEmpty()) return handle;

    char szDir[260], szName[260], szExt[260];
    size_t nDirLen = SplitLookupPath(pszPath, szDir, szName, szExt);
    if (memchr(szDir, '.', nDirLen))
    {
        RemoveParentSegments(szDir);
        nDirLen = strlen(szDir);
    }
    if (nDirLen && szDir[nDirLen - 1] == '/') szDir[--nDirLen] = 0;

    const PackStoreIndex& index = *m_pIndex;
    const char* pszTree = (const char*)m_pTree;
    uint32_t uExtHash = HashName(szExt, strlen(szExt));
    int nExt = index.m_aExtBuckets[uExtHash % BND_EXTENSION_BUCKETS];
    while (nExt >= 0)
    {
        const PackExtNode& ext = index.m_extNodes.Base()[nExt];
        if (ext.m_uHash == uExtHash && strcmp(pszTree + ext.m_uName, szExt) == 0) break;
        nExt = ext.m_nNext;
    }
    if (nExt < 0) return handle;

    uint32_t uDirHash = HashName(szDir, nDirLen);
    int nDir = -1;
    const int32_t* pDirTable = index.m_dirTable.Base();
    for (uint32_t slot = PackDirKey(nExt, uDirHash) & index.m_uDirTableMask;;
         slot = (slot + 1) & index.m_uDirTableMask)
    {
        int32_t nHave = pDirTable[slot];
        if (nHave < 0) return handle;
        const PackDirNode& have = index.m_dirNodes.Base()[nHave];
        if (have.m_nExt == nExt && have.m_uHash == uDirHash &&
            strcmp(pszTree + have.m_uName, szDir) == 0)
        {
            nDir = nHave;
            break;
        }
    }

    const PackDirNode& dir = index.m_dirNodes.Base()[nDir];
    if (!dir.m_uFileCount) return handle;
    EnsureNameTable(*m_pIndex, m_pTree, m_pTree + m_uTreeSize, nDir);
    size_t nNameLen = strlen(szName);
    const uint32_t* pTable = index.m_fileTable.Base() + dir.m_uTableStart;
    uint32_t slot = HashName(szName, nNameLen) & dir.m_uTableMask;
    for (;;)
    {
        uint32_t uName = pTable[slot];
        // Most probes stop at the first byte.
        if (uName == PACK_INDEX_EMPTY) return handle;
        if (pszTree[uName] == szName[0] && strcmp(pszTree + uName, szName) == 0)
        {
            if (FillHandle(m_pTree + uName, nNameLen, &handle))
            {
                if (pnDirNode) *pnDirNode = nDir;
                if (ppszName) *ppszName = pszTree + uName;
            }
            return handle;
        }
        slot = (slot + 1) & dir.m_uTableMask;
    }
}

int PackStore::GetDirectoryCount() const
{
    return m_pIndex->m_dirNodes.Count();
}

int PackStore::GetExtensionCount() const
{
    return m_pIndex->m_extNodes.Count();
}

size_t PackStore::GetIndexMemory() const
{
    const PackStoreIndex& index = *m_pIndex;
    return sizeof(PackStoreIndex) + (size_t)index.m_extNodes.NumAllocated() * sizeof(PackExtNode) +
           (size_t)index.m_dirNodes.NumAllocated() * sizeof(PackDirNode) +
           (size_t)index.m_fileTable.NumAllocated() * sizeof(uint32_t) +
           (size_t)index.m_dirTable.NumAllocated() * sizeof(int32_t) +
           (size_t)index.m_dirTableBuilt.NumAllocated();
}

bool PackStore::EnumerateEntries(PackEntryCallback_t pfnCallback, void* pContext) const
{
    const PackStoreIndex& index = *m_pIndex;
    const uint8_t* pEnd = m_pTree + m_uTreeSize;
    for (int d = 0; d < index.m_dirNodes.Count(); ++d)
    {
        const PackDirNode& dir = index.m_dirNodes[d];
        PackEntryInfo info;
        info.m_pszExtension = (const char*)m_pTree + index.m_extNodes[dir.m_nExt].m_uName;
        info.m_pszDirectory = (const char*)m_pTree + dir.m_uName;
        const uint8_t* p = m_pTree + dir.m_uFiles;
        for (uint32_t i = 0; i < dir.m_uFileCount; ++i)
        {
            ptrdiff_t nName = PackParseString(p, pEnd);
            if (nName <= 0) return true;
            info.m_pszName = (const char*)p;
            const uint8_t* pNext = PackParseRecord(p + nName + 1, pEnd, &info.m_record);
            if (!pNext) return true;
            info.m_firstChunk = PackDecodeChunk(info.m_record.m_pFirstChunk);
            info.m_nSize = (int64_t)info.m_record.m_uPreloadSize + info.m_firstChunk.m_uLength;
            if (!pfnCallback(info, pContext)) return false;
            p = pNext;
        }
    }
    return true;
}

void PackStore::BuildArchiveFileName(int nArchiveIndex, char* pszOut, int nOutSize) const
{
    if (nArchiveIndex == BND_DIRECTORY_ARCHIVE_INDEX)
    {
        if (V_FindNoCase(m_szBasePath, ".bnd"))
            V_BoundedCopy(pszOut, m_szBasePath, nOutSize);
        else
            V_BoundedFormat(pszOut, nOutSize, BND_DIRECTORY_FILE_FORMAT, m_szBasePath);
    }
    else
        V_BoundedFormat(pszOut, nOutSize, BND_ARCHIVE_FILE_FORMAT, m_szBasePath, nArchiveIndex);
}
