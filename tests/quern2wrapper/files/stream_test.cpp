// File handles and stream calls over pack and disk files.
#include "tests/bndlib/bndlib_test_support.h"
#include "tests/quern2wrapper/files/files_test_support.h"
#include "tests/quern2wrapper/session_test_support.h"

#include "quern2wrapper/files/files.h"
#include "quern2wrapper/quernerror.h"

#include <cstring>
#include <string>

namespace
{
class FilesStream : public FilesTest
{
protected:
    void SetUp() override
    {
        FilesTest::SetUp();
        MountFixture("pak", {{"data/x.txt", "pack bytes"},
                             {"vfsshadow/x.txt", "pack bytes"},
                             {"text/crlf.txt", std::string("a\r\nb")},
                             {"text/mixed.txt", std::string("a\r\nb\rc\r")},
                             {"bin/ten.bin", "0123456789"},
                             {"bin/ff.bin", std::string("\x41\xFF", 2)}});
    }

    uint32_t Open(const char* pszPath, const char* pszMode)
    {
        return QuernOpenFile(pszPath, pszMode, &m_error);
    }
};
} // namespace

TEST_F(FilesStream, PackComesBeforeDiskAndWriteModesGoToDisk)
{
    // The disk path is relative to the current directory, as the pack path is
    // to the pack.
    WriteDiskFile("vfsshadow/x.txt", "disk bytes!");
    uint32_t size = 0;
    uint32_t hPack = QuernOpenFileEx("vfsshadow/x.txt", "rb", &size, &m_error);
    EXPECT_EQ(BND_FILE_HANDLE_FLAG, hPack & (BND_FILE_HANDLE_FLAG | BND_TEXT_MODE_FLAG));
    EXPECT_EQ(10u, size);
    EXPECT_EQ(0, m_error.failureType);
    char buf[32] = {};
    EXPECT_EQ(10u, QuernReadFile(buf, 1, sizeof(buf), hPack, &m_error));
    EXPECT_STREQ("pack bytes", buf);
    EXPECT_EQ(0, QuernCloseFile(hPack, &m_error));

    // "w" truncates the disk file even though the pack has the path.
    uint32_t hDisk = QuernOpenFileEx("vfsshadow/x.txt", "w", &size, &m_error);
    ASSERT_NE(0u, hDisk);
    EXPECT_EQ(0u, hDisk & BND_FILE_HANDLE_FLAG);
    EXPECT_EQ(0u, size);
    EXPECT_EQ(3u, QuernWriteFile("new", 1, 3, hDisk, &m_error));
    EXPECT_EQ(0, QuernCloseFile(hDisk, &m_error));
    EXPECT_EQ("new", ReadDiskFile("vfsshadow/x.txt"));
    std::remove("vfsshadow/x.txt");
    RemoveDiskDirectory("vfsshadow");
}

TEST_F(FilesStream, UpdateModesGoToDisk)
{
    const std::string path = "vfsshadow/x.txt";
    for (const char* pszMode : {"r+", "rb+", "r+b", "r+t"})
    {
        WriteDiskFile(path, "disk bytes!");
        uint32_t h = Open(path.c_str(), pszMode);
        ASSERT_NE(0u, h) << pszMode;
        EXPECT_EQ(0u, h & BND_FILE_HANDLE_FLAG) << pszMode;
        EXPECT_EQ(2u, QuernWriteFile("DI", 1, 2, h, &m_error)) << pszMode;
        EXPECT_EQ(0, QuernCloseFile(h, &m_error));
        EXPECT_EQ("DIsk bytes!", ReadDiskFile(path)) << pszMode;
    }
    std::remove(path.c_str());
    RemoveDiskDirectory("vfsshadow");
}

