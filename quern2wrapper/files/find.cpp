// Stat, directory search over disk and packs, and local copies of pack files.
#include "quern2wrapper/files/files.h"

#include "plinth/memalloc.h"
#include "plinth/platform/platform_crtfile.h"
#include "plinth/platform/platform_process.h"
#include "quern2wrapper/include/quern.h"
#include "quern2wrapper/quern_export.h"
#include "quern2wrapper/quernerror.h"
#include "trestle/fileio.h"
#include "trestle/strtools.h"
#include "trestle/utlstring.h"

#include <atomic>
#include <cstring>
#include <new>

namespace
{
struct FindState
{
    PlatCrtFindHandle m_hDiskFind = PLAT_CRT_FIND_NONE;
    CUtlVector<CUtlOwnedString> m_PackFiles;
    CUtlVector<CUtlOwnedString> m_PackDirs;
    int m_nFileCursor = 0;
    int m_nDirCursor = 0;
};

struct FindTableEntry
{
    uint32_t m_hFind;
    FindState* m_pState;
};

bool LessFindEntry(const FindTableEntry& a, const FindTableEntry& b)
{
    return a.m_hFind < b.m_hFind;
}

typedef CUtlSortedTree<FindTableEntry> FindHandleTable;

FindHandleTable& GetFindTable()
{
    static FindHandleTable s_table(&LessFindEntry);
    return s_table;
}

// Search handles are never reused; guarded by the file-layer lock.
uint32_t g_nNextFindHandle = 1;

// A pack store holds a folder path in this many characters.
constexpr size_t PACK_FOLDER_SIZE = 260;

// Copies go through memory in pieces of this size.
constexpr uint32_t LOCAL_COPY_PIECE = 0x100000;

FindState* NewFindState()
{
    void* pMem = MemAlloc_AllocTagged(sizeof(FindState), QUERN_FILES_SOURCE, __LINE__);
    return pMem ? new (pMem) FindState() : nullptr;
}

void DeleteFindState(FindState* pState)
{
    if (!pState) return;
    if (pState->m_hDiskFind != PLAT_CRT_FIND_NONE) Plat_CrtFindClose(pState->m_hDiskFind);
    pState->~FindState();
    MemAlloc_FreeTagged(pState, QUERN_FILES_SOURCE, __LINE__);
}

void SetPackTimes(QuernElemInfo* pInfo)
{
    pInfo->lastAccessTime = QUERN_PACK_ITEM_TIME;
    pInfo->lastModificationTime = QUERN_PACK_ITEM_TIME;
    pInfo->creationTime = QUERN_PACK_ITEM_TIME;
}

void FillFromDisk(QuernElemInfo* pInfo, const PlatCrtFindData& found)
{
    pInfo->isDirectory = (found.m_uAttributes & PLAT_CRT_ATTRIBUTE_SUBDIR) ? 1 : 0;
    pInfo->size = found.m_uSize;
    pInfo->isLocal = 1;
    V_BoundedCopy(pInfo->name, found.m_szName, sizeof(pInfo->name));
    pInfo->lastAccessTime = found.m_uAccessTime;
    pInfo->lastModificationTime = found.m_uWriteTime;
    pInfo->creationTime = found.m_uCreateTime;
}

// Pack search results carry size 1 for files: the search never opens them.
void FillFromPack(QuernElemInfo* pInfo, const char* pszItem, bool bDirectory)
{
    pInfo->isDirectory = bDirectory ? 1 : 0;
    pInfo->size = bDirectory ? 0 : 1;
    pInfo->isLocal = 0;
    V_BoundedCopy(pInfo->name, V_FileNamePart(pszItem), sizeof(pInfo->name));
    SetPackTimes(pInfo);
}

// The next pack result of a search; false when none is left.
bool NextPackResult(FindState* pState, QuernElemInfo* pInfo)
{
    if (pState->m_nDirCursor < pState->m_PackDirs.Count())
    {
        FillFromPack(pInfo, pState->m_PackDirs[pState->m_nDirCursor++], true);
        return true;
    }
    if (pState->m_nFileCursor < pState->m_PackFiles.Count())
    {
        FillFromPack(pInfo, pState->m_PackFiles[pState->m_nFileCursor++], false);
        return true;
    }
    return false;
}

// A folder of the pack, whole components only: the store's own test is a
// prefix test ("m" would match "maps/"), so it is asked for the path with a
// separator after it, which only a folder or its subfolders begin with.
// Caller holds the file-layer lock (the store builds its folder list on
// first use).
bool IsPackFolder(PackStore* pStore, const char* pszPath)
{
    size_t len = strlen(pszPath);
    if (len == 0 || V_IsSlash(pszPath[len - 1])) return pStore->IsDirectory(pszPath);
    char szFolder[PACK_FOLDER_SIZE];
    if (len + 2 > sizeof(szFolder)) return false; // longer than any folder of a pack
    memcpy(szFolder, pszPath, len);
    szFolder[len] = '/';
    szFolder[len + 1] = '\0';
    return pStore->IsDirectory(szFolder);
}

struct RootFolders
{
    CUtlVector<CUtlOwnedString>* m_pFolders;
    char m_szLast[PACK_FOLDER_SIZE];
};

bool CollectRootFolder(const PackEntryInfo& info, void* pContext)
{
    RootFolders& root = *static_cast<RootFolders*>(pContext);
    const char* pszDir = info.m_pszDirectory;
    if (pszDir[0] == ' ' && pszDir[1] == '\0') return true;
    char szFirst[PACK_FOLDER_SIZE];
    V_BoundedCopy(szFirst, pszDir, sizeof(szFirst));
    if (char* pSlash = strchr(szFirst, '/')) *pSlash = '\0';
    // Files of one folder come together in the tree: most entries repeat
    // the one before.
    if (szFirst[0] == '\0' || strcmp(szFirst, root.m_szLast) == 0) return true;
    V_BoundedCopy(root.m_szLast, szFirst, sizeof(root.m_szLast));
    for (int i = 0; i < root.m_pFolders->Count(); ++i)
        if (V_CompareNoCaseCount((*root.m_pFolders)[i], szFirst, 0x7FFFFFFF) == 0) return true;
    root.m_pFolders->AddToTail(CUtlOwnedString(szFirst));
    return true;
}

int CompareOwnedStrings(const CUtlOwnedString* a, const CUtlOwnedString* b)
{
    return strcmp(a->Get(), b->Get());
}

// The folders at the root of a pack, in byte order, once each, appended: the
// store's search lists the subfolders of every folder but the root's.
void AppendRootFolders(const PackStore* pStore, CUtlVector<CUtlOwnedString>* pDirs)
{
    CUtlVector<CUtlOwnedString> folders;
    RootFolders root = {&folders, {0}};
    pStore->EnumerateEntries(&CollectRootFolder, &root);
    folders.Sort(&CompareOwnedStrings);
    for (int i = 0; i < folders.Count(); ++i)
        pDirs->AddToTail(CUtlOwnedString(folders[i].Get()));
}

// Copies the rest of a pack entry to pszPath. The bytes go to a temporary
// file beside it that is moved into place only when complete: a short read,
// a full disk or a crash never leaves a partial file that later calls would
// take for the copy. Bounded pieces keep large entries within a 32-bit process.
bool CopyPackEntry(PackEntryHandle* pEntry, const char* pszPath)
{
    static std::atomic<uint32_t> s_nCopies{0};
    size_t cchTemp = strlen(pszPath) + 48;
    uint32_t total = (uint32_t)(pEntry->m_nSize - pEntry->m_nPosition);
    uint32_t pieceSize = total < LOCAL_COPY_PIECE ? total : LOCAL_COPY_PIECE;
    char* pszTemp =
        static_cast<char*>(MemAlloc_AllocQuietTagged(cchTemp, QUERN_FILES_SOURCE, __LINE__));
    char* pPiece = static_cast<char*>(
        MemAlloc_AllocQuietTagged(pieceSize > 0 ? pieceSize : 1, QUERN_FILES_SOURCE, __LINE__));
    bool bOk = pszTemp && pPiece;
    if (bOk)
        V_BoundedFormat(pszTemp, (int)cchTemp, "%s.copy%u_%u.tmp", pszPath,
                        Plat_GetCurrentProcessId(), s_nCopies.fetch_add(1));

    CFileWriter writer;
    for (uint32_t done = 0; bOk && (done < total || !writer.IsOpen());)
    {
        uint32_t want = total - done < pieceSize ? total - done : pieceSize;
        bOk =
            (want ? (uint32_t)pEntry->m_pStore->ReadEntry(*pEntry, pPiece, (int)want) : 0) == want;
        // Opened only once the first piece is in hand, so a pack that cannot
        // be read leaves the disk untouched.
        if (bOk && !writer.IsOpen()) bOk = writer.Open(pszTemp);
        bOk = bOk && writer.Write(pPiece, want);
        done += want;
    }
    if (writer.IsOpen())
    {
        bOk = bOk && writer.Flush();
        writer.Close();
        bOk = bOk && BMoveFileReplace(pszTemp, pszPath);
        if (!bOk) BDeleteFile(pszTemp);
    }
    if (pPiece) MemAlloc_FreeTagged(pPiece, QUERN_FILES_SOURCE, __LINE__);
    if (pszTemp) MemAlloc_FreeTagged(pszTemp, QUERN_FILES_SOURCE, __LINE__);
    return bOk;
}
} // namespace

