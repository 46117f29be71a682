#include "bndlib/packtool.h"

#include "bndlib/packcrc.h"
#include "bndlib/packstore.h"
#include "bndlib/packwriter.h"
#include "plinth/platform/platform_console.h"
#include "trestle/fileio.h"
#include "trestle/strtools.h"
#include "trestle/utlstring.h"
#include "trestle/utlvector.h"

#include <algorithm>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

namespace
{
const uint32_t kPiece = 1024 * 1024;
// Packs with less data than this finish too fast to need a progress line.
const uint64_t kProgressThreshold = 64ull * 1024 * 1024;

const char kUsage[] =
    "usage: bndtool <command> [options] ...\n"
    "\n"
    "commands:\n"
    "  create   build a pack from a folder\n"
    "  list     list the files of a pack\n"
    "  extract  copy files out of a pack\n"
    "  cat      write one file of a pack to standard output\n"
    "  verify   re-compute every CRC and check every chunk\n"
    "  info     show the header, counts and archives of a pack\n"
    "\n"
    "A pack is named by its base path (\"pak01\") or its directory file (\"pak01_dir.bnd\").\n"
    "Run \"bndtool <command> --help\" for the options of a command.\n";

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

const char kListUsage[] =
    "usage: bndtool list [options] <pack> [patterns...]\n"
    "\n"
    "Lists the paths of the pack in byte order; patterns ('*', '?', no case) select.\n"
    "\n"
    "options:\n"
    "  -s, --sizes     show each file's size\n"
    "  -a, --archives  show the archive and offset of each file's data\n"
    "  -p, --preload   show each file's preload bytes\n"
    "  -l              all of the above\n";

const char kExtractUsage[] =
    "usage: bndtool extract <pack> <out dir> [patterns...]\n"
    "\n"
    "Writes the files of the pack (those matching a pattern, if any) below <out dir>.\n"
    "Patterns use '*' and '?' and ignore case; \"maps/\" selects a whole folder.\n";

const char kCatUsage[] = "usage: bndtool cat <pack> <path>\n"
                         "\n"
                         "Writes the file at <path> (looked up as a game would) to standard "
                         "output.\n";

const char kVerifyUsage[] =
    "usage: bndtool verify <pack>\n"
    "\n"
    "Reads every file, re-computes its CRC and checks that every chunk lies in its\n"
    "archive. Exits with 1 when anything is wrong.\n";

const char kInfoUsage[] = "usage: bndtool info <pack>\n"
                          "\n"
                          "Shows the header, the counts of files, extensions and directories, "
                          "and the archives.\n";

bool IsHelp(const char* psz)
{
    return strcmp(psz, "--help") == 0 || strcmp(psz, "-h") == 0;
}

int Usage(FILE* pErr, const char* pszUsage, const char* pszFormat = nullptr, ...)
{
    if (pszFormat)
    {
        va_list args;
        va_start(args, pszFormat);
        fputs("bndtool: ", pErr);
        vfprintf(pErr, pszFormat, args);
        fputs("\n\n", pErr);
        va_end(args);
    }
    fputs(pszUsage, pErr);
    return PACKTOOL_USAGE;
}

int Failed(FILE* pErr, const char* pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    fputs("bndtool: ", pErr);
    vfprintf(pErr, pszFormat, args);
    fputs("\n", pErr);
    va_end(args);
    return PACKTOOL_FAILED;
}

// A progress line on a terminal, redrawn in place.
class Progress
{
public:
    Progress(FILE* pErr, const char* pszWhat, uint64_t ulTotal)
        : m_pErr(pErr), m_pszWhat(pszWhat), m_ulTotal(ulTotal), m_nLastPercent(-1),
          m_bActive(ulTotal >= kProgressThreshold && Plat_IsTerminal(pErr))
    {
    }
    ~Progress() { Done(); }
    void Update(uint64_t ulDone)
    {
        if (!m_bActive || !m_ulTotal) return;
        int nPercent = (int)(ulDone * 100 / m_ulTotal);
        if (nPercent == m_nLastPercent) return;
        m_nLastPercent = nPercent;
        fprintf(m_pErr, "\r%s: %3d%% (%llu of %llu MB)", m_pszWhat, nPercent,
                (unsigned long long)(ulDone >> 20), (unsigned long long)(m_ulTotal >> 20));
        fflush(m_pErr);
    }
    void Done()
    {
        if (m_bActive && m_nLastPercent >= 0) fputs("\r\033[K", m_pErr);
        m_bActive = false;
    }

private:
    FILE* m_pErr;
    const char* m_pszWhat;
    uint64_t m_ulTotal;
    int m_nLastPercent;
    bool m_bActive;
};

void WriterProgress(uint64_t ulDone, uint64_t, void* pContext)
{
    ((Progress*)pContext)->Update(ulDone);
}

// "pak01_dir.bnd" and "pak01" both name the pack "pak01".
void PackBaseOf(const char* pszName, char* pszBase, int nSize)
{
    V_BoundedCopy(pszBase, pszName, nSize);
    if (char* pSuffix = V_EndsWithNoCase(pszBase, "_dir.bnd")) *pSuffix = 0;
}

bool ParseSize(const char* psz, uint64_t* pulOut)
{
    char* pEnd = nullptr;
    unsigned long long ull = strtoull(psz, &pEnd, 10);
    if (pEnd == psz) return false;
    switch (*pEnd)
    {
    case 'k':
    case 'K':
        ull <<= 10;
        ++pEnd;
        break;
    case 'm':
    case 'M':
        ull <<= 20;
        ++pEnd;
        break;
    case 'g':
    case 'G':
        ull <<= 30;
        ++pEnd;
        break;
    default:
        break;
    }
    if (*pEnd) return false;
    *pulOut = ull;
    return true;
}

// One file of the pack as the tree stores it, with its printable path.
struct ToolEntry
{
    CUtlOwnedString m_path;
    PackEntryInfo m_info;
};

void FormatPath(const PackEntryInfo& info, char* pszOut, int nSize)
{
    pszOut[0] = 0;
    if (strcmp(info.m_pszDirectory, " ") != 0)
    {
        V_BoundedAppend(pszOut, info.m_pszDirectory, nSize);
        V_BoundedAppend(pszOut, "/", nSize);
    }
    V_BoundedAppend(pszOut, info.m_pszName, nSize);
    if (strcmp(info.m_pszExtension, " ") != 0)
    {
        V_BoundedAppend(pszOut, ".", nSize);
        V_BoundedAppend(pszOut, info.m_pszExtension, nSize);
    }
}

bool CollectEntry(const PackEntryInfo& info, void* pContext)
{
    CUtlVector<ToolEntry>& entries = *(CUtlVector<ToolEntry>*)pContext;
    char szPath[600];
    FormatPath(info, szPath, sizeof(szPath));
    int i = entries.AddToTail();
    entries[i].m_path.Set(szPath);
    entries[i].m_info = info;
    return true;
}

// The pack's files in byte order of their paths.
void CollectEntries(const PackStore& store, CUtlVector<ToolEntry>* pEntries)
{
    store.EnumerateEntries(CollectEntry, pEntries);
    std::stable_sort(pEntries->begin(), pEntries->end(),
                     [](const ToolEntry& a, const ToolEntry& b)
                     { return strcmp(a.m_path.Get(), b.m_path.Get()) < 0; });
}

bool MatchesAny(const char* pszPath, int nPatterns, const char* const* ppszPatterns)
{
    if (nPatterns == 0) return true;
    for (int i = 0; i < nPatterns; ++i)
        if (PackTool_PathMatches(ppszPatterns[i], pszPath)) return true;
    return false;
}

// Checks that the pack's directory file exists; a missing one is an error,
// an empty tree is not.
bool FindPack(const char* pszName, char* pszBase, int nBaseSize, FILE* pErr)
{
    PackBaseOf(pszName, pszBase, nBaseSize);
    char szDirFile[1100];
    V_BoundedFormat(szDirFile, sizeof(szDirFile), "%s_dir.bnd", pszBase);
    char szLower[1100];
    V_BoundedCopy(szLower, szDirFile, sizeof(szLower));
    V_LowerAscii(szLower);
    if (!BFileExists(szDirFile) && !BFileExists(szLower))
    {
        Failed(pErr, "cannot open pack \"%s\": no file %s", pszName, szDirFile);
        return false;
    }
    return true;
}

// The arguments of a command that takes exactly one pack and no options.
// PACKTOOL_CONTINUE with *ppszPack set, else the exit code to return.
const int PACKTOOL_CONTINUE = -1;
int ParseOnePack(int argc, const char* const* argv, const char* pszUsage, const char* pszCommand,
                 FILE* pOut, FILE* pErr, const char** ppszPack)
{
    *ppszPack = nullptr;
    for (int i = 0; i < argc; ++i)
    {
        if (IsHelp(argv[i]))
        {
            fputs(pszUsage, pOut);
            return PACKTOOL_OK;
        }
        if (argv[i][0] == '-' && argv[i][1])
            return Usage(pErr, pszUsage, "unknown option %s", argv[i]);
        if (*ppszPack) return Usage(pErr, pszUsage, "too many arguments");
        *ppszPack = argv[i];
    }
    if (!*ppszPack) return Usage(pErr, pszUsage, "%s needs a pack", pszCommand);
    return PACKTOOL_CONTINUE;
}

bool CheckLoaded(const PackStore& store, FILE* pErr)
{
    if (!store.IsDamaged()) return true;
    Failed(pErr, "%s_dir.bnd is not a readable pack (damaged directory tree)", store.GetBasePath());
    return false;
}

// Reads entry data straight from the archive files, so damaged chunks are
// reported by the tool instead of the reader's assertion.
class ChunkReader
{
public:
    explicit ChunkReader(const PackStore& store)
        : m_store(store), m_nOpen(-2), m_hFile(PLAT_INVALID_FILE), m_ulSize(0)
    {
    }
    ~ChunkReader() { Close(); }

