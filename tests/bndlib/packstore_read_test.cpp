// Reading entries: preload bytes, archives, embedded data, archive slots and
// the block cache.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "tests/bndlib/bndlib_test_support.h"
#include "bndlib/packcrc.h"
#include "bndlib/packstore.h"
#include "bndlib/packwriter.h"

using namespace bndtest;

namespace
{
const char kShortRead[] = "packedstore (824) : Assertion Failed: nRead == nNumBytes\n";

std::vector<uint8_t> Read(PackStore& store, PackEntryHandle& h, int n)
{
    std::vector<uint8_t> out(n > 0 ? n : 0);
    int got = store.ReadEntry(h, out.data(), n);
    out.resize(got > 0 ? got : 0);
    return out;
}

// a.bin and b.bin at the root, one chunk each.
std::vector<uint8_t> TwoEntryTree(const PackChunk& a, const PackChunk& b)
{
    RawTree t;
    t.Ext("bin").Dir(" ").File("a", {a}).File("b", {b}).End().End().End();
    return t.Bytes();
}
} // namespace

TEST(PackStoreRead, PreloadOnlyEntriesNeverOpenAnArchive)
{
    std::string dir = ScratchDir();
    CPackWriter writer;
    PackWriterFileOptions opts;
    opts.m_nPreloadBytes = 100;
    writer.AddFile("cfg/small.cfg", "hello", 5, &opts);
    ASSERT_TRUE(writer.Write((dir + "/p").c_str()));
    EXPECT_EQ(writer.GetArchiveCount(), 0);

    PackStore store((dir + "/p").c_str());
    DebugCapture capture;
    PackEntryHandle h = store.FindEntry("cfg/small.cfg");
    ASSERT_TRUE(h.IsValid());
    EXPECT_EQ(h.m_nPreloadSize, 5);
    std::vector<uint8_t> got = Read(store, h, 64);
    EXPECT_EQ(std::string(got.begin(), got.end()), "hello");
    EXPECT_EQ(store.ReadEntry(h, got.data(), 1), 0);
    EXPECT_EQ(capture.Text(), "");
    EXPECT_EQ(store.GetCacheBlockLoads(), 0);
}

TEST(PackStoreRead, ReadsCrossThePreloadBoundaryAndStopAtTheEnd)
{
    std::string dir = ScratchDir();
    std::vector<uint8_t> data = Pattern(3000, 7);
    CPackWriter writer;
    PackWriterFileOptions opts;
    opts.m_nPreloadBytes = 1000;
    writer.AddFile("x.bin", data.data(), (uint32_t)data.size(), &opts);
    writer.AddFile("a.bin", "0123456789", 10); // something before x.bin in archive 0
    ASSERT_TRUE(writer.Write((dir + "/p").c_str()));
    PackStore store((dir + "/p").c_str());

    PackEntryHandle h = store.FindEntry("x.bin");
    ASSERT_EQ(h.m_nSize, 3000);
    EXPECT_EQ(h.m_nPreloadSize, 1000);
    EXPECT_EQ(h.m_nArchiveIndex, 0);
    EXPECT_EQ(h.m_nOffset, 10);
    h.m_nPosition = 990;
    std::vector<uint8_t> got = Read(store, h, 20);
    EXPECT_EQ(got, std::vector<uint8_t>(data.begin() + 990, data.begin() + 1010));
    EXPECT_EQ(h.m_nPosition, 1010);

    h.m_nPosition = h.m_nSize - 4;
    got = Read(store, h, 10);
    EXPECT_EQ(got, std::vector<uint8_t>(data.end() - 4, data.end()));
    EXPECT_EQ(h.m_nPosition, h.m_nSize);
    EXPECT_EQ(store.ReadEntry(h, got.data(), 10), 0);
    EXPECT_EQ(h.m_nPosition, h.m_nSize);

    // Nonsense positions and counts read nothing.
    h.m_nPosition = -5;
    EXPECT_EQ(store.ReadEntry(h, got.data(), 10), 0);
    h.m_nPosition = 0;
    EXPECT_EQ(store.ReadEntry(h, got.data(), -1), 0);
    PackEntryHandle missing = store.FindEntry("nope.bin");
    EXPECT_EQ(store.ReadEntry(missing, got.data(), 10), 0);
}