QUERN_EXPORT int QuernStat(const char* pszPath, QuernElemInfo* pInfo, TQuernError* pError)
{
    ClearError(pError);
    QuernElemInfo scratch;
    if (!pInfo) pInfo = &scratch;
    memset(pInfo, 0, sizeof(*pInfo));

    char szPath[QUERN_FILE_PATH_SIZE];
    bool bInPack = false;
    {
        CMountReadScope mountScope;
        NormalizeFilePath(pszPath, szPath, sizeof(szPath));
        MountTable& mounts = GetMountTable();
        for (int i = 0; i < mounts.Count() && !bInPack; ++i)
        {
            PackEntryHandle entry = mounts[i]->FindEntry(szPath);
            if (entry.IsValid())
            {
                pInfo->size = (uint32_t)entry.m_nSize;
                pInfo->isDirectory = 0;
                bInPack = true;
            }
        }
        if (!bInPack && !V_FileExtensionOf(szPath))
        {
            // A store builds its directory list on first use; searches do
            // that under the same lock, so the two never race.
            CAutoLockT<CThreadMutex> lock(FileLayerLock());
            for (int i = 0; i < mounts.Count() && !bInPack; ++i)
            {
                if (IsPackFolder(mounts[i], szPath))
                {
                    pInfo->isDirectory = 1;
                    pInfo->size = 0;
                    bInPack = true;
                }
            }
        }
    }

    int result = 0;
    if (bInPack)
    {
        pInfo->isLocal = 0;
        SetPackTimes(pInfo);
        V_BoundedCopy(pInfo->name, V_FileNamePart(szPath), sizeof(pInfo->name));
    }
    else
    {
        PlatCrtStat st;
        if (!pszPath || !Plat_CrtStat(pszPath, &st))
        {
            if (pError) pError->failureType = QUERN_FAILURE_NOT_FOUND;
            result = -1;
        }
        else if (st.m_bDirectory || st.m_bRegular)
        {
            pInfo->isLocal = 1;
            pInfo->isDirectory = st.m_bDirectory ? 1 : 0;
            pInfo->size = st.m_uSize;
            pInfo->lastAccessTime = st.m_uAccessTime;
            pInfo->lastModificationTime = st.m_uWriteTime;
            pInfo->creationTime = st.m_uCreateTime;
            V_BoundedCopy(pInfo->name, V_FileNamePart(pszPath), sizeof(pInfo->name));
        }
        else
        {
            // A device or a pipe is neither file nor folder: no success.
            if (pError) pError->failureType = QUERN_FAILURE_NOT_FOUND;
            result = -1;
        }
    }

    QUERN_VERBOSE_LOG("stat %s, ret %d", pszPath ? pszPath : "(null)", result);
    return result;
}

