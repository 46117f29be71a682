// bndtool extract: copies files out of a pack.
#include "tools/bndtool/bndtool_internal.h"

#include <cstring>

namespace bndtool
{

namespace
{
const char kExtractUsage[] =
    "usage: bndtool extract [-q] <pack> <out dir> [patterns...]\n"
    "\n"
    "Writes the files of the pack (those matching a pattern, if any) below <out dir>.\n"
    "Patterns use '*' and '?' and ignore case; \"maps/\" selects a whole folder.\n"
    "\n"
    "options:\n"
    "  -q, --quiet  no progress line on a terminal\n";
} // namespace

int CmdExtract(int argc, const char* const* argv, FILE* pOut, FILE* pErr)
{
    const char* pszPack = nullptr;
    const char* pszOutDir = nullptr;
    CUtlVector<const char*> patterns;
    bool bQuiet = false;
    for (int i = 0; i < argc; ++i)
    {
        const char* psz = argv[i];
        if (IsHelp(psz))
        {
            fputs(kExtractUsage, pOut);
            return PACKTOOL_OK;
        }
        if (strcmp(psz, "--quiet") == 0 || strcmp(psz, "-q") == 0)
        {
            bQuiet = true;
            continue;
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

    Progress progress(pErr, "extract", chosen.Count(), ulTotal, bQuiet);
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
                                        progress.Update(k, ulDone);
                                    });
        writer.Close();
        if (!bWriteOk)
        {
            progress.Done();
            return Failed(pErr, "cannot write %s", szOut);
        }
        if (!bOk)
        {
            progress.Clear();
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

} // namespace bndtool