TEST_F(FilesStream, FlushWithoutAStreamFlushesEveryOutputStream)
{
    const std::string path = Path("flushed.txt");
    uint32_t h = Open(path.c_str(), "wb");
    ASSERT_NE(0u, h);
    ASSERT_EQ(0, QuernSetvBuf(h, nullptr, 0, 8192, &m_error));
    std::string written;
    // No handle, and a handle that names no stream.
    for (uint32_t hNone : {0u, 0x12345u})
    {
        EXPECT_EQ(5u, QuernWriteFile("hello", 1, 5, h, &m_error));
        EXPECT_EQ(written, ReadDiskFile(path)) << "still in the stream's buffer";
        written += "hello";
        EXPECT_EQ(0, QuernFlushFile(hNone, &m_error));
        EXPECT_EQ(written, ReadDiskFile(path)) << hNone;
    }
    EXPECT_EQ(0, QuernCloseFile(h, &m_error));
}

TEST_F(FilesStream, MissingFileFailsWithNotFound)
{
    EXPECT_EQ(0u, Open(Path("nowhere.txt").c_str(), "rb"));
    EXPECT_EQ(QUERN_FAILURE_NOT_FOUND, m_error.failureType);
    EXPECT_EQ('\0', m_error.description[0]);
}

TEST_F(FilesStream, TextModeCollapsesLineEndsWithinOneRead)
{
    uint32_t h = Open("text/crlf.txt", "rt");
    EXPECT_EQ(BND_FILE_HANDLE_FLAG | BND_TEXT_MODE_FLAG,
              h & (BND_FILE_HANDLE_FLAG | BND_TEXT_MODE_FLAG));
    char buf[10] = {};
    EXPECT_EQ(3u, QuernReadFile(buf, 1, 10, h, &m_error));
    EXPECT_EQ(std::string("a\nb"), std::string(buf, 3));
    EXPECT_EQ(QUERN_FAILURE_END_OF_FILE, m_error.failureType);
    QuernCloseFile(h, &m_error);

    // "R" is text too; "rb" keeps the bytes.
    h = Open("text/crlf.txt", "R");
    EXPECT_NE(0u, h & BND_TEXT_MODE_FLAG);
    QuernCloseFile(h, &m_error);
    h = Open("text/crlf.txt", "rb");
    EXPECT_EQ(0u, h & BND_TEXT_MODE_FLAG);
    EXPECT_EQ(4u, QuernReadFile(buf, 1, 10, h, &m_error));
    QuernCloseFile(h, &m_error);
}

TEST_F(FilesStream, TextModeByteByByte)
{
    // a CR LF b CR c CR: CR LF becomes LF; a lone CR stays and the byte after
    // it comes next; a CR at the end stays.
    uint32_t h = Open("text/mixed.txt", "r");
    std::string got;
    char c;
    while (QuernReadFile(&c, 1, 1, h, &m_error) == 1)
        got += c;
    EXPECT_EQ(std::string("a\nb\rc\r"), got);
    EXPECT_EQ(QUERN_FAILURE_END_OF_FILE, m_error.failureType);
    QuernCloseFile(h, &m_error);

    // A CR that ends a longer read is kept even if LF follows.
    h = Open("text/crlf.txt", "rt");
    char two[2];
    EXPECT_EQ(2u, QuernReadFile(two, 1, 2, h, &m_error));
    EXPECT_EQ(std::string("a\r"), std::string(two, 2));
    EXPECT_EQ(2u, QuernReadFile(two, 1, 2, h, &m_error));
    EXPECT_EQ(std::string("\nb"), std::string(two, 2));
    QuernCloseFile(h, &m_error);
}

TEST_F(FilesStream, SeekClampsAndElementReads)
{
    uint32_t h = Open("bin/ten.bin", "rb");
    EXPECT_EQ(0, QuernSeekFile(h, 110, 0, &m_error));
    EXPECT_EQ(10, QuernTellFile(h, &m_error));
    EXPECT_EQ(0, QuernSeekFile(h, -5, 0, &m_error));
    EXPECT_EQ(0, QuernTellFile(h, &m_error));
    EXPECT_EQ(0, QuernSeekFile(h, -3, 2, &m_error));
    EXPECT_EQ(7, QuernTellFile(h, &m_error));
    EXPECT_EQ(0, QuernSeekFile(h, -2, 1, &m_error));
    EXPECT_EQ(5, QuernTellFile(h, &m_error));
    EXPECT_EQ(10, QuernSizeFile(h, &m_error));

    // Element size 4, count 3 over 10 bytes: two whole elements.
    QuernSeekFile(h, 0, 0, &m_error);
    char buf[12] = {};
    EXPECT_EQ(2u, QuernReadFile(buf, 4, 3, h, &m_error));
    EXPECT_EQ(QUERN_FAILURE_END_OF_FILE, m_error.failureType);
    EXPECT_EQ(10, QuernTellFile(h, &m_error));
    EXPECT_EQ(0, memcmp(buf, "0123456789", 10));

    // A full read does not report the end.
    QuernSeekFile(h, 0, 0, &m_error);
    EXPECT_EQ(2u, QuernReadFile(buf, 5, 2, h, &m_error));
    EXPECT_EQ(0, m_error.failureType);
    QuernCloseFile(h, &m_error);
}

