#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "tests/trestle/fileio_test_support.h"
#include "trestle/fileio.h"

using fileio_test::CAssertCapture;
using fileio_test::CScratchDir;
using fileio_test::ReadAll;
namespace fs = std::filesystem;

namespace
{

// Deterministic bytes for writer w, piece i.
std::string Piece(int w, int i)
{
    const size_t cub = 1 + static_cast<size_t>((i * 131 + w * 17) % 3000);
    return std::string(cub, static_cast<char>('A' + (w * 7 + i) % 26));
}

size_t CountTemporaryFiles(const fs::path& dir)
{
    size_t n = 0;
    for (const auto& entry : fs::recursive_directory_iterator(dir))
        if (entry.path().filename().string().find(".async") != std::string::npos) ++n;
    return n;
}

bool WaitForWriterThreadToEnd()
{
    for (int i = 0; i < 500; ++i)
    {
        if (!FileWriterThread_IsRunning()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

} // namespace

TEST(FileioWriter, SynchronousOpenWriteAppend)
{
    CScratchDir dir;
    const std::string path = dir.Sub("new/deeper/out.txt");
    {
        CFileWriter writer;
        ASSERT_TRUE(writer.Open(path.c_str()));
        EXPECT_STREQ(writer.GetFileName(), "out.txt");
        EXPECT_TRUE(writer.Write("hello ", 6));
        EXPECT_TRUE(writer.Write(nullptr, 0));
        EXPECT_TRUE(writer.Write("world", 5));
        EXPECT_EQ(writer.GetBytesWritten(), 11u);
        EXPECT_TRUE(writer.Flush());
        EXPECT_EQ(ReadAll(path), "hello world");
    }
    {
        CFileWriter writer;
        ASSERT_TRUE(writer.Open(path.c_str(), true));
        EXPECT_EQ(writer.GetBytesWritten(), 11u);
        EXPECT_TRUE(writer.Write("!", 1));
        EXPECT_EQ(writer.GetBytesWritten(), 12u);
    }
    EXPECT_EQ(ReadAll(path), "hello world!");
    {
        // Append to a file that is not there yet creates it.
        CFileWriter writer;
        ASSERT_TRUE(writer.Open(dir.Sub("fresh.txt").c_str(), true));
        EXPECT_EQ(writer.GetBytesWritten(), 0u);
        // Without append the file starts over; opening again closes the first.
        ASSERT_TRUE(writer.Open(path.c_str()));
        EXPECT_TRUE(writer.Write("x", 1));
    }
    EXPECT_EQ(ReadAll(path), "x");
    EXPECT_TRUE(fs::exists(dir.Path() / "fresh.txt"));
}

TEST(FileioWriter, FailuresAreReported)
{
    CScratchDir dir;
    const std::string blocker = dir.Write("blocker", "x");
    CFileWriter writer;
    EXPECT_FALSE(writer.Open((blocker + "/sub/out.txt").c_str()));
    EXPECT_FALSE(writer.IsOpen());
    EXPECT_FALSE(writer.Write("abc", 3));
    EXPECT_TRUE(writer.BFailed());
    EXPECT_EQ(writer.GetBytesWritten(), 0u);

    CAssertCapture capture;
    CFileWriter async(true);
    // Never opened, so never registered with the writer thread.
    EXPECT_FALSE(async.Write("abc", 3));
    EXPECT_TRUE(capture.Has("fileio", "m_vecRegisteredWriters.HasElement( pFile )"));
    EXPECT_EQ(async.GetBytesOutstanding(), 0);

    // Sizes are checked before a single byte is looked at.
    static const char s_dummy[1] = {0};
    EXPECT_FALSE(writer.Write(s_dummy, 0x7FFFFFFF));
    EXPECT_TRUE(capture.Has("fileio", "cubData < INT32_MAX"));
    ASSERT_TRUE(async.Open(dir.Sub("async.bin").c_str()));
    EXPECT_FALSE(async.Write(s_dummy, 0x40000000));
    EXPECT_TRUE(capture.Has("fileio", "cubData < FIO_MAX_IO_BYTES"));
    EXPECT_EQ(async.GetBytesOutstanding(), 0);
    EXPECT_EQ(async.GetBytesWritten(), 0u);
    async.Close();
}

namespace
{
void ToStderr(const char* pszText, void*)
{
    fputs(pszText, stderr);
}
} // namespace

TEST(FileioWriterDeathTest, WritersLeftOpenAreNamedAtExit)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // Not a CScratchDir: the child leaves without running destructors, so
    // only the parent cleans up.
    const fs::path dir = fs::current_path() / "fileio_scratch_exit";
    const std::string path = dir.string() + "/leaked.txt";
    EXPECT_EXIT(
        {
            Plat_SetDebugOutputObserver(&ToStderr, nullptr);
            CFileWriter* pWriter = new CFileWriter(true);
            if (pWriter->Open(path.c_str())) exit(0);
            exit(3);
        },
        testing::ExitedWithCode(0), "CFileWriterThread: pending file writer leaked\\.txt");
    std::error_code ec;
    fs::remove_all(dir, ec);
}

TEST(FileioWriterConcurrency, SeveralAsyncWritersFromSeveralThreads)
{
    CScratchDir dir;
    const int nWriters = 4;
    const int nPieces = 150;
    std::vector<std::thread> threads;
    for (int w = 0; w < nWriters; ++w)
    {
        threads.emplace_back(
            [&dir, w]
            {
                CFileWriter writer(true);
                const std::string path = dir.Sub("w" + std::to_string(w) + "/out.bin");
                ASSERT_TRUE(writer.Open(path.c_str()));
                std::string expected;
                for (int i = 0; i < nPieces; ++i)
                {
                    const std::string piece = Piece(w, i);
                    ASSERT_TRUE(writer.Write(piece.data(), static_cast<uint32_t>(piece.size())));
                    expected += piece;
                    if (i == nPieces / 2)
                    {
                        // Flush before close: everything so far is in the file.
                        ASSERT_TRUE(writer.Flush());
                        EXPECT_EQ(writer.GetBytesOutstanding(), 0);
                        EXPECT_EQ(ReadAll(path), expected);
                    }
                }
                EXPECT_EQ(writer.GetBytesWritten(), expected.size());
                writer.Close();
                EXPECT_FALSE(writer.BFailed());
                EXPECT_EQ(ReadAll(path), expected);
            });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_TRUE(WaitForWriterThreadToEnd());
}

TEST(FileioWriterConcurrency, CloseBeforeTheWritesAreDone)
{
    CScratchDir dir;
    const std::string path = dir.Sub("bulk.bin");
    std::string expected;
    {
        CFileWriter writer(true);
        ASSERT_TRUE(writer.Open(path.c_str()));
        const std::string block(65536, 'q');
        for (int i = 0; i < 64; ++i)
        {
            std::string piece = block;
            piece[0] = static_cast<char>('0' + i % 10);
            ASSERT_TRUE(writer.Write(piece.data(), static_cast<uint32_t>(piece.size())));
            expected += piece;
        }
        // Destroyed with bytes still queued: it waits for them.
    }
    EXPECT_EQ(fs::file_size(path), expected.size());
    EXPECT_EQ(ReadAll(path), expected);
    EXPECT_TRUE(WaitForWriterThreadToEnd());
}

TEST(FileioWriterConcurrency, WholeFilesThroughTemporaryFiles)
{
    CScratchDir dir;
    dir.Write("t2/replaced.txt", "old content that is longer");
    std::vector<std::thread> threads;
    for (int w = 0; w < 4; ++w)
    {
        threads.emplace_back(
            [&dir, w]
            {
                CFileWriter writer(true);
                for (int i = 0; i < 10; ++i)
                {
                    const std::string target =
                        dir.Sub("t" + std::to_string(w) + "/f" + std::to_string(i % 3) + ".txt");
                    const std::string content = Piece(w, i);
                    ASSERT_TRUE(writer.WriteFileAsync(target.c_str(), content.data(),
                                                      static_cast<uint32_t>(content.size()),
                                                      i == 9));
                }
                if (w == 2)
                {
                    const std::string target = dir.Sub("t2/replaced.txt");
                    ASSERT_TRUE(writer.WriteFileAsync(target.c_str(), "new", 3));
                }
                EXPECT_TRUE(writer.Flush());
                EXPECT_FALSE(writer.BFailed());
                for (int i = 7; i < 10; ++i)
                {
                    const std::string target =
                        dir.Sub("t" + std::to_string(w) + "/f" + std::to_string(i % 3) + ".txt");
                    EXPECT_EQ(ReadAll(target), Piece(w, i));
                }
            });
    }
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(ReadAll(dir.Path() / "t2" / "replaced.txt"), "new");
    EXPECT_EQ(CountTemporaryFiles(dir.Path()), 0u);
    EXPECT_TRUE(WaitForWriterThreadToEnd());
}

TEST(FileioWriterConcurrency, FailedWholeFileSetsTheFlagAndLeavesNothing)
{
    CScratchDir dir;
    const std::string blocker = dir.Write("blocker", "x");
    CFileWriter writer(true);
    const std::string target = blocker + "/sub/out.txt";
    ASSERT_TRUE(writer.WriteFileAsync(target.c_str(), "data", 4));
    EXPECT_FALSE(writer.Flush());
    EXPECT_TRUE(writer.BFailed());
    EXPECT_EQ(CountTemporaryFiles(dir.Path()), 0u);
    EXPECT_EQ(ReadAll(blocker), "x");
    EXPECT_TRUE(WaitForWriterThreadToEnd());
}
