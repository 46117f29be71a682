// bndtool resolve: which file a game gets for a path, found by the file
// layer's own mount and lookup code.
#include "tools/bndtool/bndtool_internal.h"

#include "plinth/platform/platform_env.h"
#include "quern2wrapper/files/files.h"
#include "quern2wrapper/quernerror.h"

#include <cstdlib>
#include <cstring>

namespace bndtool
{

namespace
{
const char kResolveUsage[] =
    "usage: bndtool resolve [options] <path>...\n"
    "\n"
    "Mounts packs as the library does when a game starts in the install directory\n"
    "(the \"mount\" section of its quern_bnds.kvt, else the installed depots, else\n"
    "every bnds/depot_*_dir.bnd), prints the mount order and, for each path, the\n"
    "pack that serves it or the disk file it falls back to, and the packs further\n"
    "down that hold it too.\n"
    "\n"
    "options:\n"
    "  --dir <install dir>   where the game starts (default: the current directory)\n"
    "  --depots <id,id,...>  the installed depots the client reports, in its order\n"
    "                        (default: none)\n";

const int kMaxDepots = 64;

struct DepotList
{
    uint32_t m_ids[kMaxDepots];
    uint32_t m_nCount;
};

uint32_t ListedDepots(uint32_t* pDepots, uint32_t nMax, void* pContext)
{
    const DepotList& list = *(const DepotList*)pContext;
    for (uint32_t i = 0; i < list.m_nCount && i < nMax; ++i)
        pDepots[i] = list.m_ids[i];
    return list.m_nCount;
}

bool ParseDepots(const char* psz, DepotList* pList)
{
    pList->m_nCount = 0;
    while (*psz)
    {
        char* pEnd = nullptr;
        unsigned long ul = strtoul(psz, &pEnd, 10);
        if (pEnd == psz || ul > 0xFFFFFFFFul || pList->m_nCount >= (uint32_t)kMaxDepots)
            return false;
        pList->m_ids[pList->m_nCount++] = (uint32_t)ul;
        psz = pEnd;
        if (*psz == ',')
            ++psz;
        else if (*psz)
            return false;
    }
    return pList->m_nCount > 0;
}

const char* SourceName(DefaultMountSource source)
{
    switch (source)
    {
    case DEFAULT_MOUNTS_CONFIG:
        return "the mount section of quern_bnds.kvt";
    case DEFAULT_MOUNTS_DEPOTS:
        return "the installed depots";
    case DEFAULT_MOUNTS_SCAN:
        return "the scan of bnds";
    default:
        return "nothing";
    }
}

void PrintEntry(FILE* pOut, const char* pszLabel, const PackStore& store,
                const PackEntryHandle& entry)
{
    char szArchive[16];
    FormatArchive(entry.m_nArchiveIndex, szArchive, sizeof(szArchive));
    fprintf(pOut, "  %-9s " BND_DIRECTORY_FILE_FORMAT ": %d bytes, archive %s, offset %d\n",
            pszLabel, store.GetAbsolutePath(), (int)entry.m_nSize, szArchive, (int)entry.m_nOffset);
}

// The library skips a pack without a word when its directory file is
// missing; the tool names each one and the file it looked for.
void PrintSkippedPacks(const char* pszInstallDir, const DepotList* pDepots, FILE* pOut)
{
    CUtlVector<CUtlOwnedString> bases;
    DefaultMountSource source;
    bool bSpew = false;
    if (!ListDefaultPacksFrom(pszInstallDir, pDepots ? ListedDepots : nullptr, (void*)pDepots,
                              &bases, &source, &bSpew))
        return;
    for (const CUtlOwnedString& base : bases)
    {
        char szDirFile[BND_MAX_BASE_PATH + 16];
        V_BoundedFormat(szDirFile, sizeof(szDirFile), BND_DIRECTORY_FILE_FORMAT, base.Get());
        if (!BFileExists(szDirFile) && !BFileExists(base.Get()))
            fprintf(pOut, "  skipped   %s (no such file)\n", szDirFile);
    }
}

// Mounts, answers and unmounts again; the caller has moved into the install
// directory.
int ResolveIn(const char* pszInstallDir, const DepotList* pDepots, int nPaths,
              const char* const* ppszPaths, FILE* pOut, FILE* pErr)
{
    RecordWorkingDirectory();
    UnmountAll();
    unsigned char bVerbose = verboseLogging;
    DefaultMountSource source;
    bool bMounted = MountDefaultPacksFrom(pszInstallDir, pDepots ? ListedDepots : nullptr,
                                          (void*)pDepots, &source);
    verboseLogging = bVerbose;
    if (!bMounted)
    {
        UnmountAll();
        return Failed(pErr, "%s/quern_bnds.kvt does not parse; the library would fail to start",
                      pszInstallDir);
    }

    MountTable& mounts = GetMountTable();
    fprintf(pOut, "mounts from %s, searched first to last:\n", SourceName(source));
    if (mounts.Count() == 0) fputs("  (none)\n", pOut);
    for (int i = 0; i < mounts.Count(); ++i)
        fprintf(pOut, "  %d. " BND_DIRECTORY_FILE_FORMAT "\n", i + 1, mounts[i]->GetAbsolutePath());
    PrintSkippedPacks(pszInstallDir, pDepots, pOut);

    int nMissing = 0;
    for (int p = 0; p < nPaths; ++p)
    {
        fprintf(pOut, "%s\n", ppszPaths[p]);
        PackEntryHandle entry;
        int nAt = FindInMounts(ppszPaths[p], 0, &entry);
        if (nAt < 0)
        {
            // Reads fall back to the file as named, from the working directory.
            bool bExists = BFileExists(ppszPaths[p]);
            fprintf(pOut, "  disk      %s%s\n", ppszPaths[p], bExists ? "" : " (no such file)");
            if (!bExists) ++nMissing;
            continue;
        }
        PrintEntry(pOut, "pack", *mounts[nAt], entry);
        while ((nAt = FindInMounts(ppszPaths[p], nAt + 1, &entry)) >= 0)
            PrintEntry(pOut, "shadowed", *mounts[nAt], entry);
    }
    UnmountAll();
    return nMissing ? PACKTOOL_FAILED : PACKTOOL_OK;
}
} // namespace

int CmdResolve(int argc, const char* const* argv, FILE* pOut, FILE* pErr)
{
    const char* pszDir = nullptr;
    DepotList depots;
    bool bDepots = false;
    CUtlVector<const char*> paths;
    for (int i = 0; i < argc; ++i)
    {
        const char* psz = argv[i];
        if (IsHelp(psz))
        {
            fputs(kResolveUsage, pOut);
            return PACKTOOL_OK;
        }
        if (strcmp(psz, "--dir") == 0)
        {
            if (i + 1 >= argc) return Usage(pErr, kResolveUsage, "--dir needs a folder");
            pszDir = argv[++i];
        }
        else if (strcmp(psz, "--depots") == 0)
        {
            if (i + 1 >= argc || !ParseDepots(argv[i + 1], &depots))
                return Usage(pErr, kResolveUsage,
                             "--depots needs a list of depot ids like 441,442 (at most %d)",
                             kMaxDepots);
            bDepots = true;
            ++i;
        }
        else if (psz[0] == '-' && psz[1])
            return Usage(pErr, kResolveUsage, "unknown option %s", psz);
        else
            paths.AddToTail(psz);
    }
    if (paths.Count() == 0) return Usage(pErr, kResolveUsage, "resolve needs a path");

    char szPrevious[1024];
    if (Plat_GetCurrentDirectory(szPrevious, sizeof(szPrevious)) == 0)
        return Failed(pErr, "cannot tell the current directory");
    if (pszDir && !Plat_SetCurrentDirectory(pszDir))
        return Failed(pErr, "\"%s\" is not a folder", pszDir);
    // The client reports the install directory in full.
    char szInstall[1024];
    uint32_t len = Plat_GetCurrentDirectory(szInstall, sizeof(szInstall));
    int nResult;
    if (len == 0 || len >= sizeof(szInstall))
        nResult = Failed(pErr, "cannot tell the install directory");
    else
        nResult = ResolveIn(szInstall, bDepots ? &depots : nullptr, paths.Count(), paths.Base(),
                            pOut, pErr);
    Plat_SetCurrentDirectory(szPrevious);
    RecordWorkingDirectory();
    return nResult;
}

} // namespace bndtool