    // Makes the chunk's archive current; false with a reason when the chunk
    // does not lie wholly in an existing archive.
    bool Check(const PackChunk& chunk, int64_t* pnStart, char* pszWhy, int nWhySize)
    {
        if (!Open(chunk.m_nArchiveIndex))
        {
            V_BoundedFormat(pszWhy, nWhySize, "archive %s missing", m_szName);
            return false;
        }
        int64_t nStart = chunk.m_uOffset;
        if (chunk.m_nArchiveIndex == BND_DIRECTORY_ARCHIVE_INDEX)
            nStart += m_store.GetEmbeddedDataBase();
        if ((uint64_t)nStart + chunk.m_uLength > m_ulSize)
        {
            V_BoundedFormat(pszWhy, nWhySize,
                            "bytes %lld..%lld lie beyond the end of %s (%llu bytes)",
                            (long long)nStart, (long long)nStart + chunk.m_uLength, m_szName,
                            (unsigned long long)m_ulSize);
            return false;
        }
        *pnStart = nStart;
        return true;
    }

    bool Read(int64_t nAt, void* pDest, uint32_t cub)
    {
        uint32_t cubRead = 0;
        return ReadFileHandleAt(m_hFile, pDest, cub, (uint64_t)nAt, &cubRead) == 0 &&
               cubRead == cub;
    }

