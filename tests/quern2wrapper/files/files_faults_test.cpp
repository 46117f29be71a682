// The file calls on a failing disk: reads that fail or come back short, a
// full disk while copying, archives and directory files that change after
// mounting. Each answers with its failure result; none crashes, hands out
// bytes from a wrong place or leaves a partial copy behind.
#include "plinth/platform/platform_filefaults.h"

#ifdef QUERN_FILE_FAULTS

#include "tests/quern2wrapper/files/files_test_support.h"
#include "tests/support/assert_test_support.h"

#include "quern2wrapper/files/files.h"

#include <filesystem>
#include <string>
#include <vector>

namespace
{
namespace fs = std::filesystem;

const char kPackSource[] = "..\\bndlib\\packedstore";
const char kShortRead[] = "nRead == nNumBytes";

std::string Pattern(size_t n, unsigned seed)
{
    std::string bytes(n, '\0');
    for (size_t i = 0; i < n; ++i)
        bytes[i] = (char)(i * seed + i / 1000);
    return bytes;
}

PlatFileFault Always(PlatFileFault fault)
{
    fault.m_unTimes = 0;
    return fault;
}

class FilesFaults : public FilesTest
{
protected:
    void SetUp() override
    {
        Plat_ClearFileFaults();
        FilesTest::SetUp();
    }
    void TearDown() override
    {
        Plat_ClearFileFaults();
        FilesTest::TearDown();
    }

    // The names in a folder (none when it does not exist).
    std::vector<std::string> Listing(const std::string& dir)
    {
        std::vector<std::string> names;
        std::error_code ec;
        for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
            names.push_back(it->path().filename().string());
        return names;
    }

    // Reads until a call returns nothing; the bytes read.
    std::string ReadRest(uint32_t hFile)
    {
        std::string all;
        char buf[65536];
        while (uint32_t n = QuernReadFile(buf, 1, sizeof(buf), hFile, &m_error))
            all.append(buf, n);
        return all;
    }
};

TEST_F(FilesFaults, LocalCopiesAreWholeOrNotThere)
{
    const std::string big = Pattern(2500000, 7); // three pieces of a copy
    const std::string rel = Path("copy/sub/big.bin");
    WritePack(Path("copypak"), {{rel, big}});
    MountPack(Path("copypak").c_str());

    struct Case
    {
        const char* m_pszWhat;
        PlatFileOp m_eOp;
        PlatFileFault m_fault;
    };
    const Case cases[] = {
        {"the first write fails", PLAT_FILE_OP_WRITE, PlatFault_Error(1, PLAT_ERROR_WRITE_FAULT)},
        {"the second write fails", PLAT_FILE_OP_WRITE, PlatFault_Error(2, PLAT_ERROR_WRITE_FAULT)},
        {"the disk fills in the last piece", PLAT_FILE_OP_WRITE, PlatFault_DiskFull(3, 1000)},
        {"the flush fails", PLAT_FILE_OP_FLUSH, PlatFault_Error(1, PLAT_ERROR_DISK_FULL)},
        {"the move into place fails", PLAT_FILE_OP_MOVE,
         PlatFault_Error(1, PLAT_ERROR_ACCESS_DENIED)},
        {"no file opens", PLAT_FILE_OP_OPEN, Always(PlatFault_Error(1, PLAT_ERROR_DISK_FULL))},
        {"the archive reads fail", PLAT_FILE_OP_READ_AT,
         Always(PlatFault_Error(1, PLAT_ERROR_READ_FAULT))},
        {"the archive reads stop at 1.5 MB", PLAT_FILE_OP_READ_AT,
         Always(PlatFault_Short(1, 1500000))},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.m_pszWhat);
        Plat_SetFileFault(c.m_eOp, c.m_fault);
        CAssertCapture capture;
        EXPECT_EQ(0, QuernGetLocalFileCopy(rel.c_str(), &m_error));
        EXPECT_EQ(0, m_error.failureType);
        EXPECT_FALSE(DiskFileExists(rel));
        EXPECT_EQ(std::vector<std::string>(), Listing(Path("copy/sub")));
        Plat_ClearFileFaults();
    }

