// Packs on a failing disk: reads that fail or come back short never hand out
// bytes from a wrong place, and a directory file that cannot be read is not
// taken for a pack without header.
#include "plinth/platform/platform_filefaults.h"

#ifdef QUERN_FILE_FAULTS

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/bndlib/bndlib_test_support.h"
#include "bndlib/packstore.h"
#include "bndlib/packwriter.h"

using namespace bndtest;

namespace
{
const char kShortRead[] = "packedstore (824) : Assertion Failed: nRead == nNumBytes\n";
const int kBlock = 0x100000;

class PackStoreFaults : public ::testing::Test
{
protected:
    void SetUp() override { Plat_ClearFileFaults(); }
    void TearDown() override { Plat_ClearFileFaults(); }

    // One entry of 2.5 blocks with 100 preload bytes, after a small one.
    std::string WriteBigPack()
    {
        std::string dir = ScratchDir();
        m_data = Pattern(5 * kBlock / 2, 21);
        CPackWriter writer;
        PackWriterFileOptions opts;
        opts.m_nPreloadBytes = 100;
        writer.AddFile("a.bin", "0123456789", 10);
        writer.AddFile("big.bin", m_data.data(), (uint32_t)m_data.size(), &opts);
        EXPECT_TRUE(writer.Write((dir + "/p").c_str()));
        return dir + "/p";
    }

    std::vector<uint8_t> Read(PackStore& store, PackEntryHandle& h, int n)
    {
        std::vector<uint8_t> out(n);
        int got = store.ReadEntry(h, out.data(), n);
        out.resize(got > 0 ? got : 0);
        return out;
    }

    std::vector<uint8_t> Slice(size_t from, size_t n) const
    {
        return std::vector<uint8_t>(m_data.begin() + from, m_data.begin() + from + n);
    }