    // Streams preload bytes and the first chunk through the callback.
    template <class F>
    bool ReadEntry(const PackEntryInfo& info, char* pszWhy, int nWhySize, F&& sink)
    {
        if (info.m_record.m_uPreloadSize)
            sink(info.m_record.m_pPreload, (uint32_t)info.m_record.m_uPreloadSize);
        if (info.m_firstChunk.m_uLength == 0) return true;
        int64_t nStart = 0;
        if (!Check(info.m_firstChunk, &nStart, pszWhy, nWhySize)) return false;
        m_buffer.SetCount((int)kPiece);
        for (uint32_t cubDone = 0; cubDone < info.m_firstChunk.m_uLength;)
        {
            uint32_t cub = std::min(kPiece, info.m_firstChunk.m_uLength - cubDone);
            if (!Read(nStart + cubDone, m_buffer.Base(), cub))
            {
                V_BoundedFormat(pszWhy, nWhySize, "read error in %s", m_szName);
                return false;
            }
            sink(m_buffer.Base(), cub);
            cubDone += cub;
        }
        return true;
    }

private:
    bool Open(int nArchive)
    {
        if (nArchive == m_nOpen) return m_hFile != PLAT_INVALID_FILE;
        Close();
        m_nOpen = nArchive;
        m_store.BuildArchiveFileName(nArchive, m_szName, sizeof(m_szName));
        if (OpenFileHandle(m_szName, PLAT_FILE_ACCESS_READ, PLAT_FILE_SHARE_READ,
                           PLAT_FILE_OPEN_EXISTING, 0, &m_hFile) != 0)
        {
            m_hFile = PLAT_INVALID_FILE;
            return false;
        }
        if (GetFileHandleSize(m_hFile, &m_ulSize) != 0) m_ulSize = 0;
        return true;
    }
    void Close()
    {
        if (m_hFile != PLAT_INVALID_FILE) CloseFileHandle(m_hFile);
        m_hFile = PLAT_INVALID_FILE;
    }

