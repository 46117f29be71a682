// bndtool cat: one file of a pack to standard output.
#include "tools/bndtool/bndtool_internal.h"

#include <cstring>

namespace bndtool
{

namespace
{
const char kCatUsage[] = "usage: bndtool cat <pack> <path>\n"
                         "\n"
                         "Writes the file at <path> (looked up as a game would) to standard "
                         "output.\n";
} // namespace

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

} // namespace bndtool
