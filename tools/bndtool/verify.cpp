// bndtool verify: re-computes every CRC and checks every chunk.
#include "tools/bndtool/bndtool_internal.h"
#include "bndlib/packcrc.h"

#include <cstring>

namespace bndtool
{

namespace
{
const char kVerifyUsage[] =
    "usage: bndtool verify <pack>\n"
    "\n"
    "Reads every file, re-computes its CRC and checks that every chunk lies in its\n"
    "archive. Exits with 1 when anything is wrong.\n";
} // namespace

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

} // namespace bndtool