    const PackStore& m_store;
    int m_nOpen;
    PlatFileHandle m_hFile;
    uint64_t m_ulSize;
    char m_szName[1100];
    CUtlVector<uint8_t> m_buffer;
};

//-----------------------------------------------------------------------------
// create
//-----------------------------------------------------------------------------

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
    fprintf(pOut, "created %s_dir.bnd: %d files, %d archives, %llu bytes of data\n", szBase,
            writer.GetFileCount(), writer.GetArchiveCount(),
            (unsigned long long)writer.GetTotalBytes());
    return PACKTOOL_OK;
}

//-----------------------------------------------------------------------------
// list, info
//-----------------------------------------------------------------------------

void FormatArchive(int nArchive, char* psz, int nSize)
{
    if (nArchive == BND_DIRECTORY_ARCHIVE_INDEX)
        V_BoundedCopy(psz, "dir", nSize);
    else
        V_BoundedFormat(psz, nSize, "%03d", nArchive);
}

int CmdList(int argc, const char* const* argv, FILE* pOut, FILE* pErr)
{
    bool bSizes = false, bArchives = false, bPreload = false;
    const char* pszPack = nullptr;
    CUtlVector<const char*> patterns;
    for (int i = 0; i < argc; ++i)
    {
        const char* psz = argv[i];
        if (IsHelp(psz))
        {
            fputs(kListUsage, pOut);
            return PACKTOOL_OK;
        }
        if (!strcmp(psz, "-s") || !strcmp(psz, "--sizes"))
            bSizes = true;
        else if (!strcmp(psz, "-a") || !strcmp(psz, "--archives"))
            bArchives = true;
        else if (!strcmp(psz, "-p") || !strcmp(psz, "--preload"))
            bPreload = true;
        else if (!strcmp(psz, "-l"))
            bSizes = bArchives = bPreload = true;
        else if (psz[0] == '-' && psz[1])
            return Usage(pErr, kListUsage, "unknown option %s", psz);
        else if (!pszPack)
            pszPack = psz;
        else
            patterns.AddToTail(psz);
    }
    if (!pszPack) return Usage(pErr, kListUsage, "list needs a pack");
    char szBase[1024];
    if (!FindPack(pszPack, szBase, sizeof(szBase), pErr)) return PACKTOOL_FAILED;
    PackStore store(szBase);
    if (!CheckLoaded(store, pErr)) return PACKTOOL_FAILED;
    CUtlVector<ToolEntry> entries;
    CollectEntries(store, &entries);
    if (bSizes || bArchives || bPreload)
    {
        if (bSizes) fprintf(pOut, "%12s  ", "size");
        if (bArchives) fprintf(pOut, "%7s  %10s  ", "archive", "offset");
        if (bPreload) fprintf(pOut, "%7s  ", "preload");
        fputs("path\n", pOut);
    }
    for (int i = 0; i < entries.Count(); ++i)
    {
        const ToolEntry& e = entries[i];
        if (!MatchesAny(e.m_path.Get(), patterns.Count(), patterns.Base())) continue;
        if (bSizes) fprintf(pOut, "%12lld  ", (long long)e.m_info.m_nSize);
        if (bArchives)
        {
            char szArchive[16];
            FormatArchive(e.m_info.m_firstChunk.m_nArchiveIndex, szArchive, sizeof(szArchive));
            fprintf(pOut, "%7s  %10u  ", szArchive, e.m_info.m_firstChunk.m_uOffset);
        }
        if (bPreload) fprintf(pOut, "%7u  ", (unsigned)e.m_info.m_record.m_uPreloadSize);
        fprintf(pOut, "%s\n", e.m_path.Get());
    }
    return PACKTOOL_OK;
}