TEST_F(FilesStream, SizesPastTheSignedRangeOpenAsEmptyFiles)
{
    // Preload plus chunk length beyond 0x7FFFFFFF: a damaged or hostile pack.
    bndtest::RawTree tree;
    tree.Ext("bin").Dir(" ");
    tree.File("huge", {{0, 0, 0xFFFFFFFFu}});
    tree.File("half", {{0, 0, 0x80000000u}}, {'p', 'r'});
    tree.End().End().End();
    bndtest::WriteFile(Path("wide_dir.bnd"), bndtest::DirFile(2, tree.Bytes()));
    bndtest::WriteFile(Path("wide_000.bnd"), bndtest::Pattern(64, 7));
    MountPack(Path("wide").c_str());

    for (const char* pszPath : {"huge.bin", "half.bin"})
    {
        SCOPED_TRACE(pszPath);
        uint32_t size = 1;
        uint32_t h = QuernOpenFileEx(pszPath, "rb", &size, &m_error);
        ASSERT_NE(0u, h & BND_FILE_HANDLE_FLAG);
        EXPECT_EQ(0u, size);
        EXPECT_EQ(0, QuernSizeFile(h, &m_error));
        EXPECT_EQ(0, QuernSeekFile(h, 5, 2, &m_error));
        EXPECT_EQ(0, QuernTellFile(h, &m_error));
        EXPECT_EQ(0, QuernSeekFile(h, 0x7FFFFFFF, 0, &m_error));
        EXPECT_EQ(0, QuernTellFile(h, &m_error));
        char buf[8];
        EXPECT_EQ(0u, QuernReadFile(buf, 1, sizeof(buf), h, &m_error));
        EXPECT_EQ(QUERN_FAILURE_END_OF_FILE, m_error.failureType);
        EXPECT_EQ(0, QuernCloseFile(h, &m_error));
    }
}

TEST_F(FilesStream, GetcAtEndAndOnHighByte)
{
    uint32_t h = Open("bin/ff.bin", "rb");
    EXPECT_EQ(0x41, QuernGetc(h, &m_error));
    EXPECT_EQ(-1, QuernGetc(h, &m_error));
    EXPECT_EQ(0, QuernGetc(h, &m_error));
    QuernCloseFile(h, &m_error);
}

