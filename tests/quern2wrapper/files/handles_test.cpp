// Several threads opening, reading and closing pack files, and searching.
#include "tests/quern2wrapper/files/files_test_support.h"

#include "quern2wrapper/files/files.h"

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace
{
class FilesConcurrency : public FilesTest
{
};

std::string Content(int i)
{
    return "file " + std::to_string(i) + " " +
           std::string((size_t)(i * 37 % 5000), (char)('a' + i % 26));
}
} // namespace

TEST_F(FilesConcurrency, ThreadsReadTheirOwnFiles)
{
    const int kFiles = 64;
    PackFiles files;
    for (int i = 0; i < kFiles; ++i)
        files.push_back({"c/f" + std::to_string(i) + ".bin", Content(i)});
    MountFixture("pak", files);

    std::atomic<int> failures(0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
    {
        threads.emplace_back(
            [t, &failures]
            {
                TQuernError error;
                std::vector<char> buf(8192);
                for (int round = 0; round < 50; ++round)
                {
                    for (int i = t; i < kFiles; i += 4)
                    {
                        std::string path = "c/f" + std::to_string(i) + ".bin";
                        uint32_t h = QuernOpenFile(path.c_str(), "rb", &error);
                        uint32_t n = QuernReadFile(buf.data(), 1, (uint32_t)buf.size(), h, &error);
                        if (std::string(buf.data(), n) != Content(i)) ++failures;
                        if (QuernCloseFile(h, &error) != 0) ++failures;
                    }
                }
            });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(0, failures.load());
}

TEST_F(FilesConcurrency, SearchesAndStatsRunTogether)
{
    MountFixture("pak", {{"s/a.txt", "a"}, {"s/b.txt", "b"}, {"s/d/c.txt", "c"}});
    std::atomic<int> failures(0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
    {
        threads.emplace_back(
            [t, &failures]
            {
                TQuernError error;
                QuernElemInfo info;
                for (int round = 0; round < 200; ++round)
                {
                    if (t == 0)
                    {
                        if (QuernStat("s/d", &info, &error) != 0 || !info.isDirectory) ++failures;
                        continue;
                    }
                    uint32_t hFind = QuernFindFirst("s/*.txt", 1, &info, &error);
                    int count = hFind ? 1 : 0;
                    while (QuernFindNext(hFind, &info, &error) == 0)
                        ++count;
                    if (count != 3) ++failures;
                    if (QuernFindClose(hFind, &error) != 0) ++failures;
                }
            });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(0, failures.load());
}
