// PackStore: the directory list and the directory queries built on it.
#include "bndlib/packstore_internal.h"

#include "trestle/strtools.h"
#include "trestle/utlnamemap.h"

#include <algorithm>
#include <cstring>

namespace
{
const char kSentinelDir[] = "$$$$$$$HighlyUnlikelyPathForInitializationPurposes#######";

struct PathCollector
{
    CUtlVector<char>* m_pPool;
    CUtlVector<int>* m_pOffsets;
};

bool CollectPath(const PackEntryInfo& info, void* pContext)
{
    PathCollector& c = *(PathCollector*)pContext;
    char szPath[520];
    szPath[0] = 0;
    if (strcmp(info.m_pszDirectory, " ") != 0)
    {
        V_BoundedAppend(szPath, info.m_pszDirectory, sizeof(szPath));
        V_BoundedAppend(szPath, "/", sizeof(szPath));
    }
    V_BoundedAppend(szPath, info.m_pszName, sizeof(szPath));
    if (strcmp(info.m_pszExtension, " ") != 0)
    {
        V_BoundedAppend(szPath, ".", sizeof(szPath));
        V_BoundedAppend(szPath, info.m_pszExtension, sizeof(szPath));
    }
    c.m_pOffsets->AddToTail(c.m_pPool->Count());
    c.m_pPool->AddMultipleToTail((int)strlen(szPath) + 1, szPath);
    return true;
}

void SortTail(CUtlVector<CUtlOwnedString>* pVec, int nFirst)
{
    if (!pVec || pVec->Count() - nFirst < 2) return;
    std::sort(pVec->begin() + nFirst, pVec->end(),
              [](const CUtlOwnedString& a, const CUtlOwnedString& b)
              { return strcmp(a.Get(), b.Get()) < 0; });
}
} // namespace

void PackStore::BuildDirectoryList()
{
    PackDirectoryList& list = *m_pDirList;
    if (list.m_bBuilt) return;

    CUtlVector<char> pool;
    CUtlVector<int> offsets;
    PathCollector collector = {&pool, &offsets};
    EnumerateEntries(CollectPath, &collector);
    const char* pszPool = pool.Base();
    // strcmp orders by unsigned bytes.
    std::sort(offsets.begin(), offsets.end(),
              [pszPool](int a, int b) { return strcmp(pszPool + a, pszPool + b) < 0; });

    char szPrevDir[260];
    V_BoundedCopy(szPrevDir, kSentinelDir, sizeof(szPrevDir));
    for (int i = 0; i < offsets.Count(); ++i)
    {
        const char* pszPath = pszPool + offsets[i];
        char szDir[260];
        V_CopyDirectoryPart(pszPath, szDir, sizeof(szDir));
        if (V_CompareNoCaseCount(szDir, szPrevDir, 260) != 0)
        {
            V_BoundedCopy(szPrevDir, szDir, sizeof(szPrevDir));
            list.m_dirs.AddToTail(CUtlOwnedString(szDir));
            list.m_groupStart.AddToTail(list.m_nameOffsets.Count());
        }
        const char* pszName = V_FileNamePart(pszPath);
        list.m_nameOffsets.AddToTail(list.m_names.Count());
        list.m_names.AddMultipleToTail((int)strlen(pszName) + 1, pszName);
    }
    list.m_groupStart.AddToTail(list.m_nameOffsets.Count());
    // The tree never changes, so one build serves the store's whole life.
    list.m_bBuilt = true;
}

bool PackStore::IsDirectory(const char* pszPath)
{
    if (!pszPath) return false;
    BuildDirectoryList();
    char szPath[260];
    V_BoundedCopy(szPath, pszPath, sizeof(szPath));
    V_SetSlashes(szPath, '/');
    int nLen = (int)strlen(szPath);
    const PackDirectoryList& list = *m_pDirList;
    for (int i = 0; i < list.m_dirs.Count(); ++i)
    {
        if (V_CompareNoCaseCount(list.m_dirs[i].Get(), szPath, nLen) == 0) return true;
    }
    return false;
}