int CmdInfo(int argc, const char* const* argv, FILE* pOut, FILE* pErr)
{
    const char* pszPack = nullptr;
    int nResult = ParseOnePack(argc, argv, kInfoUsage, "info", pOut, pErr, &pszPack);
    if (nResult != PACKTOOL_CONTINUE) return nResult;
    char szBase[1024];
    if (!FindPack(pszPack, szBase, sizeof(szBase), pErr)) return PACKTOOL_FAILED;
    PackStore store(szBase);
    if (!CheckLoaded(store, pErr)) return PACKTOOL_FAILED;
    const PackDirectoryHeader& h = store.GetHeader();
    fprintf(pOut, "pack:                  %s\n", szBase);
    if (store.GetHeaderSize() == 0)
        fprintf(pOut, "header:                none (the whole file is the tree)\n");
    else
    {
        fprintf(pOut, "version:               %d\n", h.m_nVersion);
        fprintf(pOut, "header size:           %d\n", store.GetHeaderSize());
    }
    fprintf(pOut, "tree size:             %u\n", store.GetTreeSize());
    fprintf(pOut, "embedded data:         %u\n", h.m_uEmbeddedDataSize);
    fprintf(pOut, "archive checksums:     %u\n", h.m_uArchiveChecksumSize);
    fprintf(pOut, "other checksums:       %u\n", h.m_uOtherChecksumSize);
    fprintf(pOut, "signature:             %u\n", h.m_uSignatureSize);
    fprintf(pOut, "files:                 %d\n", store.GetEntryCount());
    fprintf(pOut, "extensions:            %d\n", store.GetExtensionCount());
    fprintf(pOut, "directories:           %d\n", store.GetDirectoryCount());

    // Per archive: files whose data starts there and the bytes they use.
    struct ArchiveUse
    {
        int m_nIndex;
        int m_nFiles;
        uint64_t m_ulBytes;
    };
    CUtlVector<ArchiveUse> archives;
    uint64_t ulPreload = 0, ulData = 0;
    CUtlVector<ToolEntry> entries;
    CollectEntries(store, &entries);
    for (int i = 0; i < entries.Count(); ++i)
    {
        const PackEntryInfo& info = entries[i].m_info;
        ulPreload += info.m_record.m_uPreloadSize;
        ulData += (uint64_t)info.m_nSize;
        if (info.m_firstChunk.m_uLength == 0) continue;
        int a = 0;
        while (a < archives.Count() && archives[a].m_nIndex != info.m_firstChunk.m_nArchiveIndex)
            ++a;
        if (a == archives.Count())
            archives.AddToTail(ArchiveUse{info.m_firstChunk.m_nArchiveIndex, 0, 0});
        archives[a].m_nFiles++;
        archives[a].m_ulBytes += info.m_firstChunk.m_uLength;
    }
    std::sort(archives.begin(), archives.end(),
              [](const ArchiveUse& a, const ArchiveUse& b) { return a.m_nIndex < b.m_nIndex; });
    fprintf(pOut, "file data:             %llu bytes (%llu in preload)\n",
            (unsigned long long)ulData, (unsigned long long)ulPreload);
    fprintf(pOut, "archives:              %d\n", archives.Count());
    for (int a = 0; a < archives.Count(); ++a)
    {
        char szName[1100], szArchive[16];
        store.BuildArchiveFileName(archives[a].m_nIndex, szName, sizeof(szName));
        FormatArchive(archives[a].m_nIndex, szArchive, sizeof(szArchive));
        CFileReader reader;
        uint64_t ulSize = 0;
        bool bThere = reader.BOpenFile(szName) && reader.GetFileSize(&ulSize);
        if (bThere)
            fprintf(pOut, "  %s  %6d files  %12llu bytes used  %12llu bytes on disk  %s\n",
                    szArchive, archives[a].m_nFiles, (unsigned long long)archives[a].m_ulBytes,
                    (unsigned long long)ulSize, szName);
        else
            fprintf(pOut, "  %s  %6d files  %12llu bytes used  missing       %s\n", szArchive,
                    archives[a].m_nFiles, (unsigned long long)archives[a].m_ulBytes, szName);
    }
    return PACKTOOL_OK;
}