QUERN_EXPORT int QuernIsFileImmediatelyAvailable(const char* pszPath, TQuernError* pError)
{
    ClearError(pError);
    QuernElemInfo info;
    int available = QuernStat(pszPath, &info, pError) != -1 ? 1 : 0;
    QUERN_VERBOSE_LOG("immediately available %s, ret %u", pszPath ? pszPath : "(null)",
                      (uint32_t)available);
    return available;
}

QUERN_EXPORT QuernFindHandle QuernFindFirst(const char* pszPattern, uint32_t filter,
                                            QuernElemInfo* pInfo, TQuernError* pError)
{
    ClearError(pError);
    QuernElemInfo scratch;
    if (!pInfo) pInfo = &scratch;

    // The mount lock first, as everywhere.
    CMountReadScope mountScope(filter != 0);
    CAutoLockT<CThreadMutex> lock(FileLayerLock());
    FindState* pState = NewFindState();
    if (!pState) return 0;

    PlatCrtFindData found;
    pState->m_hDiskFind = pszPattern ? Plat_CrtFindFirst(pszPattern, &found) : PLAT_CRT_FIND_NONE;
    bool bDiskFound = pState->m_hDiskFind != PLAT_CRT_FIND_NONE;
    if (bDiskFound) FillFromDisk(pInfo, found);

    if (filter != 0)
    {
        char szPattern[QUERN_FILE_PATH_SIZE];
        NormalizeFilePath(pszPattern, szPattern, sizeof(szPattern));
        bool bRoot = strpbrk(szPattern, "\\/") == nullptr;
        MountTable& mounts = GetMountTable();
        for (int i = 0; i < mounts.Count(); ++i)
        {
            int nDirs = pState->m_PackDirs.Count();
            mounts[i]->FindInDirectory(szPattern, &pState->m_PackDirs, &pState->m_PackFiles);
            // The store lists no subfolders at the root; the pack's own are
            // listed here, as those of any other folder are.
            if (bRoot && pState->m_PackDirs.Count() == nDirs)
                AppendRootFolders(mounts[i], &pState->m_PackDirs);
        }
        if (!bDiskFound) NextPackResult(pState, pInfo);
    }

    QuernFindHandle hFind = 0;
    if (bDiskFound || pState->m_PackDirs.Count() > 0 || pState->m_PackFiles.Count() > 0)
    {
        FindTableEntry entry = {g_nNextFindHandle, pState};
        if (GetFindTable().Insert(entry) >= 0)
        {
            hFind = g_nNextFindHandle++;
            pState = nullptr;
        }
    }
    if (!hFind)
    {
        SetError(pError, "QuernFindFirst failed", pszPattern, QUERN_FAILURE_FAILED);
        DeleteFindState(pState);
    }

    QUERN_VERBOSE_LOG("find first %s, eFiler %u, ret %u", pszPattern ? pszPattern : "(null)",
                      filter, hFind);
    return hFind;
}