TEST(PackStoreRead, LargestPreloadAndOneByteMore)
{
    // The preload size is an unsigned 16-bit field: 0xFFFF bytes is the most
    // a record holds, and a file one byte longer has its last byte archived.
    std::string dir = ScratchDir();
    std::vector<uint8_t> data = Pattern(0x10000, 3);
    CPackWriter writer;
    PackWriterFileOptions opts;
    opts.m_nPreloadBytes = 0x10000; // more than fits: the writer keeps 0xFFFF
    writer.AddFile("fits.bin", data.data(), 0xFFFF, &opts);
    writer.AddFile("over.bin", data.data(), 0x10000, &opts);
    ASSERT_TRUE(writer.Write((dir + "/p").c_str())) << writer.GetError();
    PackStore store((dir + "/p").c_str());

    PackEntryHandle fits = store.FindEntry("fits.bin");
    ASSERT_TRUE(fits.IsValid());
    EXPECT_EQ(fits.m_nPreloadSize, 0xFFFF);
    EXPECT_EQ(fits.m_nSize, 0xFFFF);
    EXPECT_EQ(Read(store, fits, 0x20000), std::vector<uint8_t>(data.begin(), data.end() - 1));

    PackEntryHandle over = store.FindEntry("over.bin");
    ASSERT_TRUE(over.IsValid());
    EXPECT_EQ(over.m_nPreloadSize, 0xFFFF);
    EXPECT_EQ(over.m_nSize, 0x10000);
    over.m_nPosition = 0xFFFD;
    EXPECT_EQ(Read(store, over, 8), std::vector<uint8_t>(data.end() - 3, data.end()));
}

TEST(PackStoreRead, MissingOrShortArchivesGiveShortReadsAndTheAssertion)
{
    std::string dir = ScratchDir();
    std::vector<uint8_t> data = Pattern(500, 3);
    CPackWriter writer;
    PackWriterFileOptions opts;
    opts.m_nPreloadBytes = 100;
    writer.AddFile("f.bin", data.data(), (uint32_t)data.size(), &opts);
    ASSERT_TRUE(writer.Write((dir + "/p").c_str()));

    {
        // Archive cut short: what is there, then the assertion.
        std::vector<uint8_t> archive = ReadFile(dir + "/p_000.bnd");
        archive.resize(250);
        WriteFile(dir + "/p_000.bnd", archive);
        PackStore store((dir + "/p").c_str());
        PackEntryHandle h = store.FindEntry("f.bin");
        DebugCapture capture;
        std::vector<uint8_t> got = Read(store, h, 500);
        EXPECT_EQ(got, std::vector<uint8_t>(data.begin(), data.begin() + 350));
        EXPECT_EQ(h.m_nPosition, 350);
        EXPECT_EQ(capture.Count(kShortRead), 1) << capture.Text();
    }
    {
        // No archive at all: only the preload bytes.
        ASSERT_TRUE(BDeleteFile((dir + "/p_000.bnd").c_str()));
        PackStore store((dir + "/p").c_str());
        PackEntryHandle h = store.FindEntry("f.bin");
        DebugCapture capture;
        std::vector<uint8_t> got = Read(store, h, 500);
        EXPECT_EQ(got, std::vector<uint8_t>(data.begin(), data.begin() + 100));
        EXPECT_EQ(capture.Count(kShortRead), 1) << capture.Text();
        // The slot stays unused, so an archive that appears later is found.
        WriteFile(dir + "/p_000.bnd", std::vector<uint8_t>(data.begin() + 100, data.end()));
        got = Read(store, h, 500);
        EXPECT_EQ(got, std::vector<uint8_t>(data.begin() + 100, data.end()));
    }
}

TEST(PackStoreRead, ChunksBeyondTheArchiveNeverCrash)
{
    RawTree t;
    t.Ext("bin").Dir(" ");
    t.File("far", {{0, 0x7FFFFF00u, 0x1000}});
    t.File("neg", {{0, 0xFFFFFFF0u, 0x10}});
    t.File("huge", {{0, 0, 0xFFFFFFFFu}});
    t.End().End().End();
    std::string dir = ScratchDir();
    WriteFile(dir + "/p_dir.bnd", DirFile(2, t.Bytes()));
    WriteFile(dir + "/p_000.bnd", Pattern(100, 1));
    PackStore store((dir + "/p").c_str());
    std::vector<uint8_t> buf(0x1000);
    DebugCapture capture;
    for (const char* psz : {"far.bin", "neg.bin"})
    {
        PackEntryHandle h = store.FindEntry(psz);
        ASSERT_TRUE(h.IsValid()) << psz;
        EXPECT_EQ(store.ReadEntry(h, buf.data(), (int)buf.size()), 0) << psz;
    }
    EXPECT_EQ(capture.Count(kShortRead), 2);
    // A size that does not fit the signed 32-bit field reads nothing.
    PackEntryHandle h = store.FindEntry("huge.bin");
    EXPECT_LT(h.m_nSize, 0);
    EXPECT_EQ(store.ReadEntry(h, buf.data(), 16), 0);
}

