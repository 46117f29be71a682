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
    "  --embed             store all data in the directory file, no archives\n";

bool AddFolder(CPackWriter& writer, const char* pszDiskDir, const char* pszPackDir, FILE* pErr,
               int nDepth)
{
    if (nDepth > 64)
    {
        Failed(pErr, "folders nested too deeply at %s", pszDiskDir);
        return false;
    }
    // Names are gathered and sorted first so that the same folder always gives
    // the same messages in the same order.
    CUtlVector<CUtlOwnedString> names;
    CUtlVector<char> isDir;
    CDirIterator it(pszDiskDir, "*");
    while (it.BNext())
    {
        names.AddToTail(CUtlOwnedString(it.CurrentFileName()));
        isDir.AddToTail(it.BCurrentIsDir() ? 1 : 0);
    }
    CUtlVector<int> order;
    for (int i = 0; i < names.Count(); ++i)
        order.AddToTail(i);
    std::sort(order.begin(), order.end(),
              [&names](int a, int b) { return strcmp(names[a].Get(), names[b].Get()) < 0; });
    for (int k = 0; k < order.Count(); ++k)
    {
        int i = order[k];
        char szDisk[2048], szPack[1024];
        V_BoundedFormat(szDisk, sizeof(szDisk), "%s/%s", pszDiskDir, names[i].Get());
        if (pszPackDir[0])
            V_BoundedFormat(szPack, sizeof(szPack), "%s/%s", pszPackDir, names[i].Get());
        else
            V_BoundedCopy(szPack, names[i].Get(), sizeof(szPack));
        if (isDir[i])
        {
            if (!AddFolder(writer, szDisk, szPack, pErr, nDepth + 1)) return false;
        }
        else if (!writer.AddDiskFile(szPack, szDisk))
        {
            Failed(pErr, "%s", writer.GetError());
            return false;
        }
    }
    return true;
}
} // namespace

int CmdCreate(int argc, const char* const* argv, FILE* pOut, FILE* pErr)
{
    CPackWriter writer;
    const char* apszArgs[2];
    int nArgs = 0;
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
    if (!AddFolder(writer, szSource, "", pErr, 0)) return PACKTOOL_FAILED;

    // The pack's own folder must exist.
    char szFolder[1024];
    V_BoundedCopy(szFolder, szBase, sizeof(szFolder));
    V_TruncateAtLastSlash(szFolder);
    if (szFolder[0]) CreateDirectories(szFolder);

    Progress progress(pErr, "create", writer.GetTotalBytes());
    if (!writer.Write(szBase, WriterProgress, &progress))
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