int PackStore::FindInDirectory(const char* pszPattern, CUtlVector<CUtlOwnedString>* pSubDirs,
                               CUtlVector<CUtlOwnedString>* pFiles, bool bSort, bool bFullPaths)
{
    if (!pszPattern) return pSubDirs ? pSubDirs->Count() : 0;

    char szQueryDir[260];
    char szBase[64];
    char szExt[20];
    if (!V_CopyDirectoryPart(pszPattern, szQueryDir, sizeof(szQueryDir))) szQueryDir[0] = 0;
    V_SetSlashes(szQueryDir, '/');
    V_CopyFileBaseName(pszPattern, szBase, sizeof(szBase));
    if (char* pStar = strchr(szBase, '*')) *pStar = 0;
    V_CopyFileExtension(pszPattern, szExt, sizeof(szExt));
    bool bContains = false;
    if (char* pStar = strchr(szExt, '*'))
    {
        *pStar = 0;
        bContains = true;
    }
    int nQueryLen = (int)strlen(szQueryDir);
    int nBaseLen = (int)strlen(szBase);
    int nExtLen = (int)strlen(szExt);

    BuildDirectoryList();
    const PackDirectoryList& list = *m_pDirList;

    if (pSubDirs)
    {
        int nFirst = pSubDirs->Count();
        CUtlNameMap<int> produced;
        for (int i = 0; i < list.m_dirs.Count(); ++i)
        {
            const char* pszEntry = list.m_dirs[i].Get();
            bool bUnder = nQueryLen ? V_CompareNoCaseCount(pszEntry, szQueryDir, nQueryLen) == 0
                                    : pszEntry[0] == 0;
            if (!bUnder) continue;
            char szRest[128];
            V_BoundedCopy(szRest, pszEntry + nQueryLen, sizeof(szRest));
            if (char* pSlash = strchr(szRest, '/')) *pSlash = 0;
            if (!szRest[0]) continue;
            char szSub[400];
            V_BoundedCopy(szSub, szQueryDir, sizeof(szSub));
            V_BoundedAppend(szSub, szRest, sizeof(szSub));
            if (produced.HasElement(szSub)) continue;
            produced.Insert(szSub, 0);
            pSubDirs->AddToTail(CUtlOwnedString(szSub));
        }
        if (bSort) SortTail(pSubDirs, nFirst);
    }

    if (pFiles)
    {
        int nFirst = pFiles->Count();
        // Names already in the list (from this call or an earlier one) are not
        // added twice; a name map keeps that cheap for large directories.
        CUtlNameMap<int> present;
        for (int i = 0; i < pFiles->Count(); ++i)
            present.Insert((*pFiles)[i].Get(), 0);
        for (int g = 0; g < list.m_dirs.Count(); ++g)
        {
            if (V_CompareNoCaseCount(list.m_dirs[g].Get(), szQueryDir, 260) != 0) continue;
            for (int n = list.m_groupStart[g]; n < list.m_groupStart[g + 1]; ++n)
            {
                const char* pszName = list.m_names.Base() + list.m_nameOffsets[n];
                char szNameBase[128];
                char szNameExt[20];
                V_CopyFileBaseName(pszName, szNameBase, sizeof(szNameBase));
                V_CopyFileExtension(pszName, szNameExt, sizeof(szNameExt));
                if (nBaseLen && V_CompareNoCaseCount(szNameBase, szBase, nBaseLen) != 0) continue;
                if (!bContains || !nExtLen)
                {
                    if (nExtLen && V_CompareNoCaseCount(szNameExt, szExt, nExtLen) != 0) continue;
                }
                else if (!V_FindNoCase(szNameExt, szExt))
                    continue;
                char szOut[400];
                if (bFullPaths)
                {
                    V_BoundedCopy(szOut, szQueryDir, sizeof(szOut));
                    V_BoundedAppend(szOut, pszName, sizeof(szOut));
                }
                else
                    V_BoundedCopy(szOut, pszName, sizeof(szOut));
                if (present.HasElement(szOut)) continue;
                present.Insert(szOut, 0);
                pFiles->AddToTail(CUtlOwnedString(szOut));
            }
        }
        if (bSort) SortTail(pFiles, nFirst);
    }
    return pSubDirs ? pSubDirs->Count() : 0;
}