    // A write that comes back short is continued, not taken for a failure.
    Plat_SetFileFault(PLAT_FILE_OP_WRITE, PlatFault_Short(2, 10));
    EXPECT_EQ(1, QuernGetLocalFileCopy(rel.c_str(), &m_error));
    EXPECT_TRUE(ReadDiskFile(rel) == big);
    fs::remove(rel);
    Plat_ClearFileFaults();

    // The disk recovered: the whole file, and nothing beside it.
    EXPECT_EQ(1, QuernGetLocalFileCopy(rel.c_str(), &m_error));
    EXPECT_TRUE(ReadDiskFile(rel) == big);
    EXPECT_EQ(std::vector<std::string>({"big.bin"}), Listing(Path("copy/sub")));
}

TEST_F(FilesFaults, PackReadsOnAFailingDiskComeBackShortWithTheAssertion)
{
    const std::string content = Pattern(300000, 3);
    MountFixture("pak", {{"data/f.bin", content}});
    uint32_t hFile = QuernOpenFile("data/f.bin", "rb", &m_error);
    ASSERT_NE(0u, hFile & BND_FILE_HANDLE_FLAG);
    std::string buf(1000, '\0');

    Plat_SetFileFault(PLAT_FILE_OP_READ_AT, Always(PlatFault_Error(1, PLAT_ERROR_READ_FAULT)));
    {
        CAssertCapture capture;
        EXPECT_EQ(0u, QuernReadFile(&buf[0], 1, 1000, hFile, &m_error));
        EXPECT_EQ(0, m_error.failureType); // not at the end: no end-of-file failure
        EXPECT_TRUE(capture.Has(kPackSource, kShortRead)) << capture.Output();
        EXPECT_EQ(0, QuernTellFile(hFile, &m_error));
        EXPECT_EQ(0, QuernGetc(hFile, &m_error)); // the byte preset to 0
    }

    // 100 bytes are all the disk gives: those, in elements of 4.
    Plat_SetFileFault(PLAT_FILE_OP_READ_AT, Always(PlatFault_Short(1, 100)));
    uint32_t nElements = QuernReadFile(&buf[0], 4, 250, hFile, &m_error);
    EXPECT_LE(nElements, 25u);
    const int32_t nAt = QuernTellFile(hFile, &m_error);
    EXPECT_LE(nAt, 100);
    EXPECT_EQ(nAt / 4, (int32_t)nElements);
    EXPECT_EQ(content.substr(0, nAt), buf.substr(0, nAt));

    // The disk recovers: the rest, from where the reads stopped.
    Plat_ClearFileFaults();
    CAssertCapture capture;
    EXPECT_TRUE(ReadRest(hFile) == content.substr(nAt));
    EXPECT_EQ(QUERN_FAILURE_END_OF_FILE, m_error.failureType);
    EXPECT_FALSE(capture.Contains(kShortRead));
    QuernCloseFile(hFile, &m_error);
}

