// bndtool info: header, counts and archives of a pack.
#include "tools/bndtool/bndtool_internal.h"

#include <cstring>

namespace bndtool
{

namespace
{
const char kInfoUsage[] = "usage: bndtool info [--json] <pack>\n"
                          "\n"
                          "Shows the header, the counts of files, extensions and directories, "
                          "and the archives.\n"
                          "\n"
                          "options:\n"
                          "  --json  the same as one JSON object\n";
} // namespace

int CmdInfo(int argc, const char* const* argv, FILE* pOut, FILE* pErr)
{
    const char* pszPack = nullptr;
    bool bJson = false;
    int nResult = ParseOnePack(argc, argv, kInfoUsage, "info", pOut, pErr, &pszPack, &bJson);
    if (nResult != PACKTOOL_CONTINUE) return nResult;
    char szBase[1024];
    if (!FindPack(pszPack, szBase, sizeof(szBase), pErr)) return PACKTOOL_FAILED;
    PackStore store(szBase);
    if (!CheckLoaded(store, pErr)) return PACKTOOL_FAILED;
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
    const PackDirectoryHeader& h = store.GetHeader();
    if (bJson)
    {
        fputs("{\"pack\": ", pOut);
        JsonString(pOut, szBase);
        fprintf(pOut, ", \"version\": %d, \"header_size\": %d, \"tree_size\": %u",
                store.GetHeaderSize() ? (int)h.m_nVersion : 0, store.GetHeaderSize(),
                store.GetTreeSize());
        fprintf(pOut,
                ", \"embedded_data\": %u, \"archive_checksums\": %u, \"other_checksums\": %u, "
                "\"signature\": %u",
                h.m_uEmbeddedDataSize, h.m_uArchiveChecksumSize, h.m_uOtherChecksumSize,
                h.m_uSignatureSize);
        fprintf(pOut,
                ", \"files\": %d, \"extensions\": %d, \"directories\": %d, \"data_bytes\": "
                "%llu, \"preload_bytes\": %llu, \"archives\": [",
                store.GetEntryCount(), store.GetExtensionCount(), store.GetDirectoryCount(),
                (unsigned long long)ulData, (unsigned long long)ulPreload);
        for (int a = 0; a < archives.Count(); ++a)
        {
            char szName[1100];
            store.BuildArchiveFileName(archives[a].m_nIndex, szName, sizeof(szName));
            CFileReader reader;
            uint64_t ulSize = 0;
            bool bThere = reader.BOpenFile(szName) && reader.GetFileSize(&ulSize);
            int nIndex =
                archives[a].m_nIndex == BND_DIRECTORY_ARCHIVE_INDEX ? -1 : archives[a].m_nIndex;
            fprintf(pOut, "%s{\"index\": %d, \"file\": ", a ? ", " : "", nIndex);
            JsonString(pOut, szName);
            fprintf(pOut, ", \"files\": %d, \"bytes_used\": %llu, \"bytes_on_disk\": ",
                    archives[a].m_nFiles, (unsigned long long)archives[a].m_ulBytes);
            if (bThere)
                fprintf(pOut, "%llu}", (unsigned long long)ulSize);
            else
                fputs("null}", pOut);
        }
        fputs("]}\n", pOut);
        return PACKTOOL_OK;
    }
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

} // namespace bndtool
