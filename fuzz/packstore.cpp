// Feeds arbitrary directory-file bytes through loading, lookups, directory
// listing and reads, with and without an archive file beside them.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bndlib/packstore.h"
#include "trestle/fileio.h"
#include "trestle/utlstring.h"
#include "trestle/utlvector.h"

namespace
{
std::string g_base;

void WriteAll(const std::string& path, const uint8_t* p, size_t n)
{
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return;
    if (n) fwrite(p, 1, n, f);
    fclose(f);
}

struct Ctx
{
    PackStore* m_pStore;
    int m_aSlotOwner[BND_ARCHIVE_SLOT_COUNT];
    int m_nVisited;
};

bool Visit(const PackEntryInfo& info, void* pContext)
{
    Ctx& c = *(Ctx*)pContext;
    if (++c.m_nVisited > 2000) return false;
    std::string path;
    if (strcmp(info.m_pszDirectory, " ") != 0) path = std::string(info.m_pszDirectory) + "/";
    path += info.m_pszName;
    if (strcmp(info.m_pszExtension, " ") != 0) path += std::string(".") + info.m_pszExtension;
    PackEntryHandle h = c.m_pStore->FindEntry(path.c_str());
    if (!h.IsValid()) return true;
    // Two archives equal mod 512 end the process by design: read only one.
    int nSlot = h.m_nArchiveIndex & BND_ARCHIVE_SLOT_MASK;
    if (c.m_aSlotOwner[nSlot] != -1 && c.m_aSlotOwner[nSlot] != h.m_nArchiveIndex) return true;
    c.m_aSlotOwner[nSlot] = h.m_nArchiveIndex;
    uint8_t buf[777];
    for (int i = 0; i < 8; ++i)
    {
        if (c.m_pStore->ReadEntry(h, buf, (int)sizeof(buf) - i * 90) <= 0) break;
    }
    h.m_nPosition = h.m_nSize > 3 ? h.m_nSize - 3 : 0;
    c.m_pStore->ReadEntry(h, buf, 10);
    c.m_pStore->IsDirectory(info.m_pszDirectory);
    return true;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (g_base.empty())
    {
        const char* pszTmp = getenv("TMPDIR");
        char sz[512];
        snprintf(sz, sizeof(sz), "%s/quern_fuzz_packstore_%p", pszTmp ? pszTmp : "/tmp",
                 (void*)&g_base);
        CreateDirectories(sz);
        g_base = std::string(sz) + "/p";
    }
    // Versions above 2 end the process by design.
    if (size >= 28 && PackReadU32(data) == BND_SIGNATURE && (int32_t)PackReadU32(data + 4) > 2)
        return 0;
    if (size < 1) return 0;
    uint8_t flags = data[size - 1];
    WriteAll(g_base + "_dir.bnd", data, size);
    // Sometimes an archive 000 (the input itself), sometimes none.
    if (flags & 1)
        WriteAll(g_base + "_000.bnd", data, size);
    else
        BDeleteFile((g_base + "_000.bnd").c_str());

    PackStore store(g_base.c_str());
    if (flags & 2) store.SetCacheCapacity(1);
    Ctx ctx;
    ctx.m_pStore = &store;
    ctx.m_nVisited = 0;
    for (int& n : ctx.m_aSlotOwner)
        n = -1;
    store.EnumerateEntries(Visit, &ctx);

    // Paths cut from the input itself.
    for (size_t at = 0; at + 1 < size && at < 4096; at += 1 + data[at] % 37)
    {
        size_t len = std::min<size_t>(data[at + 1] % 64, size - at);
        std::string path((const char*)data + at, len);
        path = path.c_str();
        store.FindEntry(path.c_str());
        store.IsDirectory(path.c_str());
    }
    static const char* const s_apszPatterns[] = {"*.*",        "*",    "maps/*.b*", "a/b*.t",
                                                 "x/../y/*.*", "\\*.", "*.*\\"};
    for (const char* psz : s_apszPatterns)
    {
        CUtlVector<CUtlOwnedString> dirs, files;
        store.FindInDirectory(psz, &dirs, &files, (flags & 4) != 0, (flags & 8) != 0);
        for (int i = 0; i < dirs.Count() && i < 20; ++i)
        {
            std::string sub = std::string(dirs[i].Get()) + "/*.*";
            store.FindInDirectory(sub.c_str(), &dirs, &files);
        }
    }
    store.FindEntry("a/b/../c.txt");
    store.FindEntry("readme");
    return 0;
}