TEST(PackStoreRead, EmbeddedEntryAtOffsetZeroReadsRightAfterTheTree)
{
    RawTree t;
    t.Ext("txt").Dir(" ").File("e", {{0x7FFF, 0, 5}}).End().End().End();
    std::string dir = ScratchDir();
    std::vector<uint8_t> file = DirFile(2, t.Bytes(), {'E', 'M', 'B', 'E', 'D'});
    WriteFile(dir + "/p_dir.bnd", file);
    PackStore store((dir + "/p").c_str());
    EXPECT_EQ(store.GetEmbeddedDataBase(), (int64_t)(28 + t.Bytes().size()));
    PackEntryHandle h = store.FindEntry("e.txt");
    std::vector<uint8_t> got = Read(store, h, 5);
    EXPECT_EQ(std::string(got.begin(), got.end()), "EMBED");

    // Named by its directory file, the store reads the same file for 0x7FFF.
    PackStore byFile((dir + "/p_dir.bnd").c_str());
    h = byFile.FindEntry("e.txt");
    got = Read(byFile, h, 5);
    EXPECT_EQ(std::string(got.begin(), got.end()), "EMBED");
}

TEST(PackStoreRead, ArchiveNumbersPastThreeDigitsAndTheHighestIndex)
{
    // Archive names carry at least three digits; 0x7FFE is the last archive
    // before the directory file's own index.
    RawTree t;
    t.Ext("bin")
        .Dir(" ")
        .File("a", {{7, 0, 1}})
        .File("b", {{1000, 0, 1}})
        .File("c", {{0x7FFE, 1, 1}})
        .File("d", {{0x7FFF, 0, 1}})
        .End()
        .End()
        .End();
    std::string dir = ScratchDir();
    WriteFile(dir + "/p_dir.bnd", DirFile(2, t.Bytes(), {'D'}));
    WriteFile(dir + "/p_007.bnd", {'A'});
    WriteFile(dir + "/p_1000.bnd", {'B'});
    WriteFile(dir + "/p_32766.bnd", {'x', 'C'});
    PackStore store((dir + "/p").c_str());
    DebugCapture capture;
    std::string got;
    for (const char* psz : {"a.bin", "b.bin", "c.bin", "d.bin"})
    {
        PackEntryHandle h = store.FindEntry(psz);
        std::vector<uint8_t> v = Read(store, h, 1);
        got += std::string(v.begin(), v.end());
    }
    EXPECT_EQ(got, "ABCD");
    EXPECT_EQ(capture.Text(), "");

    // The writer takes 0x7FFE and refuses the directory file's index.
    CPackWriter writer;
    PackWriterFileOptions opts;
    opts.m_nArchiveIndex = 0x7FFE;
    EXPECT_TRUE(writer.AddFile("high.bin", "H", 1, &opts));
    opts.m_nArchiveIndex = 0x7FFF;
    EXPECT_FALSE(writer.AddFile("dir.bin", "X", 1, &opts));
    ASSERT_TRUE(writer.Write((dir + "/w").c_str())) << writer.GetError();
    EXPECT_EQ(ReadFile(dir + "/w_32766.bnd"), (std::vector<uint8_t>{'H'}));
}