//-----------------------------------------------------------------------------
// extract, cat, verify
//-----------------------------------------------------------------------------

int CmdExtract(int argc, const char* const* argv, FILE* pOut, FILE* pErr)
{
    const char* pszPack = nullptr;
    const char* pszOutDir = nullptr;
    CUtlVector<const char*> patterns;
    for (int i = 0; i < argc; ++i)
    {
        const char* psz = argv[i];
        if (IsHelp(psz))
        {
            fputs(kExtractUsage, pOut);
            return PACKTOOL_OK;
        }
        if (psz[0] == '-' && psz[1]) return Usage(pErr, kExtractUsage, "unknown option %s", psz);
        if (!pszPack)
            pszPack = psz;
        else if (!pszOutDir)
            pszOutDir = psz;
        else
            patterns.AddToTail(psz);
    }
    if (!pszOutDir) return Usage(pErr, kExtractUsage, "extract needs a pack and an output folder");
    char szBase[1024];
    if (!FindPack(pszPack, szBase, sizeof(szBase), pErr)) return PACKTOOL_FAILED;
    PackStore store(szBase);
    if (!CheckLoaded(store, pErr)) return PACKTOOL_FAILED;
    CUtlVector<ToolEntry> entries;
    CollectEntries(store, &entries);

    uint64_t ulTotal = 0;
    CUtlVector<int> chosen;
    for (int i = 0; i < entries.Count(); ++i)
    {
        // A path the tree holds twice is what a lookup finds: extract it once.
        if (i > 0 && strcmp(entries[i].m_path.Get(), entries[i - 1].m_path.Get()) == 0) continue;
        if (!MatchesAny(entries[i].m_path.Get(), patterns.Count(), patterns.Base())) continue;
        chosen.AddToTail(i);
        ulTotal += (uint64_t)std::max<int64_t>(entries[i].m_info.m_nSize, 0);
    }
    if (patterns.Count() && !chosen.Count()) return Failed(pErr, "no file of %s matches", szBase);

    Progress progress(pErr, "extract", ulTotal);
    uint64_t ulDone = 0;
    ChunkReader reader(store);
    int nFailed = 0;
    for (int k = 0; k < chosen.Count(); ++k)
    {
        const ToolEntry& e = entries[chosen[k]];
        // The entry a game would get, so shadowed copies never win.
        PackEntryHandle h = store.FindEntry(e.m_path.Get());
        const char* pszName = h.m_pszName ? h.m_pszName : e.m_info.m_pszName;
        PackEntryInfo info = e.m_info;
        if (h.IsValid() && pszName != e.m_info.m_pszName)
        {
            // Re-read the record that the lookup chose.
            PackRecordView view;
            if (PackParseRecord((const uint8_t*)pszName + strlen(pszName) + 1,
                                store.GetTreeBytes() + store.GetTreeSize(), &view))
            {
                info.m_record = view;
                info.m_firstChunk = PackDecodeChunk(view.m_pFirstChunk);
                info.m_nSize = (int64_t)view.m_uPreloadSize + info.m_firstChunk.m_uLength;
            }
        }
        char szOut[2048];
        V_BoundedFormat(szOut, sizeof(szOut), "%s/%s", pszOutDir, e.m_path.Get());
        CFileWriter writer;
        if (!writer.Open(szOut))
        {
            progress.Done();
            return Failed(pErr, "cannot create %s", szOut);
        }
        char szWhy[512];
        bool bWriteOk = true;
        bool bOk = reader.ReadEntry(info, szWhy, sizeof(szWhy),
                                    [&](const uint8_t* p, uint32_t cub)
                                    {
                                        bWriteOk = bWriteOk && writer.Write(p, cub);
                                        ulDone += cub;
                                        progress.Update(ulDone);
                                    });
        writer.Close();
        if (!bWriteOk)
        {
            progress.Done();
            return Failed(pErr, "cannot write %s", szOut);
        }
        if (!bOk)
        {
            progress.Done();
            fprintf(pErr, "bndtool: %s: %s\n", e.m_path.Get(), szWhy);
            ++nFailed;
        }
    }
    progress.Done();
    fprintf(pOut, "extracted %d files (%llu bytes) to %s\n", chosen.Count() - nFailed,
            (unsigned long long)ulDone, pszOutDir);
    if (nFailed) return Failed(pErr, "%d files could not be read", nFailed);
    return PACKTOOL_OK;
}