TEST_F(FilesFaults, ArchivesCutReplacedOrDeletedAfterMounting)
{
    const std::string content = Pattern(2500000, 5);
    MountFixture("pak", {{"data/big.bin", content}, {"data/other.bin", "other bytes"}});
    uint32_t hFile = QuernOpenFile("data/big.bin", "rb", &m_error);
    std::string head(1000, '\0');
    ASSERT_EQ(1000u, QuernReadFile(&head[0], 1, 1000, hFile, &m_error));

    // Replaced while open: the pack goes on with the bytes it was mounted with.
    WriteDiskFile(Path("new_000.bnd"), std::string(content.size() + 100, 'X'));
    std::error_code ec;
    fs::rename(Path("new_000.bnd"), Path("pak_000.bnd"), ec);
    std::string rest = ReadRest(hFile);
    EXPECT_TRUE(head + rest == content);

    // Cut short at 1.5 MB: what is still there, then the assertion; not at
    // the end, so no end-of-file failure.
    WritePack(Path("cut"), {{"cut/big.bin", content}});
    MountPack(Path("cut").c_str());
    uint32_t hCut = QuernOpenFile("cut/big.bin", "rb", &m_error);
    ASSERT_EQ(1000u, QuernReadFile(&head[0], 1, 1000, hCut, &m_error));
    fs::resize_file(Path("cut_000.bnd"), 1500000);
    {
        CAssertCapture capture;
        std::string buf(content.size(), '\0');
        uint32_t n = QuernReadFile(&buf[0], 1, (uint32_t)buf.size(), hCut, &m_error);
        EXPECT_EQ(1500000u - 1000u, n);
        EXPECT_TRUE(buf.substr(0, n) == content.substr(1000, n));
        EXPECT_EQ(0, m_error.failureType);
        EXPECT_TRUE(capture.Has(kPackSource, kShortRead));
        EXPECT_EQ(1500000, QuernTellFile(hCut, &m_error));
    }

    // Deleted before its first read: entries still open, and read nothing.
    WritePack(Path("gone"), {{"gone/g.bin", "ggg"}});
    MountPack(Path("gone").c_str());
    fs::remove(Path("gone_000.bnd"));
    uint32_t hGone = QuernOpenFile("gone/g.bin", "rb", &m_error);
    EXPECT_NE(0u, hGone);
    {
        CAssertCapture capture;
        char buf[8] = {};
        EXPECT_EQ(0u, QuernReadFile(buf, 1, sizeof(buf), hGone, &m_error));
        EXPECT_EQ(0, QuernGetc(hGone, &m_error));
        EXPECT_EQ(0, QuernGetLocalFileCopy("gone/g.bin", &m_error));
        EXPECT_FALSE(DiskFileExists("gone/g.bin"));
        EXPECT_TRUE(capture.Has(kPackSource, kShortRead));
    }
    QuernCloseFile(hGone, &m_error);
    QuernCloseFile(hCut, &m_error);
    QuernCloseFile(hFile, &m_error);
}

TEST_F(FilesFaults, ADirectoryFileChangedAfterMounting)
{
    MountFixture("pak", {{"data/a.txt", "alpha"}, {"data/b.txt", "bravo"}});
    // Overwritten with something that is no pack at all.
    WriteDiskFile(Path("pak_dir.bnd"), std::string(64, '\xEE'));

    // The mounted tree is the one that was read: lookups and reads go on.
    QuernElemInfo info;
    EXPECT_EQ(0, QuernStat("data/b.txt", &info, &m_error));
    EXPECT_EQ(5u, info.size);
    uint32_t hFile = QuernOpenFile("data/a.txt", "rb", &m_error);
    char buf[16] = {};
    EXPECT_EQ(5u, QuernReadFile(buf, 1, sizeof(buf), hFile, &m_error));
    EXPECT_EQ("alpha", std::string(buf, 5));
    QuernCloseFile(hFile, &m_error);

    // Mounted again, it is refused with a warning and serves nothing.
    UnmountAll();
    ::testing::internal::CaptureStdout();
    MountPack(Path("pak").c_str());
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(std::string::npos, out.find("damaged directory tree")) << out;
    EXPECT_EQ(0, GetMountTable().Count());
    EXPECT_EQ(0u, QuernOpenFile("data/a.txt", "rb", &m_error));
    EXPECT_EQ(QUERN_FAILURE_NOT_FOUND, m_error.failureType);
}

TEST_F(FilesFaults, APackWhoseDirectoryFileCannotBeReadMountsOnceItCan)
{
    WritePack(Path("pak"), {{"data/a.txt", "alpha"}});
    Plat_SetFileFault(PLAT_FILE_OP_READ, PlatFault_Short(1, 12));
    ::testing::internal::CaptureStdout();
    MountPack(Path("pak").c_str());
    ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(0, GetMountTable().Count());

    Plat_ClearFileFaults();
    MountPack(Path("pak").c_str());
    uint32_t hFile = QuernOpenFile("data/a.txt", "rb", &m_error);
    EXPECT_NE(0u, hFile & BND_FILE_HANDLE_FLAG);
    QuernCloseFile(hFile, &m_error);
}