// A store keeps one archive open per slot (number mod 512) for good; the
// directory file's own data goes through the slot of 511. A tree that needs
// two archives through one slot is refused when it loads, like a damaged one,
// and the writer never writes one. Chunks without bytes are never read.
TEST(PackStoreRead, ArchivesSharingASlotAreRefusedAtLoadAndNeverWritten)
{
    const int kDir = BND_DIRECTORY_ARCHIVE_INDEX;
    struct Case
    {
        int m_nA, m_nB; // archives of a.bin and b.bin
        uint32_t m_cubB;
        const char* m_pszDamage;     // null: loads and reads
        const char* m_pszWriterFail; // null: written
    };
    const Case cases[] = {
        {3, 515, 3, "archives 3 and 515 share an archive slot (equal mod 512)",
         "archives 3 and 515 cannot be read from one pack (equal mod 512)"},
        {511, kDir, 3, "archive 511 and the data in the directory file share an archive slot",
         "archive 511 and data in the directory file cannot be read from one pack (equal mod "
         "512)"},
        {kDir, 1023, 3, "archive 1023 and the data in the directory file share an archive slot",
         "archive 1023 and data in the directory file cannot be read from one pack (equal mod "
         "512)"},
        {3, 515, 0, nullptr, nullptr},
        {511, kDir, 0, nullptr, nullptr},
        {510, kDir, 3, nullptr, nullptr},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::to_string(c.m_nA) + " " + std::to_string(c.m_nB) + " " +
                     std::to_string(c.m_cubB));
        std::string dir = ScratchDir();
        auto name = [&](int n)
        {
            char sz[32];
            snprintf(sz, sizeof(sz), "/p_%03d.bnd", n);
            return dir + sz;
        };
        const std::vector<uint8_t> a = {'a', 'a', 'a'};
        const std::vector<uint8_t> b(c.m_cubB, 'b');

        BDeleteFile((dir + "/w_dir.bnd").c_str()); // left by an earlier run
        CPackWriter writer;
        for (int i = 0; i < 2; ++i)
        {
            PackWriterFileOptions opts;
            int n = i ? c.m_nB : c.m_nA;
            opts.m_bEmbed = n == kDir;
            if (n != kDir) opts.m_nArchiveIndex = n;
            const std::vector<uint8_t>& data = i ? b : a;
            ASSERT_TRUE(
                writer.AddFile(i ? "b.bin" : "a.bin", data.data(), (uint32_t)data.size(), &opts));
        }
        EXPECT_EQ(writer.Write((dir + "/w").c_str()), c.m_pszWriterFail == nullptr);
        EXPECT_STREQ(writer.GetError(), c.m_pszWriterFail ? c.m_pszWriterFail : "");
        EXPECT_EQ(BFileExists((dir + "/w_dir.bnd").c_str()), c.m_pszWriterFail == nullptr);

        // The same layout by hand, each archive holding its entry at offset 0.
        const std::vector<uint8_t> none;
        const std::vector<uint8_t>& embedded = c.m_nA == kDir ? a : c.m_nB == kDir ? b : none;
        WriteFile(dir + "/p_dir.bnd",
                  DirFile(2, TwoEntryTree({c.m_nA, 0, 3}, {c.m_nB, 0, c.m_cubB}), embedded));
        if (c.m_nA != kDir) WriteFile(name(c.m_nA), a);
        if (c.m_nB != kDir) WriteFile(name(c.m_nB), b);
        std::string base = dir + "/p";
        ::testing::internal::CaptureStdout();
        PackStore store(base.c_str());
        const std::string out = ::testing::internal::GetCapturedStdout();
        if (c.m_pszDamage)
        {
            EXPECT_TRUE(store.IsEmpty());
            EXPECT_TRUE(store.IsDamaged());
            EXPECT_STREQ(store.GetDamage(), c.m_pszDamage);
            EXPECT_EQ(out, "bnd " + base + ": " + c.m_pszDamage + ", pack ignored\n");
            EXPECT_FALSE(store.FindEntry("a.bin").IsValid());
            continue;
        }
        EXPECT_EQ(out, "");
        EXPECT_FALSE(store.IsDamaged());
        DebugCapture capture;
        PackEntryHandle ha = store.FindEntry("a.bin");
        PackEntryHandle hb = store.FindEntry("b.bin");
        EXPECT_EQ(Read(store, ha, 10), a);
        EXPECT_EQ(Read(store, hb, 10), b);
        EXPECT_EQ(capture.Text(), "");
    }
}

TEST(PackStoreReadDeathTest, OpeningASecondArchiveOfASlotEndsTheProcess)
{
    std::string dir = ScratchDir();
    WriteFile(dir + "/p_003.bnd", {'3'});
    WriteFile(dir + "/p_515.bnd", {'5'});
    RawTree t;
    t.Ext("bin").Dir(" ").File("three", {{3, 0, 1}}).End().End().End();
    WriteFile(dir + "/p_dir.bnd", DirFile(2, t.Bytes()));
    std::string out = dir + "/stdout.txt";
    PackStore store((dir + "/p").c_str());
    ASSERT_NE(store.OpenArchive(3), nullptr);
    EXPECT_EXIT(
        {
            FILE* f = freopen(out.c_str(), "wb", stdout);
            if (f) setvbuf(stdout, nullptr, _IONBF, 0);
            store.OpenArchive(515);
        },
        ::testing::ExitedWithCode(1), "");
    std::vector<uint8_t> text = ReadFile(out);
    EXPECT_EQ(std::string(text.begin(), text.end()),
              "Exceeded limit of number of bnd files supported (512)!\n");
}

