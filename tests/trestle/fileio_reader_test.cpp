#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/trestle/fileio_test_support.h"
#include "trestle/fileio.h"

using fileio_test::CAssertCapture;
using fileio_test::CScratchDir;

namespace
{

std::string Pattern(size_t cub)
{
    std::string s(cub, '\0');
    for (size_t i = 0; i < cub; ++i)
        s[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    return s;
}

} // namespace

TEST(FileioReader, ShortFileThroughALongerRequest)
{
    CScratchDir dir;
    const std::string path = dir.Write("ten", "0123456789");
    char buf[28];

    CFileReader withCount;
    ASSERT_TRUE(withCount.BOpenFile(path.c_str()));
    uint32_t cubRead = 99;
    EXPECT_TRUE(withCount.Read(buf, sizeof(buf), &cubRead));
    EXPECT_EQ(cubRead, 10u);
    EXPECT_EQ(std::string(buf, 10), "0123456789");
    EXPECT_EQ(withCount.GetPosition(), 10u);

    CFileReader withoutCount;
    ASSERT_TRUE(withoutCount.BOpenFile(path.c_str()));
    EXPECT_FALSE(withoutCount.Read(buf, sizeof(buf)));
    EXPECT_TRUE(withoutCount.Seek(2, 0));
    EXPECT_TRUE(withoutCount.Read(buf, 8));
    EXPECT_EQ(std::string(buf, 8), "23456789");

    CFileReader missing;
    EXPECT_FALSE(missing.BOpenFile(dir.Sub("nope").c_str()));
    EXPECT_FALSE(missing.Read(buf, 1, &cubRead));
}

TEST(FileioReader, ReadAheadWindowServesSmallReadsAndSeeks)
{
    CScratchDir dir;
    const std::string data = Pattern(30000);
    const std::string path = dir.Write("big", data);

    CFileReader reader(false, 100); // raised to the 8192 minimum
    EXPECT_EQ(reader.GetChunkSize(), 8192u);
    ASSERT_TRUE(reader.BOpenFile(path.c_str(), 8));

    // Small reads walk through the window and across its end.
    std::string got;
    char buf[700];
    uint32_t cubRead = 0;
    while (got.size() < 20000)
    {
        ASSERT_TRUE(reader.Read(buf, sizeof(buf), &cubRead));
        ASSERT_EQ(cubRead, sizeof(buf));
        got.append(buf, cubRead);
    }
    EXPECT_EQ(got, data.substr(0, got.size()));

    // Back inside the current window, then outside it, then from the end.
    const uint64_t ulPos = reader.GetPosition();
    ASSERT_TRUE(reader.Seek(-100, 1));
    ASSERT_TRUE(reader.Read(buf, 300, &cubRead));
    EXPECT_EQ(std::string(buf, 300), data.substr(ulPos - 100, 300));
    ASSERT_TRUE(reader.Seek(5, 0));
    ASSERT_TRUE(reader.Read(buf, 10));
    EXPECT_EQ(std::string(buf, 10), data.substr(5, 10));
    ASSERT_TRUE(reader.Seek(-10, 2));
    EXPECT_EQ(reader.GetPosition(), 29990u);
    ASSERT_TRUE(reader.Read(buf, 100, &cubRead));
    EXPECT_EQ(cubRead, 10u);
    EXPECT_EQ(std::string(buf, 10), data.substr(29990));
    EXPECT_FALSE(reader.Seek(-1, 0));

    // A read larger than a chunk goes straight to the destination.
    std::vector<char> large(20000);
    ASSERT_TRUE(reader.Seek(1000, 0));
    ASSERT_TRUE(reader.Read(large.data(), 20000));
    EXPECT_EQ(std::string(large.data(), 20000), data.substr(1000, 20000));
    ASSERT_TRUE(reader.Read(buf, 100));
    EXPECT_EQ(std::string(buf, 100), data.substr(21000, 100));

    // Reopened after a close, the window is there again.
    reader.Close();
    ASSERT_TRUE(reader.BOpenFile(path.c_str()));
    ASSERT_TRUE(reader.Read(buf, 5));
    EXPECT_EQ(std::string(buf, 5), data.substr(0, 5));
}

TEST(FileioReader, ConstructionAndOpenMessages)
{
    CScratchDir dir;
    const std::string path = dir.Write("f", "abc");
    CAssertCapture capture;

    CFileReader both(true, 4096);
    EXPECT_TRUE(capture.HasLine(
        "fileio", "unReadAheadChunkSize should be zero when using bUnbuffered = true"));
    EXPECT_EQ(both.GetChunkSize(), 0u);

    CFileReader huge(false, 0x3FFFFFFF);
    EXPECT_TRUE(capture.Has("fileio", "unReadAheadChunkSize < INT32_MAX/2"));
    EXPECT_EQ(huge.GetChunkSize(), 0u);

    CFileReader reader;
    EXPECT_TRUE(reader.BOpenFile(path.c_str(), 0x12));
    EXPECT_TRUE(
        capture.HasLine("fileio", "unsupported flags 0x12 passed to CFileReader::BOpenFile"));
}

TEST(FileioReader, UnbufferedReadsWholeSectors)
{
    CScratchDir dir;
    const std::string data = Pattern(8192 + 100);
    const std::string path = dir.Write("u", data);
    CAssertCapture capture;

    CFileReader reader(true, 0);
    ASSERT_TRUE(reader.BOpenFile(path.c_str()));
    ASSERT_TRUE(reader.IsUnbuffered());
    const uint32_t unSector = reader.GetSectorSize();
    ASSERT_GE(unSector, 512u);

    alignas(4096) static char s_buf[16384];
    uint32_t cubRead = 0;
    EXPECT_FALSE(reader.Read(s_buf, unSector + 1, &cubRead));
    EXPECT_TRUE(capture.HasLine("fileio", "CFileReader::Read must be called with a cubData value "
                                          "that is a multiple of the sector size when using "
                                          "unbuffered IO"));
    EXPECT_EQ(cubRead, 0u);

    EXPECT_FALSE(reader.Seek(1, 0));
    EXPECT_TRUE(capture.HasLine(
        "fileio", "Seeking to a position which is not sector aligned will break unbuffered io"));

    ASSERT_TRUE(reader.Read(s_buf, 4096, &cubRead));
    EXPECT_EQ(cubRead, 4096u);
    EXPECT_EQ(std::string(s_buf, 4096), data.substr(0, 4096));
    ASSERT_TRUE(reader.Read(s_buf, 8192, &cubRead));
    EXPECT_EQ(cubRead, 4196u);
    EXPECT_EQ(std::string(s_buf, 4196), data.substr(4096));
    EXPECT_EQ(capture.Count("aligned to system page size"), 0u);
}

TEST(FileioReader, UnopenedReaderFails)
{
    CFileReader reader;
    char c;
    EXPECT_FALSE(reader.Read(&c, 1));
    EXPECT_FALSE(reader.Seek(0, 0));
    uint64_t ulSize = 1;
    EXPECT_FALSE(reader.GetFileSize(&ulSize));
    EXPECT_EQ(ulSize, 0u);
}