int CmdCat(int argc, const char* const* argv, FILE* pOut, FILE* pErr)
{
    const char* apszArgs[2];
    int nArgs = 0;
    for (int i = 0; i < argc; ++i)
    {
        if (IsHelp(argv[i]))
        {
            fputs(kCatUsage, pOut);
            return PACKTOOL_OK;
        }
        if (nArgs == 2) return Usage(pErr, kCatUsage, "too many arguments");
        apszArgs[nArgs++] = argv[i];
    }
    if (nArgs != 2) return Usage(pErr, kCatUsage, "cat needs a pack and a path");
    char szBase[1024];
    if (!FindPack(apszArgs[0], szBase, sizeof(szBase), pErr)) return PACKTOOL_FAILED;
    PackStore store(szBase);
    if (!CheckLoaded(store, pErr)) return PACKTOOL_FAILED;
    PackEntryHandle h = store.FindEntry(apszArgs[1]);
    if (!h.IsValid()) return Failed(pErr, "%s: no such file in %s", apszArgs[1], szBase);
    PackEntryInfo info;
    memset(&info, 0, sizeof(info));
    PackParseRecord(h.m_pRecord, store.GetTreeBytes() + store.GetTreeSize(), &info.m_record);
    info.m_firstChunk = PackDecodeChunk(info.m_record.m_pFirstChunk);
    Plat_SetBinaryMode(pOut);
    char szWhy[512];
    bool bWriteOk = true;
    bool bOk =
        ChunkReader(store).ReadEntry(info, szWhy, sizeof(szWhy),
                                     [&](const uint8_t* p, uint32_t cub)
                                     { bWriteOk = bWriteOk && fwrite(p, 1, cub, pOut) == cub; });
    fflush(pOut);
    if (!bOk) return Failed(pErr, "%s: %s", apszArgs[1], szWhy);
    if (!bWriteOk) return Failed(pErr, "cannot write the output");
    return PACKTOOL_OK;
}

int CmdVerify(int argc, const char* const* argv, FILE* pOut, FILE* pErr)
{
    const char* pszPack = nullptr;
    int nResult = ParseOnePack(argc, argv, kVerifyUsage, "verify", pOut, pErr, &pszPack);
    if (nResult != PACKTOOL_CONTINUE) return nResult;
    char szBase[1024];
    if (!FindPack(pszPack, szBase, sizeof(szBase), pErr)) return PACKTOOL_FAILED;
    PackStore store(szBase);
    if (!CheckLoaded(store, pErr)) return PACKTOOL_FAILED;
    CUtlVector<ToolEntry> entries;
    CollectEntries(store, &entries);
    // Archive order keeps the reads sequential.
    CUtlVector<int> order;
    uint64_t ulTotal = 0;
    for (int i = 0; i < entries.Count(); ++i)
    {
        order.AddToTail(i);
        ulTotal += (uint64_t)std::max<int64_t>(entries[i].m_info.m_nSize, 0);
    }
    std::stable_sort(order.begin(), order.end(),
                     [&entries](int a, int b)
                     {
                         const PackChunk& ca = entries[a].m_info.m_firstChunk;
                         const PackChunk& cb = entries[b].m_info.m_firstChunk;
                         if (ca.m_nArchiveIndex != cb.m_nArchiveIndex)
                             return ca.m_nArchiveIndex < cb.m_nArchiveIndex;
                         return ca.m_uOffset < cb.m_uOffset;
                     });

    Progress progress(pErr, "verify", ulTotal);
    uint64_t ulDone = 0;
    ChunkReader reader(store);
    int nBad = 0;
    for (int k = 0; k < order.Count(); ++k)
    {
        const ToolEntry& e = entries[order[k]];
        char szWhy[512];
        uint32_t crc = 0;
        bool bOk = reader.ReadEntry(e.m_info, szWhy, sizeof(szWhy),
                                    [&](const uint8_t* p, uint32_t cub)
                                    {
                                        crc = PackCrc32(crc, p, cub);
                                        ulDone += cub;
                                        progress.Update(ulDone);
                                    });
        if (!bOk)
        {
            progress.Done();
            fprintf(pOut, "UNREADABLE %s: %s\n", e.m_path.Get(), szWhy);
            ++nBad;
            continue;
        }
        if (crc != e.m_info.m_record.m_uCrc)
        {
            progress.Done();
            fprintf(pOut, "CRC MISMATCH %s: stored %08x, data gives %08x\n", e.m_path.Get(),
                    e.m_info.m_record.m_uCrc, crc);
            ++nBad;
        }
        // Further chunk records carry no data of the file, but must still point
        // into an archive.
        for (int c = 1; c < e.m_info.m_record.m_nChunkCount; ++c)
        {
            PackChunk chunk =
                PackDecodeChunk(e.m_info.m_record.m_pFirstChunk + c * BND_CHUNK_RECORD_SIZE);
            int64_t nStart;
            if (chunk.m_uLength && !reader.Check(chunk, &nStart, szWhy, sizeof(szWhy)))
            {
                progress.Done();
                fprintf(pOut, "UNREADABLE %s (chunk %d): %s\n", e.m_path.Get(), c + 1, szWhy);
                ++nBad;
            }
        }
    }
    progress.Done();
    fprintf(pOut, "verified %d files of %s: %d problems\n", entries.Count(), szBase, nBad);
    return nBad ? PACKTOOL_FAILED : PACKTOOL_OK;
}

