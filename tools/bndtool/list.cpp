// bndtool list: the files of a pack.
#include "tools/bndtool/bndtool_internal.h"

#include <cstring>

namespace bndtool
{

namespace
{
const char kListUsage[] =
    "usage: bndtool list [options] <pack> [patterns...]\n"
    "\n"
    "Lists the paths of the pack in byte order; patterns ('*', '?', no case) select.\n"
    "\n"
    "options:\n"
    "  -s, --sizes     show each file's size\n"
    "  -a, --archives  show the archive and offset of each file's data\n"
    "  -p, --preload   show each file's preload bytes\n"
    "  -l              all of the above\n"
    "  --json          a JSON array with every field of each file: path, size,\n"
    "                  archive (-1 for the directory file), offset, preload, crc\n";
} // namespace

int CmdList(int argc, const char* const* argv, FILE* pOut, FILE* pErr)
{
    bool bSizes = false, bArchives = false, bPreload = false, bJson = false;
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
        else if (!strcmp(psz, "--json"))
            bJson = true;
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
    if (bJson)
    {
        int nPrinted = 0;
        fputc('[', pOut);
        for (int i = 0; i < entries.Count(); ++i)
        {
            const ToolEntry& e = entries[i];
            if (!MatchesAny(e.m_path.Get(), patterns.Count(), patterns.Base())) continue;
            fputs(nPrinted++ ? ",\n {\"path\": " : "\n {\"path\": ", pOut);
            JsonString(pOut, e.m_path.Get());
            int nArchive = e.m_info.m_firstChunk.m_nArchiveIndex;
            fprintf(pOut,
                    ", \"size\": %lld, \"archive\": %d, \"offset\": %u, \"preload\": %u, "
                    "\"crc\": \"%08x\"}",
                    (long long)e.m_info.m_nSize,
                    nArchive == BND_DIRECTORY_ARCHIVE_INDEX ? -1 : nArchive,
                    e.m_info.m_firstChunk.m_uOffset, (unsigned)e.m_info.m_record.m_uPreloadSize,
                    e.m_info.m_record.m_uCrc);
        }
        fputs(nPrinted ? "\n]\n" : "]\n", pOut);
        return PACKTOOL_OK;
    }
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

} // namespace bndtool