TEST(PackStoreRead, SmallSequentialReadsShareAWindowScatteredOnesReadDirectly)
{
    std::string dir = ScratchDir();
    const int kBlock = 0x100000;
    std::vector<uint8_t> data = Pattern(3 * kBlock, 11);
    CPackWriter writer;
    writer.AddFile("big.bin", data.data(), (uint32_t)data.size());
    ASSERT_TRUE(writer.Write((dir + "/p").c_str()));
    PackStore store((dir + "/p").c_str());
    store.SetCacheCapacity(1);
    EXPECT_EQ(store.GetCacheCapacity(), 1);

    PackEntryHandle h = store.FindEntry("big.bin");
    auto readAt = [&](int pos, int n)
    {
        h.m_nPosition = pos;
        return Read(store, h, n);
    };
    auto expected = [&](int pos, int n)
    { return std::vector<uint8_t>(data.begin() + pos, data.begin() + pos + n); };

    // Reading on in small pieces: the first goes directly, the next loads a
    // window that serves the rest.
    for (int pos = 0; pos < 32 * 1024; pos += 1000)
        ASSERT_EQ(readAt(pos, 1000), expected(pos, 1000)) << pos;
    EXPECT_EQ(store.GetCacheBlockLoads(), 1);
    // A small read far from the last one is read directly...
    EXPECT_EQ(readAt(2 * kBlock + 50, 1000), expected(2 * kBlock + 50, 1000));
    EXPECT_EQ(store.GetCacheBlockLoads(), 1);
    // ...and the one after it, reading on, loads the window there.
    EXPECT_EQ(readAt(2 * kBlock + 1050, 100), expected(2 * kBlock + 1050, 100));
    EXPECT_EQ(store.GetCacheBlockLoads(), 2);
    EXPECT_EQ(readAt(2 * kBlock + 9000, 2000), expected(2 * kBlock + 9000, 2000));
    EXPECT_EQ(store.GetCacheBlockLoads(), 2);
    // A window ends with the archive: reading on past it is still whole.
    EXPECT_EQ(readAt(3 * kBlock - 1000, 1000), expected(3 * kBlock - 1000, 1000));

    // Requests spanning windows, large or small, come back whole.
    EXPECT_EQ(readAt(kBlock - 10, 2 * kBlock + 10), expected(kBlock - 10, 2 * kBlock + 10));
    h.m_nPosition = 0;
    std::vector<uint8_t> all;
    for (;;)
    {
        std::vector<uint8_t> piece = Read(store, h, 3001);
        if (piece.empty()) break;
        all.insert(all.end(), piece.begin(), piece.end());
    }
    EXPECT_EQ(all, data);
}

TEST(PackStoreRead, LargeReadsBypassTheCacheAndWindowsStayCached)
{
    std::string dir = ScratchDir();
    std::vector<uint8_t> data = Pattern(2 * 0x100000 + 77, 5);
    CPackWriter writer;
    writer.AddFile("big.bin", data.data(), (uint32_t)data.size());
    ASSERT_TRUE(writer.Write((dir + "/p").c_str()));
    PackStore store((dir + "/p").c_str());
    EXPECT_EQ(store.GetCacheCapacity(), 64);
    PackEntryHandle h = store.FindEntry("big.bin");
    auto readAll = [&](int nPiece)
    {
        h.m_nPosition = 0;
        std::vector<uint8_t> all;
        for (;;)
        {
            std::vector<uint8_t> piece = Read(store, h, nPiece);
            if (piece.empty()) break;
            all.insert(all.end(), piece.begin(), piece.end());
        }
        return all;
    };
    EXPECT_EQ(readAll(65536), data);
    EXPECT_EQ(readAll(4096), data);
    EXPECT_EQ(store.GetCacheBlockLoads(), 0);
    // Small pieces read ahead, more per load as the run goes on.
    EXPECT_EQ(readAll(1000), data);
    int nLoads = store.GetCacheBlockLoads();
    EXPECT_GE(nLoads, 8);
    EXPECT_LE(nLoads, 12);
    // Every window is still held: the same pass again loads nothing.
    EXPECT_EQ(readAll(1000), data);
    EXPECT_EQ(store.GetCacheBlockLoads(), nLoads);
}