    std::vector<uint8_t> m_data;
};

TEST_F(PackStoreFaults, FailedReadsStopWhereTheBytesStopAndResumeThere)
{
    for (int nCapacity : {1, 64})
    {
        SCOPED_TRACE(nCapacity);
        PackStore store(WriteBigPack().c_str());
        store.SetCacheCapacity(nCapacity);
        PackEntryHandle h = store.FindEntry("big.bin");
        ASSERT_TRUE(h.IsValid());

        // Every archive read fails: only the preload bytes, and the assertion.
        Plat_SetFileFault(PLAT_FILE_OP_READ_AT,
                          []
                          {
                              PlatFileFault f = PlatFault_Error(1, PLAT_ERROR_READ_FAULT);
                              f.m_unTimes = 0;
                              return f;
                          }());
        {
            DebugCapture capture;
            EXPECT_EQ(Slice(0, 100), Read(store, h, 5000));
            EXPECT_EQ(100, h.m_nPosition);
            EXPECT_EQ(1, capture.Count(kShortRead)) << capture.Text();
        }

        // Then 700 bytes are all the disk gives: at most those, from where
        // the last read stopped, then the assertion.
        Plat_SetFileFault(PLAT_FILE_OP_READ_AT, PlatFault_Short(1, 700));
        {
            DebugCapture capture;
            std::vector<uint8_t> got = Read(store, h, 5000);
            EXPECT_LE(got.size(), 700u);
            EXPECT_EQ(Slice(100, got.size()), got);
            EXPECT_EQ(100 + (int)got.size(), h.m_nPosition);
            EXPECT_EQ(1, capture.Count(kShortRead)) << capture.Text();
        }

        // The disk recovers: every byte from where the reads stopped, right,
        // whether the cache kept a short block or not.
        Plat_ClearFileFaults();
        DebugCapture capture;
        const int nAt = h.m_nPosition;
        EXPECT_EQ(Slice(nAt, 5000), Read(store, h, 5000));
        h.m_nPosition = 0;
        std::vector<uint8_t> all = Read(store, h, (int)m_data.size());
        EXPECT_TRUE(all == m_data);
        EXPECT_EQ("", capture.Text());
    }
}

TEST_F(PackStoreFaults, ATransientErrorLoadingAReadAheadWindowIsReadAgainDirectly)
{
    PackStore store(WriteBigPack().c_str());
    PackEntryHandle h = store.FindEntry("big.bin");
    h.m_nPosition = kBlock + 7;
    // The first small read goes straight to the archive; the second continues
    // the run and loads a read-ahead window, whose load fails once.
    EXPECT_EQ(Slice(kBlock + 7, 900), Read(store, h, 900));
    Plat_SetFileFault(PLAT_FILE_OP_READ_AT, PlatFault_Error(1, PLAT_ERROR_READ_FAULT));
    DebugCapture capture;
    EXPECT_EQ(Slice(kBlock + 907, 900), Read(store, h, 900));
    // The failed window load and the direct read after it.
    EXPECT_EQ(2u, Plat_FileFaultCalls(PLAT_FILE_OP_READ_AT));
    EXPECT_EQ("", capture.Text());
    // Later reads of the run still come right.
    EXPECT_EQ(Slice(kBlock + 1807, 900), Read(store, h, 900));
}

TEST_F(PackStoreFaults, AnUnreadableHeaderIsNotATreeWithoutHeader)
{
    std::string base = WriteBigPack();
    for (const PlatFileFault& fault :
         {PlatFault_Error(1, PLAT_ERROR_READ_FAULT), PlatFault_Short(1, 12)})
    {
        Plat_SetFileFault(PLAT_FILE_OP_READ, fault);
        ::testing::internal::CaptureStdout();
        PackStore store(base.c_str());
        const std::string out = ::testing::internal::GetCapturedStdout();
        // Refused, as a damaged pack is, rather than loaded empty.
        EXPECT_TRUE(store.IsEmpty());
        EXPECT_TRUE(store.IsDamaged());
        EXPECT_EQ("bnd " + base + ": cannot read the directory file\n", out);
    }
    Plat_ClearFileFaults();
    PackStore store(base.c_str());
    EXPECT_TRUE(store.FindEntry("big.bin").IsValid());
}

TEST_F(PackStoreFaults, ADirectoryFileCutShortAfterLoadingShortensOnlyEmbeddedReads)
{
    std::string dir = ScratchDir();
    std::vector<uint8_t> embedded = Pattern(3000, 4);
    std::vector<uint8_t> archived = Pattern(2000, 5);
    CPackWriter writer;
    PackWriterFileOptions embed;
    embed.m_bEmbed = true;
    writer.AddFile("in/dir.bin", embedded.data(), (uint32_t)embedded.size(), &embed);
    writer.AddFile("in/arc.bin", archived.data(), (uint32_t)archived.size());
    ASSERT_TRUE(writer.Write((dir + "/p").c_str()));
    PackStore store((dir + "/p").c_str());
    PackEntryHandle hEmbedded = store.FindEntry("in/dir.bin");
    PackEntryHandle hArchived = store.FindEntry("in/arc.bin");
    ASSERT_EQ(0x7FFF, hEmbedded.m_nArchiveIndex);

    // The tree stays in memory; the embedded bytes lose their last 1000.
    std::vector<uint8_t> dirFile = ReadFile(dir + "/p_dir.bnd");
    dirFile.resize(dirFile.size() - 1000);
    WriteFile(dir + "/p_dir.bnd", dirFile);

    DebugCapture capture;
    std::vector<uint8_t> got(4000);
    EXPECT_EQ(2000, store.ReadEntry(hEmbedded, got.data(), 4000));
    EXPECT_EQ(std::vector<uint8_t>(embedded.begin(), embedded.begin() + 2000),
              std::vector<uint8_t>(got.begin(), got.begin() + 2000));
    EXPECT_EQ(1, capture.Count(kShortRead));
    EXPECT_EQ(2000, store.ReadEntry(hArchived, got.data(), 4000));
    EXPECT_EQ(archived, std::vector<uint8_t>(got.begin(), got.begin() + 2000));
    EXPECT_EQ(1, capture.Count(kShortRead));
}

TEST_F(PackStoreFaults, TheWriterReportsAFullDiskAtEveryWrite)
{
    std::string dir = ScratchDir();
    std::vector<uint8_t> data = Pattern(70000, 9);
    auto write = [&]
    {
        CPackWriter writer;
        PackWriterFileOptions embed;
        embed.m_bEmbed = true;
        writer.AddFile("a/one.bin", data.data(), (uint32_t)data.size());
        writer.AddFile("a/two.bin", data.data(), 5000, &embed);
        return writer.Write((dir + "/p").c_str());
    };
    ASSERT_TRUE(write());
    const uint32_t nWrites = Plat_FileFaultCalls(PLAT_FILE_OP_WRITE);
    ASSERT_GT(nWrites, 1u);
    for (uint32_t n = 1; n <= nWrites; ++n)
    {
        SCOPED_TRACE(n);
        Plat_SetFileFault(PLAT_FILE_OP_WRITE, PlatFault_DiskFull(n, 100));
        EXPECT_FALSE(write());
    }
}

} // namespace

#endif // QUERN_FILE_FAULTS