TEST_F(FilesStream, HandleZeroAndClosedHandlesAreUnknown)
{
    char buf[4];
    EXPECT_EQ(-1, QuernCloseFile(0, &m_error));
    EXPECT_EQ(0u, QuernReadFile(buf, 1, 4, 0, &m_error));
    EXPECT_EQ(-1, QuernGetc(0, &m_error));
    EXPECT_EQ(-1, QuernPutc('x', 0, &m_error));
    EXPECT_EQ(-1, QuernSeekFile(0, 0, 0, &m_error));
    EXPECT_EQ(-1, QuernTellFile(0, &m_error));
    EXPECT_EQ(-1, QuernSizeFile(0, &m_error));
    EXPECT_EQ(-1, QuernSetvBuf(0, nullptr, 1, 0, &m_error));
    EXPECT_EQ(0u, QuernWriteFile("x", 1, 1, 0, &m_error));
    EXPECT_EQ(0, QuernPrintFile(0, &m_error, "%d", 5));

    // A closed pack handle is unknown to every call.
    uint32_t h = Open("data/x.txt", "rb");
    EXPECT_EQ(0, QuernCloseFile(h, &m_error));
    EXPECT_EQ(0u, QuernReadFile(buf, 1, 4, h, &m_error));
    EXPECT_EQ(-1, QuernGetc(h, &m_error));
    EXPECT_EQ(-1, QuernSeekFile(h, 0, 0, &m_error));
    EXPECT_EQ(-1, QuernTellFile(h, &m_error));
    EXPECT_EQ(-1, QuernSizeFile(h, &m_error));

    // A close that closes nothing fails: a second close of the pack handle,
    // and pack handles that were never opened (bit 31 set, or a free index).
    EXPECT_EQ(-1, QuernCloseFile(h, &m_error));
    EXPECT_EQ(-1, QuernCloseFile(BND_FILE_HANDLE_FLAG | 0x123u, &m_error));
    EXPECT_EQ(-1, QuernCloseFile(BND_FILE_HANDLE_FLAG | 0x80000000u, &m_error));

    // A closed disk handle too.
    uint32_t hDisk = Open(Path("d.txt").c_str(), "w");
    ASSERT_NE(0u, hDisk);
    EXPECT_EQ(0, QuernCloseFile(hDisk, &m_error));
    EXPECT_EQ(-1, QuernCloseFile(hDisk, &m_error));
    EXPECT_EQ(-1, QuernTellFile(hDisk, &m_error));
}

TEST_F(FilesStream, ThreeSpellingsFindOneEntry)
{
    std::string absolute = std::string(GetWorkingDirectory()) + "data\\x.txt";
    for (const std::string& path :
         {std::string("data\\x.txt"), std::string(".\\data\\x.txt"), std::string("./data/x.txt"),
          std::string("data//x.txt"), std::string("data\\sub\\..\\x.txt"), absolute})
    {
        uint32_t size = 0;
        uint32_t h = QuernOpenFileEx(path.c_str(), "rb", &size, &m_error);
        EXPECT_NE(0u, h & BND_FILE_HANDLE_FLAG) << path;
        EXPECT_EQ(10u, size) << path;
        QuernCloseFile(h, &m_error);
    }
    char out[64];
    NormalizeFilePath(".\\a//b\\.\\c/../d.txt", out, sizeof(out));
    EXPECT_STREQ("a\\b\\d.txt", out);
}

TEST_F(FilesStream, IndicesAreReusedMostRecentlyFreedFirst)
{
    uint32_t a = Open("data/x.txt", "rb");
    uint32_t b = Open("bin/ten.bin", "rb");
    uint32_t c = Open("bin/ff.bin", "rb");
    EXPECT_EQ(BND_FILE_HANDLE_FLAG | 0u, a);
    EXPECT_EQ(BND_FILE_HANDLE_FLAG | 1u, b);
    QuernCloseFile(a, &m_error);
    QuernCloseFile(b, &m_error);
    EXPECT_EQ(b, Open("data/x.txt", "rb"));
    EXPECT_EQ(a, Open("data/x.txt", "rb"));
    // Two opens of one file keep their own positions.
    char ch;
    QuernReadFile(&ch, 1, 1, c, &m_error);
    uint32_t c2 = Open("bin/ff.bin", "rb");
    EXPECT_EQ(0, QuernTellFile(c2, &m_error));
    EXPECT_EQ(1, QuernTellFile(c, &m_error));

    uint32_t d1 = Open(Path("one.txt").c_str(), "w");
    uint32_t d2 = Open(Path("two.txt").c_str(), "w");
    ASSERT_NE(0u, d1);
    ASSERT_NE(0u, d2);
    QuernCloseFile(d1, &m_error);
    EXPECT_EQ(d1, Open(Path("three.txt").c_str(), "w"));
    QuernCloseFile(d1, &m_error);
    QuernCloseFile(d2, &m_error);
}