TEST_F(FilesFaults, DiskStreamsThatCannotOpenFailAsMissingFiles)
{
    const std::string path = Path("there.txt");
    WriteDiskFile(path, "x");
    Plat_SetFileFault(PLAT_FILE_OP_OPEN, PlatFault_Error(1, PLAT_ERROR_ACCESS_DENIED));
    EXPECT_EQ(0u, QuernOpenFile(path.c_str(), "rb", &m_error));
    EXPECT_EQ(QUERN_FAILURE_NOT_FOUND, m_error.failureType);
    uint32_t hFile = QuernOpenFile(path.c_str(), "rb", &m_error);
    EXPECT_NE(0u, hFile);
    QuernCloseFile(hFile, &m_error);
}

// The runtime drops what it buffered when a write fails; each call that
// meets the full disk says so.
TEST_F(FilesFaults, DiskStreamsReportAFullDiskAtTheCallThatMeetsIt)
{
    if (!Plat_FileFaultsReachStreams()) GTEST_SKIP() << "the runtime's streams are out of reach";
    const std::string path = Path("save.dat");

    // Unbuffered: each write meets the disk; the third finds room for 5 bytes.
    Plat_SetFileFault(PLAT_FILE_OP_WRITE, PlatFault_DiskFull(3, 5));
    uint32_t hFile = QuernOpenFile(path.c_str(), "wb", &m_error);
    ASSERT_NE(0u, hFile);
    EXPECT_EQ(0, QuernSetvBuf(hFile, nullptr, 1, 0, &m_error));
    EXPECT_EQ(4u, QuernWriteFile("aaaa", 1, 4, hFile, &m_error));
    EXPECT_EQ(4u, QuernWriteFile("bbbb", 1, 4, hFile, &m_error));
    EXPECT_EQ(5u, QuernWriteFile("cccccccc", 1, 8, hFile, &m_error));
    QuernCloseFile(hFile, &m_error);
    EXPECT_EQ("aaaabbbbccccc", ReadDiskFile(path));

    // Buffered: the flush finds the disk full.
    Plat_SetFileFault(PLAT_FILE_OP_WRITE, PlatFault_DiskFull(1, 0));
    hFile = QuernOpenFile(path.c_str(), "wb", &m_error);
    EXPECT_EQ(10u, QuernWriteFile("0123456789", 1, 10, hFile, &m_error));
    EXPECT_EQ(EOF, QuernFlushFile(hFile, &m_error));
    QuernCloseFile(hFile, &m_error);

    // The size needs the buffered bytes on disk first: no size then.
    hFile = QuernOpenFile(path.c_str(), "wb", &m_error);
    EXPECT_EQ(10u, QuernWriteFile("0123456789", 1, 10, hFile, &m_error));
    EXPECT_EQ(-1, QuernSizeFile(hFile, &m_error));
    QuernCloseFile(hFile, &m_error);
}

TEST_F(FilesFaults, ADiskStreamReadErrorIsNotTheEndOfTheFile)
{
    if (!Plat_FileFaultsReachStreams()) GTEST_SKIP() << "the runtime's streams are out of reach";
    const std::string path = Path("load.dat");
    WriteDiskFile(path, "0123456789");
    Plat_SetFileFault(PLAT_FILE_OP_READ, PlatFault_Error(1, PLAT_ERROR_READ_FAULT));
    uint32_t hFile = QuernOpenFile(path.c_str(), "rb", &m_error);
    char buf[20];
    EXPECT_EQ(0u, QuernReadFile(buf, 1, sizeof(buf), hFile, &m_error));
    EXPECT_EQ(0, m_error.failureType);
    EXPECT_EQ(10u, QuernReadFile(buf, 1, sizeof(buf), hFile, &m_error));
    EXPECT_EQ("0123456789", std::string(buf, 10));
    EXPECT_EQ(QUERN_FAILURE_END_OF_FILE, m_error.failureType);
    QuernCloseFile(hFile, &m_error);
}

} // namespace

#endif // QUERN_FILE_FAULTS
