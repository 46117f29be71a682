// legacy_host: the file calls as an old game's loader made them, run in the
// game folder, where the packs were mounted at start-up and a few loose files
// sit on disk.
#include "examples/legacy_host/legacy_host_files.h"
#include "examples/legacy_host/legacy_host_lookup.h"

#include "quern.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

namespace
{
// Bytes as text, control characters escaped.
void PrintBytes(const char* pBytes, uint32_t count)
{
    printf("\"");
    for (uint32_t i = 0; i < count; ++i)
    {
        unsigned char c = (unsigned char)pBytes[i];
        if (c == '\r')
            printf("\\r");
        else if (c == '\n')
            printf("\\n");
        else if (c < 32 || c > 126)
            printf("\\x%02x", c);
        else
            printf("%c", c);
    }
    printf("\"");
}

void PrintInfo(const QuernElemInfo& info)
{
    printf("      %-16s %s size %u, %s, modified %u\n", info.name,
           info.isDirectory ? "dir " : "file", info.size, info.isLocal ? "disk" : "pack",
           info.lastModificationTime);
}
} // namespace

bool RunFileSection(PlatModule hQuern)
{
    bool bAll = true;
    auto pfnOpen = LOOKUP_EXPORT(hQuern, QuernOpenFile, bAll);
    auto pfnOpenEx = LOOKUP_EXPORT(hQuern, QuernOpenFileEx, bAll);
    auto pfnClose = LOOKUP_EXPORT(hQuern, QuernCloseFile, bAll);
    auto pfnRead = LOOKUP_EXPORT(hQuern, QuernReadFile, bAll);
    auto pfnWrite = LOOKUP_EXPORT(hQuern, QuernWriteFile, bAll);
    auto pfnSeek = LOOKUP_EXPORT(hQuern, QuernSeekFile, bAll);
    auto pfnTell = LOOKUP_EXPORT(hQuern, QuernTellFile, bAll);
    auto pfnSize = LOOKUP_EXPORT(hQuern, QuernSizeFile, bAll);
    auto pfnGetc = LOOKUP_EXPORT(hQuern, QuernGetc, bAll);
    auto pfnStat = LOOKUP_EXPORT(hQuern, QuernStat, bAll);
    auto pfnFindFirst = LOOKUP_EXPORT(hQuern, QuernFindFirst, bAll);
    auto pfnFindNext = LOOKUP_EXPORT(hQuern, QuernFindNext, bAll);
    auto pfnFindClose = LOOKUP_EXPORT(hQuern, QuernFindClose, bAll);
    auto pfnLocalCopy = LOOKUP_EXPORT(hQuern, QuernGetLocalFileCopy, bAll);
    if (!bAll) return false;

    bool bOk = true;
    TQuernError error;
    memset(&error, 0, sizeof(error));
    char buf[128];

    printf("-- files\n");
    uint32_t size = 0;
    uint32_t h = pfnOpenEx("maps\\e1.map", "rb", &size, &error);
    printf("QuernOpenFileEx(maps\\e1.map, rb) -> 0x%08x (%s), size %u\n", h,
           (h & BND_FILE_HANDLE_FLAG) ? "pack" : "disk", size);
    bOk &= (h & BND_FILE_HANDLE_FLAG) != 0;
    // Depot 442 was mounted after 441, so its version is found first.
    uint32_t n = pfnRead(buf, 1, 24, h, &error);
    printf("QuernReadFile(24) -> %u, ", n);
    PrintBytes(buf, n);
    printf("\n");
    int seek = pfnSeek(h, -6, 2, &error);
    int tell = pfnTell(h, &error);
    printf("QuernSeekFile(-6, end) -> %d, QuernTellFile -> %d, QuernSizeFile -> %d\n", seek, tell,
           pfnSize(h, &error));
    n = pfnRead(buf, 4, 4, h, &error);
    printf("QuernReadFile(4 x 4) -> %u elements, failureType %d\n", n, error.failureType);
    seek = pfnSeek(h, 1000, 0, &error);
    printf("QuernSeekFile(+1000, start) -> %d, QuernTellFile -> %d (clamped)\n", seek,
           pfnTell(h, &error));
    printf("QuernCloseFile -> %d\n", pfnClose(h, &error));

    h = pfnOpen("text/readme.txt", "rt", &error);
    n = pfnRead(buf, 1, sizeof(buf), h, &error);
    printf("QuernOpenFile(text/readme.txt, rt) -> 0x%08x; QuernReadFile -> %u, ", h, n);
    PrintBytes(buf, n);
    printf(", failureType %d\n", error.failureType);
    pfnSeek(h, 0, 0, &error);
    int c = pfnGetc(h, &error);
    printf("QuernGetc after rewinding -> '%c'\n", c);
    pfnClose(h, &error);

    h = pfnOpen("save/slot1.sav", "rb", &error);
    n = pfnRead(buf, 1, sizeof(buf), h, &error);
    printf("QuernOpenFile(save/slot1.sav, rb) -> %u (%s); QuernReadFile -> %u, ", h,
           (h & BND_FILE_HANDLE_FLAG) ? "pack" : "disk", n);
    PrintBytes(buf, n);
    printf("\n");
    pfnClose(h, &error);

    h = pfnOpen("save/slot2.sav", "w", &error);
    n = pfnWrite("new save", 1, 8, h, &error);
    printf("QuernOpenFile(save/slot2.sav, w) -> %u; QuernWriteFile -> %u\n", h, n);
    bOk &= h != 0;
    pfnClose(h, &error);

    h = pfnOpen("no/such/file.txt", "rb", &error);
    printf("QuernOpenFile(no/such/file.txt) -> %u, failureType %d\n", h, error.failureType);

    printf("-- stat\n");
    QuernElemInfo info;
    for (const char* pszPath : {"maps\\e1.map", "maps", "save\\slot1.sav", "missing.txt"})
    {
        int result = pfnStat(pszPath, &info, &error);
        printf("QuernStat(%s) -> %d, failureType %d\n", pszPath, result, error.failureType);
        if (result == 0) PrintInfo(info);
    }

    printf("-- search maps\\*.* (disk and packs)\n");
    uint32_t hFind = pfnFindFirst("maps\\*.*", 2, &info, &error);
    printf("QuernFindFirst -> %u\n", hFind);
    bOk &= hFind != 0;
    if (hFind)
    {
        do
            PrintInfo(info);
        while (pfnFindNext(hFind, &info, &error) == 0);
        printf("QuernFindClose -> %d\n", pfnFindClose(hFind, &error));
    }

    printf("-- local copy\n");
    int result = pfnLocalCopy("maps\\sub\\e2.map", &error);
    printf("QuernGetLocalFileCopy(maps\\sub\\e2.map) -> %d\n", result);
    bOk &= result == 1;
    result = pfnStat("maps\\sub\\e2.map", &info, &error);
    printf("QuernStat afterwards -> %d (%s: the pack entry still comes first)\n", result,
           info.isLocal ? "disk" : "pack");
    FILE* pCopy = fopen("maps/sub/e2.map", "rb");
    if (pCopy)
    {
        n = (uint32_t)fread(buf, 1, sizeof(buf), pCopy);
        fclose(pCopy);
        printf("on disk: ");
        PrintBytes(buf, n);
        printf("\n");
    }
    return bOk;
}