TEST_F(FilesStream, DiskStreamCalls)
{
    std::string path = Path("disk.txt");
    uint32_t h = Open(path.c_str(), "wb+");
    ASSERT_NE(0u, h);
    EXPECT_EQ(0, QuernSetvBuf(h, nullptr, 0, 512, &m_error));
    EXPECT_EQ(-1, QuernSetvBuf(h, nullptr, 2, 512, &m_error));
    EXPECT_EQ(5u, QuernWriteFile("hello", 1, 5, h, &m_error));
    EXPECT_EQ('!', QuernPutc('!', h, &m_error));
    EXPECT_EQ(6, QuernPrintFile(h, &m_error, " %d-%s", 42, "ab"));
    EXPECT_EQ(0, QuernPrintFile(h, &m_error, "%s", ""));
    EXPECT_EQ(0, QuernFlushFile(h, &m_error));
    EXPECT_EQ(12, QuernSizeFile(h, &m_error));
    EXPECT_EQ(12, QuernTellFile(h, &m_error));
    EXPECT_EQ(0, QuernSeekFile(h, 6, 0, &m_error));
    EXPECT_EQ(' ', QuernGetc(h, &m_error));
    char buf[16] = {};
    EXPECT_EQ(5u, QuernReadFile(buf, 1, 16, h, &m_error));
    EXPECT_STREQ("42-ab", buf);
    EXPECT_EQ(QUERN_FAILURE_END_OF_FILE, m_error.failureType);
    EXPECT_EQ(0, QuernCloseFile(h, &m_error));
    EXPECT_EQ("hello! 42-ab", ReadDiskFile(path));

    // The size of an existing file comes back with the open.
    uint32_t size = 0;
    h = QuernOpenFileEx(path.c_str(), "rb", &size, &m_error);
    EXPECT_EQ(12u, size);
    QuernCloseFile(h, &m_error);

    h = QuernOpenTmpFile(&m_error);
    ASSERT_NE(0u, h);
    EXPECT_EQ(0u, h & BND_FILE_HANDLE_FLAG);
    EXPECT_EQ(3u, QuernWriteFile("tmp", 1, 3, h, &m_error));
    EXPECT_EQ(3, QuernSizeFile(h, &m_error));
    EXPECT_EQ(0, QuernCloseFile(h, &m_error));
}

TEST_F(FilesStream, DiskOnlyCallsRefusePackHandles)
{
    uint32_t h = Open("data/x.txt", "rb");
    DebugOutputCapture capture;
    EXPECT_EQ(0u, QuernWriteFile("x", 1, 1, h, &m_error));
    EXPECT_EQ(-1, QuernPutc('x', h, &m_error));
    QuernFlushFile(h, &m_error);
    EXPECT_EQ(0, QuernPrintFile(h, &m_error, "x"));
    EXPECT_EQ(-1, QuernSetvBuf(h, nullptr, 0, 0, &m_error));
    std::string all = Joined(capture.Lines());
    for (int line : {671, 694, 494, 701, 472})
    {
        std::string expected = "quern2wrapper_stdio (" + std::to_string(line) +
                               ") : Assertion Failed: !(hFile & BND_FILE_HANDLE_FLAG)";
        EXPECT_NE(std::string::npos, all.find(expected)) << expected << "\n" << all;
    }
    // The pack handle still reads afterwards.
    char buf[4];
    EXPECT_EQ(4u, QuernReadFile(buf, 1, 4, h, &m_error));
    QuernCloseFile(h, &m_error);
}

TEST_F(FilesStream, LogLines)
{
    verboseLogging = 1;
    DebugOutputCapture capture;
    uint32_t h = Open("data/x.txt", "rb");
    QuernSizeFile(h, &m_error);
    QuernCloseFile(h, &m_error);
    Open("no/such.file", "rb");
    char szHandle[16];
    snprintf(szHandle, sizeof(szHandle), "%u", h);
    std::vector<std::string> expected = {
        std::string("open file data/x.txt, mode rb, size 10, handle ") + szHandle,
        std::string("size handle ") + szHandle + ", size 10",
        std::string("close file handle ") + szHandle,
        "open file no/such.file, mode rb, size 0, handle 0",
    };
    EXPECT_EQ(expected, capture.Lines());
}
