// bndtool verify: re-computes every CRC and checks every chunk.
#include "tools/bndtool/bndtool_internal.h"
#include "bndlib/packcrc.h"

#include <cstring>

namespace bndtool
{

namespace
{
const char kVerifyUsage[] =
    "usage: bndtool verify [--json] [-q] <pack>\n"
    "\n"
    "Reads every file, re-computes its CRC and checks that every chunk lies in its\n"
    "archive. Exits with 1 when anything is wrong.\n"
    "\n"
    "options:\n"
    "  --json       one JSON object: pack, files, ok and the list of problems\n"
    "  -q, --quiet  no progress line on a terminal\n";

struct Problem
{
    CUtlOwnedString m_path;
    const char* m_pszKind; // "crc mismatch" or "unreadable"
    int m_nChunk;          // 1-based; 0 for the file's data as a whole
    CUtlOwnedString m_detail;
};

void PrintJson(FILE* pOut, const char* pszBase, int nFiles, const CUtlVector<Problem>& problems)
{
    fputs("{\"pack\": ", pOut);
    JsonString(pOut, pszBase);
    fprintf(pOut, ", \"files\": %d, \"ok\": %s, \"problems\": [", nFiles,
            problems.Count() ? "false" : "true");
    for (int i = 0; i < problems.Count(); ++i)
    {
        fputs(i ? ",\n  {\"path\": " : "\n  {\"path\": ", pOut);
        JsonString(pOut, problems[i].m_path.Get());
        fprintf(pOut, ", \"kind\": \"%s\", \"chunk\": %d, \"detail\": ", problems[i].m_pszKind,
                problems[i].m_nChunk);
        JsonString(pOut, problems[i].m_detail.Get());
        fputc('}', pOut);
    }
    fputs(problems.Count() ? "\n]}\n" : "]}\n", pOut);
}
} // namespace

int CmdVerify(int argc, const char* const* argv, FILE* pOut, FILE* pErr)
{
    const char* pszPack = nullptr;
    bool bJson = false, bQuiet = false;
    int nResult =
        ParseOnePack(argc, argv, kVerifyUsage, "verify", pOut, pErr, &pszPack, &bJson, &bQuiet);
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

    Progress progress(pErr, "verify", entries.Count(), ulTotal, bQuiet);
    uint64_t ulDone = 0;
    ChunkReader reader(store);
    CUtlVector<Problem> problems;
    auto report = [&](const ToolEntry& e, const char* pszKind, int nChunk, const char* pszDetail)
    {
        int n = problems.AddToTail();
        problems[n].m_path.Set(e.m_path.Get());
        problems[n].m_pszKind = pszKind;
        problems[n].m_nChunk = nChunk;
        problems[n].m_detail.Set(pszDetail);
        if (bJson) return;
        progress.Clear();
        if (nChunk)
            fprintf(pOut, "UNREADABLE %s (chunk %d): %s\n", e.m_path.Get(), nChunk, pszDetail);
        else if (strcmp(pszKind, "unreadable") == 0)
            fprintf(pOut, "UNREADABLE %s: %s\n", e.m_path.Get(), pszDetail);
        else
            fprintf(pOut, "CRC MISMATCH %s: %s\n", e.m_path.Get(), pszDetail);
    };
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
                                        progress.Update(k, ulDone);
                                    });
        if (!bOk)
        {
            report(e, "unreadable", 0, szWhy);
            continue;
        }
        if (crc != e.m_info.m_record.m_uCrc)
        {
            char szDetail[64];
            V_BoundedFormat(szDetail, sizeof(szDetail), "stored %08x, data gives %08x",
                            e.m_info.m_record.m_uCrc, crc);
            report(e, "crc mismatch", 0, szDetail);
        }
        // Further chunk records carry no data of the file, but must still point
        // into an archive.
        for (int c = 1; c < e.m_info.m_record.m_nChunkCount; ++c)
        {
            PackChunk chunk =
                PackDecodeChunk(e.m_info.m_record.m_pFirstChunk + c * BND_CHUNK_RECORD_SIZE);
            int64_t nStart;
            if (chunk.m_uLength && !reader.Check(chunk, &nStart, szWhy, sizeof(szWhy)))
                report(e, "unreadable", c + 1, szWhy);
        }
    }
    progress.Done();
    if (bJson)
        PrintJson(pOut, szBase, entries.Count(), problems);
    else
        fprintf(pOut, "verified %d files of %s: %d problems\n", entries.Count(), szBase,
                problems.Count());
    return problems.Count() ? PACKTOOL_FAILED : PACKTOOL_OK;
}

} // namespace bndtool