TEST(PackStoreReadConcurrency, SixteenThreadsReadDistinctHandles)
{
    std::string dir = ScratchDir();
    CPackWriter writer;
    writer.SetMaxArchiveSize(3 * 0x100000);
    const int kFiles = 48;
    std::vector<std::vector<uint8_t>> contents;
    for (int i = 0; i < kFiles; ++i)
    {
        contents.push_back(Pattern(40000 + i * 9973, 100 + i));
        PackWriterFileOptions opts;
        opts.m_nPreloadBytes = (i % 3) * 500;
        std::string path = "d" + std::to_string(i % 5) + "/f" + std::to_string(i) + ".bin";
        ASSERT_TRUE(writer.AddFile(path.c_str(), contents.back().data(),
                                   (uint32_t)contents.back().size(), &opts));
    }
    ASSERT_TRUE(writer.Write((dir + "/p").c_str()));
    PackStore store((dir + "/p").c_str());
    store.SetCacheCapacity(2); // force evictions while others read

    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 16; ++t)
    {
        threads.emplace_back(
            [&, t]
            {
                for (int round = 0; round < 3; ++round)
                {
                    for (int i = t; i < kFiles; i += 4)
                    {
                        std::string path =
                            "d" + std::to_string(i % 5) + "/f" + std::to_string(i) + ".bin";
                        PackEntryHandle h = store.FindEntry(path.c_str());
                        std::vector<uint8_t> got;
                        std::vector<uint8_t> buf(7001 + t * 13);
                        for (;;)
                        {
                            int n = store.ReadEntry(h, buf.data(), (int)buf.size());
                            if (n <= 0) break;
                            got.insert(got.end(), buf.begin(), buf.begin() + n);
                        }
                        if (got != contents[i]) failures.fetch_add(1);
                    }
                }
            });
    }
    for (std::thread& th : threads)
        th.join();
    EXPECT_EQ(failures.load(), 0);
}

// Small files read by several threads at once, in order (through the shared
// windows) and scattered (directly), with one window and with many; every
// byte is checked.
TEST(PackStoreReadConcurrency, SmallFilesSharedWindowsAndDirectReads)
{
    std::string dir = ScratchDir();
    CPackWriter writer;
    writer.SetMaxArchiveSize(2 * 0x100000);
    const int kFiles = 400;
    std::vector<std::vector<uint8_t>> contents;
    std::vector<std::string> paths;
    for (int i = 0; i < kFiles; ++i)
    {
        contents.push_back(Pattern(1 + (i * 7919) % 20000 + (i % 40 == 0 ? 100000 : 0), 300 + i));
        paths.push_back("s" + std::to_string(i % 7) + "/f" + std::to_string(i) + ".bin");
        ASSERT_TRUE(writer.AddFile(paths.back().c_str(), contents.back().data(),
                                   (uint32_t)contents.back().size()));
    }
    ASSERT_TRUE(writer.Write((dir + "/p").c_str()));
    for (int nCapacity : {1, 64})
    {
        PackStore store((dir + "/p").c_str());
        store.SetCacheCapacity(nCapacity);
        std::atomic<int> failures{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < 8; ++t)
            threads.emplace_back(
                [&, t]
                {
                    uint32_t state = 1 + t;
                    for (int k = 0; k < kFiles; ++k)
                    {
                        // Half the threads walk the files in order, half jump around.
                        state = state * 1103515245u + 12345u;
                        int i = t % 2 ? (int)((state >> 8) % kFiles) : (k + t * 50) % kFiles;
                        PackEntryHandle h = store.FindEntry(paths[i].c_str());
                        // In-order readers take small pieces, which start runs
                        // that load windows; the others read whole files.
                        std::vector<uint8_t> got(contents[i].size());
                        int nPiece = t % 2 ? (int)got.size() : 1000;
                        int n = 0;
                        for (int k2 = 0; k2 < (int)got.size(); k2 += nPiece)
                            n += store.ReadEntry(h, got.data() + k2,
                                                 std::min(nPiece, (int)got.size() - k2));
                        if (n != (int)got.size() || got != contents[i]) failures.fetch_add(1);
                    }
                });
        for (std::thread& th : threads)
            th.join();
        EXPECT_EQ(failures.load(), 0) << "capacity " << nCapacity;
    }
}