QUERN_EXPORT int QuernFindNext(QuernFindHandle hFind, QuernElemInfo* pInfo, TQuernError* pError)
{
    ClearError(pError);
    QuernElemInfo scratch;
    if (!pInfo) pInfo = &scratch;
    pInfo->name[0] = '\0';

    CAutoLockT<CThreadMutex> lock(FileLayerLock());
    int result = -1;
    FindHandleTable& table = GetFindTable();
    FindTableEntry key = {hFind, nullptr};
    int index = table.Find(key);
    if (index >= 0)
    {
        FindState* pState = table.Element(index).m_pState;
        PlatCrtFindData found;
        if (pState->m_hDiskFind != PLAT_CRT_FIND_NONE)
        {
            if (Plat_CrtFindNext(pState->m_hDiskFind, &found))
            {
                FillFromDisk(pInfo, found);
                result = 0;
            }
            else
            {
                Plat_CrtFindClose(pState->m_hDiskFind);
                pState->m_hDiskFind = PLAT_CRT_FIND_NONE;
            }
        }
        if (result != 0 && NextPackResult(pState, pInfo)) result = 0;
    }

    QUERN_VERBOSE_LOG("find next %s, ret %u", pInfo->name, (uint32_t)result);
    return result;
}

QUERN_EXPORT int QuernFindClose(QuernFindHandle hFind, TQuernError* pError)
{
    ClearError(pError);
    int result = -1;
    {
        // Searches insert and walk this table under the lock: removal must too.
        CAutoLockT<CThreadMutex> lock(FileLayerLock());
        FindHandleTable& table = GetFindTable();
        FindTableEntry key = {hFind, nullptr};
        int index = table.Find(key);
        if (index >= 0)
        {
            DeleteFindState(table.Element(index).m_pState);
            table.RemoveAt(index);
            result = 0;
        }
    }
    QUERN_VERBOSE_LOG("find close %u, ret %u", hFind, (uint32_t)result);
    return result;
}

QUERN_EXPORT int QuernGetLocalFileCopy(const char* pszPath, TQuernError* pError)
{
    ClearError(pError);
    int result = 0;
    PlatCrtStat st;
    if (pszPath && Plat_CrtStat(pszPath, &st) && st.m_bRegular)
    {
        result = 1;
    }
    else if (pszPath)
    {
        // Held across the copy: an unmount waits for it to finish.
        CMountReadScope mountScope;
        uint32_t size = 0;
        uint32_t hFile = PackOpen(pszPath, "rb", &size);
        if (PackEntryHandle* pEntry = PackLookup(hFile))
            result = CopyPackEntry(pEntry, pszPath) ? 1 : 0;
        if (hFile) PackClose(hFile);
    }
    QUERN_VERBOSE_LOG("local copy %s, ret %u", pszPath ? pszPath : "(null)", (uint32_t)result);
    return result;
}
