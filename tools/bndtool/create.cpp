// bndtool create: packs a folder.
#include "tools/bndtool/bndtool_internal.h"
#include "bndlib/packwriter.h"

#include <cstring>

namespace bndtool
{

namespace
{
const char kCreateUsage[] =
    "usage: bndtool create [options] <source dir> <pack base>\n"
    "\n"
    "Packs every file below <source dir> into <pack base>_dir.bnd and the archives\n"
    "<pack base>_000.bnd, <pack base>_001.bnd, ... Paths are stored in lower case.\n"
    "\n"
    "options:\n"
    "  --archive-size <n>  start a new archive before one grows past n bytes\n"
    "                      (suffixes k, m, g; default 200m)\n"
    "  --preload <n>       keep the first n bytes of every file (at most 65535) in the\n"
    "                      directory file\n"
    "  --embed             store all data in the directory file, no archives\n"
    "  -q, --quiet         no progress line on a terminal\n"
    "  --case-clash=<how>  files whose paths differ only in case: \"error\" (default)\n"
    "                      lists every clash and writes nothing, \"first\" keeps the\n"
    "                      first of each in sorted order and skips the others\n"
    "\n"
    "Symbolic links are followed; a link that leads back to a folder above it is\n"
    "an error.\n";

// A file found below the source folder: its path in the pack as found on
// disk, the stored (lower-case) form that decides clashes, and where it is.
struct SourceFile
{
    CUtlOwnedString m_pack;
    CUtlOwnedString m_stored;
    CUtlOwnedString m_disk;
};

// What the walk found; problems are reported together at the end.
struct Gathered
{
    CUtlVector<SourceFile> m_files;
    CUtlVector<PlatFileId> m_open; // the folders being walked, for link cycles
    int m_nProblems = 0;
};

void StoredPath(const char* pszPack, char* pszOut, int nSize)
{
    char szDir[1024], szName[1024], szExt[1024];
    if (!CPackWriter::NormalizePath(pszPack, szDir, sizeof(szDir), szName, sizeof(szName), szExt,
                                    sizeof(szExt)))
    {
        // The writer refuses it later with its own message.
        V_BoundedCopy(pszOut, pszPack, nSize);
        V_LowerAscii(pszOut);
        return;
    }
    pszOut[0] = 0;
    if (strcmp(szDir, " ") != 0) V_BoundedFormat(pszOut, nSize, "%s/", szDir);
    V_BoundedAppend(pszOut, szName, nSize);
    if (strcmp(szExt, " ") != 0)
    {
        V_BoundedAppend(pszOut, ".", nSize);
        V_BoundedAppend(pszOut, szExt, nSize);
    }
}

// Walks a folder, following symbolic links; a folder reached again below
// itself is a link cycle.
void Gather(Gathered& found, const char* pszDiskDir, const char* pszPackDir, FILE* pErr)
{
    if (found.m_open.Count() > 64)
    {
        Failed(pErr, "folders nested too deeply at %s", pszDiskDir);
        ++found.m_nProblems;
        return;
    }
    PlatFileId id;
    CPathString dirPath(pszDiskDir);
    if (uint32_t unError = Plat_GetFileId(dirPath.GetWCharPath(), &id))
    {
        Failed(pErr, "cannot read folder %s (error %u)", pszDiskDir, unError);
        ++found.m_nProblems;
        return;
    }
    for (int i = 0; i < found.m_open.Count(); ++i)
    {
        if (found.m_open[i].m_ulVolume == id.m_ulVolume &&
            found.m_open[i].m_ulIndex == id.m_ulIndex)
        {
            Failed(pErr, "symbolic link cycle: %s leads back to a folder above it", pszDiskDir);
            ++found.m_nProblems;
            return;
        }
    }
    // A folder that cannot be listed would otherwise look empty.
    {
        CPathString pattern(pszDiskDir, "*");
        PlatFindData data;
        uint32_t unError = 0;
        PlatFindHandle hFind = Plat_FindFirstFile(pattern.GetWCharPath(), &data, &unError);
        if (!hFind && unError != PLAT_ERROR_FILE_NOT_FOUND)
        {
            Failed(pErr, "cannot read folder %s (error %u)", pszDiskDir, unError);
            ++found.m_nProblems;
            return;
        }
        if (hFind) Plat_FindClose(hFind);
    }
    found.m_open.AddToTail(id);
    CDirIterator it(pszDiskDir, "*");
    while (it.BNext())
    {
        char szDisk[2048], szPack[1024];
        V_BoundedFormat(szDisk, sizeof(szDisk), "%s/%s", pszDiskDir, it.CurrentFileName());
        if (pszPackDir[0])
            V_BoundedFormat(szPack, sizeof(szPack), "%s/%s", pszPackDir, it.CurrentFileName());
        else
            V_BoundedCopy(szPack, it.CurrentFileName(), sizeof(szPack));
        if (it.BCurrentIsDir())
        {
            Gather(found, szDisk, szPack, pErr);
            continue;
        }
        char szStored[1024];
        StoredPath(szPack, szStored, sizeof(szStored));
        int i = found.m_files.AddToTail();
        found.m_files[i].m_pack.Set(szPack);
        found.m_files[i].m_stored.Set(szStored);
        found.m_files[i].m_disk.Set(szDisk);
    }
    found.m_open.Remove(found.m_open.Count() - 1);
}

// Sorts the files by their path as found and reports the files whose stored
// paths are the same. With bKeepFirst the first of each clash stays and the
// others are dropped with a warning; otherwise every clash is an error.
// Returns the number of clashes.
int ResolveClashes(CUtlVector<SourceFile>& files, bool bKeepFirst, FILE* pErr)
{
    std::sort(files.begin(), files.end(),
              [](const SourceFile& a, const SourceFile& b)
              { return strcmp(a.m_pack.Get(), b.m_pack.Get()) < 0; });
    // Groups of equal stored paths, each group in sorted order.
    CUtlVector<int> order;
    for (int i = 0; i < files.Count(); ++i)
        order.AddToTail(i);
    std::stable_sort(order.begin(), order.end(),
                     [&files](int a, int b)
                     { return strcmp(files[a].m_stored.Get(), files[b].m_stored.Get()) < 0; });
    CUtlVector<char> drop;
    drop.SetCount(files.Count());
    for (int i = 0; i < drop.Count(); ++i)
        drop[i] = 0;
    int nClashes = 0;
    for (int k = 1; k < order.Count(); ++k)
    {
        const SourceFile& first = files[order[k - 1]];
        const SourceFile& file = files[order[k]];
        if (strcmp(first.m_stored.Get(), file.m_stored.Get()) != 0) continue;
        // Within a group every later file clashes with the group's first.
        int nFirst = k - 1;
        while (nFirst > 0 && drop[order[nFirst]])
            --nFirst;
        const SourceFile& kept = files[order[nFirst]];
        ++nClashes;
        drop[order[k]] = 1;
        if (bKeepFirst)
            fprintf(pErr, "bndtool: warning: skipping %s: it would be stored as %s, like %s\n",
                    file.m_disk.Get(), file.m_stored.Get(), kept.m_disk.Get());
        else
            fprintf(pErr, "bndtool: case clash: %s and %s would both be stored as %s\n",
                    kept.m_disk.Get(), file.m_disk.Get(), file.m_stored.Get());
    }
    if (bKeepFirst && nClashes)
    {
        CUtlVector<SourceFile> kept;
        for (int i = 0; i < files.Count(); ++i)
        {
            if (drop[i]) continue;
            int n = kept.AddToTail();
            kept[n].m_pack.Set(files[i].m_pack.Get());
            kept[n].m_stored.Set(files[i].m_stored.Get());
            kept[n].m_disk.Set(files[i].m_disk.Get());
        }
        files.Swap(kept);
    }
    return nClashes;
}
} // namespace

int CmdCreate(int argc, const char* const* argv, FILE* pOut, FILE* pErr)
{
    CPackWriter writer;
    const char* apszArgs[2];
    int nArgs = 0;
    bool bKeepFirst = false;
    bool bQuiet = false;
    for (int i = 0; i < argc; ++i)
    {
        const char* psz = argv[i];
        if (IsHelp(psz))
        {
            fputs(kCreateUsage, pOut);
            return PACKTOOL_OK;
        }
        uint64_t ul = 0;
        if (strcmp(psz, "--archive-size") == 0 || strcmp(psz, "--preload") == 0)
        {
            if (i + 1 >= argc || !ParseSize(argv[i + 1], &ul))
                return Usage(pErr, kCreateUsage, "%s needs a byte count", psz);
            if (psz[2] == 'a')
            {
                if (ul == 0 || ul > 0x7FFFFFFF)
                    return Usage(pErr, kCreateUsage, "--archive-size must be 1 to 2147483647");
                writer.SetMaxArchiveSize((uint32_t)ul);
            }
            else
            {
                if (ul > 0xFFFF) return Usage(pErr, kCreateUsage, "--preload must be 0 to 65535");
                writer.SetDefaultPreloadSize((int)ul);
            }
            ++i;
        }
        else if (strncmp(psz, "--case-clash=", 13) == 0)
        {
            if (strcmp(psz + 13, "first") == 0)
                bKeepFirst = true;
            else if (strcmp(psz + 13, "error") == 0)
                bKeepFirst = false;
            else
                return Usage(pErr, kCreateUsage, "--case-clash takes \"error\" or \"first\"");
        }
        else if (strcmp(psz, "--quiet") == 0 || strcmp(psz, "-q") == 0)
            bQuiet = true;
        else if (strcmp(psz, "--embed") == 0)
            writer.SetEmbedAll(true);
        else if (psz[0] == '-' && psz[1])
            return Usage(pErr, kCreateUsage, "unknown option %s", psz);
        else if (nArgs < 2)
            apszArgs[nArgs++] = psz;
        else
            return Usage(pErr, kCreateUsage, "too many arguments");
    }
    if (nArgs != 2)
        return Usage(pErr, kCreateUsage, "create needs a source folder and a pack base");
    if (!BDirectoryExists(apszArgs[0])) return Failed(pErr, "\"%s\" is not a folder", apszArgs[0]);
    char szBase[1024];
    PackBaseOf(apszArgs[1], szBase, sizeof(szBase));

    char szSource[1024];
    V_BoundedCopy(szSource, apszArgs[0], sizeof(szSource));
    size_t len = strlen(szSource);
    while (len > 1 && (szSource[len - 1] == '/' || szSource[len - 1] == '\\'))
        szSource[--len] = 0;
    Gathered found;
    Gather(found, szSource, "", pErr);
    if (found.m_nProblems) return PACKTOOL_FAILED;
    int nClashes = ResolveClashes(found.m_files, bKeepFirst, pErr);
    if (nClashes && !bKeepFirst)
        return Failed(pErr,
                      "%d file%s clash with another in case only; no pack written "
                      "(--case-clash=first keeps the first of each)",
                      nClashes, nClashes == 1 ? "" : "s");
    int nUnreadable = 0;
    for (int i = 0; i < found.m_files.Count(); ++i)
    {
        if (!writer.AddDiskFile(found.m_files[i].m_pack.Get(), found.m_files[i].m_disk.Get()))
        {
            Failed(pErr, "%s", writer.GetError());
            ++nUnreadable;
        }
    }
    if (nUnreadable) return PACKTOOL_FAILED;

    // The pack's own folder must exist.
    char szFolder[1024];
    V_BoundedCopy(szFolder, szBase, sizeof(szFolder));
    V_TruncateAtLastSlash(szFolder);
    if (szFolder[0]) CreateDirectories(szFolder);

    Progress progress(pErr, "create", writer.GetFileCount(), writer.GetTotalBytes(), bQuiet);
    CreateProgress context = {&progress, &writer};
    if (!writer.Write(szBase, WriterProgress, &context))
    {
        progress.Done();
        return Failed(pErr, "%s", writer.GetError());
    }
    progress.Done();
    fprintf(pOut,
            "created " BND_DIRECTORY_FILE_FORMAT ": %d files, %d archives, %llu bytes of data\n",
            szBase, writer.GetFileCount(), writer.GetArchiveCount(),
            (unsigned long long)writer.GetTotalBytes());
    return PACKTOOL_OK;
}

} // namespace bndtool