char FoldChar(char c)
{
    if (c == '\\') return '/';
    return V_ToLowerAscii(c);
}

bool Glob(const char* p, const char* s)
{
    // Iterative match with one backtrack point for the last '*'.
    const char* pStar = nullptr;
    const char* sStar = nullptr;
    while (*s)
    {
        if (*p == '*')
        {
            pStar = p++;
            sStar = s;
        }
        else if (*p && (*p == '?' || FoldChar(*p) == FoldChar(*s)))
        {
            ++p;
            ++s;
        }
        else if (pStar)
        {
            p = pStar + 1;
            s = ++sStar;
        }
        else
            return false;
    }
    while (*p == '*')
        ++p;
    return *p == 0;
}
} // namespace

bool PackTool_PathMatches(const char* pszPattern, const char* pszPath)
{
    if (!pszPattern || !pszPath) return false;
    size_t len = strlen(pszPattern);
    if (len && (pszPattern[len - 1] == '/' || pszPattern[len - 1] == '\\'))
    {
        char szPrefix[1024];
        V_BoundedFormat(szPrefix, sizeof(szPrefix), "%s*", pszPattern);
        return Glob(szPrefix, pszPath);
    }
    return Glob(pszPattern, pszPath);
}

int PackTool_Main(int argc, const char* const* argv, FILE* pOut, FILE* pErr)
{
    if (argc < 2 || IsHelp(argv[1]))
    {
        fputs(kUsage, argc < 2 ? pErr : pOut);
        return argc < 2 ? PACKTOOL_USAGE : PACKTOOL_OK;
    }
    const char* pszCommand = argv[1];
    int nRest = argc - 2;
    const char* const* ppRest = argv + 2;
    if (!strcmp(pszCommand, "create")) return CmdCreate(nRest, ppRest, pOut, pErr);
    if (!strcmp(pszCommand, "list")) return CmdList(nRest, ppRest, pOut, pErr);
    if (!strcmp(pszCommand, "extract")) return CmdExtract(nRest, ppRest, pOut, pErr);
    if (!strcmp(pszCommand, "cat")) return CmdCat(nRest, ppRest, pOut, pErr);
    if (!strcmp(pszCommand, "verify")) return CmdVerify(nRest, ppRest, pOut, pErr);
    if (!strcmp(pszCommand, "info")) return CmdInfo(nRest, ppRest, pOut, pErr);
    return Usage(pErr, kUsage, "unknown command \"%s\"", pszCommand);
}
