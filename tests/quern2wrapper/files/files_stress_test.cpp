// Many threads at once on one mount table: readers open, seek, read and close
// pack and disk files and check every byte against where it came from, while
// other threads search and stat. Under the thread sanitizer the run lasts at
// least ten seconds; elsewhere a short run catches wrong bytes and crashes.
#include "tests/quern2wrapper/files/files_test_support.h"

#include "quern2wrapper/files/files.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

#if defined(__SANITIZE_THREAD__)
#define STRESS_UNDER_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define STRESS_UNDER_TSAN 1
#endif
#endif

namespace
{
int StressSeconds()
{
    if (const char* psz = getenv("QUERN_STRESS_SECONDS")) return atoi(psz);
#ifdef STRESS_UNDER_TSAN
    return 10;
#else
    return 2;
#endif
}

// Byte `offset` of file `id`: differs between files and between nearby
// offsets, so a read from the wrong place or the wrong file shows.
inline char ByteAt(int id, uint32_t offset)
{
    return (char)((offset * 131u + (uint32_t)id * 71u + (offset >> 9)) ^ (offset >> 17));
}

std::string Contents(int id, uint32_t size)
{
    std::string bytes(size, '\0');
    for (uint32_t i = 0; i < size; ++i)
        bytes[i] = ByteAt(id, i);
    return bytes;
}

struct StressFile
{
    std::string path; // as callers open it
    int id;
    uint32_t size;
};

// Sizes around the cache's block edges as well as small and empty files.
const uint32_t kSizes[] = {0,      1,      100,     4095,           4096,          65539,
                           300000, 999999, 1 << 20, (1 << 20) + 17, (5 << 19) + 3, 7};

class FilesStressConcurrency : public FilesTest
{
protected:
    void SetUp() override
    {
        FilesTest::SetUp();
        // Two packs, the second with preloaded starts; then loose files.
        for (int pack = 0; pack < 2; ++pack)
        {
            PackFiles files;
            for (int i = 0; i < 12; ++i)
            {
                int id = pack * 100 + i;
                std::string path = "stress" + std::to_string(pack) + "/d" + std::to_string(i % 3) +
                                   "/f" + std::to_string(i) + ".bin";
                files.push_back({path, Contents(id, kSizes[i])});
                m_packFiles.push_back({path, id, kSizes[i]});
            }
            std::string base = Path("pak" + std::to_string(pack));
            WritePack(base, files, pack == 0 ? 0 : 96);
            MountPack(base.c_str());
        }
        ASSERT_EQ(2, (int)GetMountTable().Count());
        for (int i = 0; i < 6; ++i)
        {
            int id = 200 + i;
            uint32_t size = kSizes[(i * 5) % 12];
            std::string path = Path("loose/l" + std::to_string(i) + ".bin");
            WriteDiskFile(path, Contents(id, size));
            m_diskFiles.push_back({path, id, size});
        }
    }

    std::vector<StressFile> m_packFiles;
    std::vector<StressFile> m_diskFiles;
};

// Unmounting invalidates pack handles and indices start over, so a reader
// must drop its handles once the packs go. The mounter counts unmounts begun
// and the remounts that followed them; a pack call may fail as on a closed
// handle only if an unmount had begun and not been remounted when the caller
// looked before the call, or began since. The mounter remounts only once
// every pack reader has started a new session since the unmount, so no stale
// handle can name a file opened after the remount.
struct MountClock
{
    std::atomic<long> m_nStarted{0};   // unmounts begun
    std::atomic<long> m_nRemounted{0}; // the unmount whose remount is done
    std::atomic<long> m_nEnded{0};     // unmounts finished

    struct Look
    {
        long m_nStarted;
        long m_nRemounted;
    };
    Look Now() const { return {m_nStarted.load(), m_nRemounted.load()}; }
    // A failure seen after `before` is one the packs going away explains.
    bool Explains(const Look& before) const
    {
        return before.m_nStarted != before.m_nRemounted || m_nStarted.load() != before.m_nStarted;
    }
};

// One reader's session with one file: every step checked against the file's
// known bytes, size and position. Returns the number of wrong answers. With
// a clock, a pack call that fails as on a closed handle ends the session
// quietly when the clock explains it.
int ReadAndCheck(const StressFile& file, bool bPack, std::mt19937& rng, std::vector<char>& buf,
                 const MountClock* pClock = nullptr)
{
    TQuernError error;
    int wrong = 0;
    const MountClock::Look before = pClock ? pClock->Now() : MountClock::Look{0, 0};
    // A call failed as on a closed handle: stop quietly if the packs went.
    auto stale = [&]() { return pClock && pClock->Explains(before); };
    uint32_t h = QuernOpenFile(file.path.c_str(), "rb", &error);
    if (!h || (bPack && !(h & BND_FILE_HANDLE_FLAG))) return stale() ? 0 : 1;
    int32_t size = QuernSizeFile(h, &error);
    if (size == -1 && stale()) return wrong;
    if (size != (int32_t)file.size) ++wrong;

    int64_t pos = 0;
    for (int step = 0; step < 6; ++step)
    {
        // Seek with a random origin to a place inside the file; pack handles
        // also get targets outside it, which clamp to the ends.
        uint32_t origin = rng() % 3;
        int64_t target = file.size ? rng() % (file.size + 1) : 0;
        if (bPack && rng() % 8 == 0) target = (rng() % 2) ? -1000 : (int64_t)file.size + 1000;
        int64_t base = origin == 0 ? 0 : origin == 1 ? pos : file.size;
        if (QuernSeekFile(h, (int32_t)(target - base), origin, &error) != 0)
        {
            if (stale()) return wrong;
            ++wrong;
        }
        pos = target < 0 ? 0 : target > file.size ? file.size : target;
        int32_t told = QuernTellFile(h, &error);
        if (told == -1 && stale()) return wrong;
        if (told != pos) ++wrong;

        if (pos < file.size && rng() % 4 == 0)
        {
            int ch = QuernGetc(h, &error);
            // Pack handles answer a signed char, disk handles an unsigned one.
            if ((char)ch != ByteAt(file.id, (uint32_t)pos))
            {
                if (ch == -1 && stale()) return wrong;
                ++wrong;
            }
            ++pos;
        }

        uint32_t elementSize = 1 + rng() % 16;
        uint32_t count = (uint32_t)(rng() % (buf.size() - 64)) / elementSize;
        buf.assign(buf.size(), '\xEE');
        uint32_t got = QuernReadFile(buf.data(), elementSize, count, h, &error);
        uint64_t bytes = std::min<uint64_t>((uint64_t)elementSize * count, file.size - pos);
        if (got == 0 && bytes > 0 && buf[0] == '\xEE' && stale()) return wrong;
        if (got != bytes / elementSize) ++wrong;
        for (uint64_t i = 0; i < bytes; ++i)
            if (buf[i] != ByteAt(file.id, (uint32_t)(pos + i)))
            {
                ++wrong;
                break;
            }
        // Nothing written past what was asked.
        if (buf[(size_t)elementSize * count] != '\xEE') ++wrong;
        pos += bytes;
        told = QuernTellFile(h, &error);
        if (told == -1 && stale()) return wrong;
        if (told != pos) ++wrong;
    }
    if (QuernCloseFile(h, &error) != 0 && !stale()) ++wrong;
    return wrong;
}
} // namespace

TEST_F(FilesStressConcurrency, ReadersSearchersAndStatsCheckEveryByte)
{
    // What the searches must list, taken before any thread starts.
    std::vector<std::string> patterns;
    std::vector<int> expectedCounts;
    for (int pack = 0; pack < 2; ++pack)
        for (int d = 0; d < 3; ++d)
        {
            patterns.push_back("stress" + std::to_string(pack) + "/d" + std::to_string(d) + "/*");
            expectedCounts.push_back(4);
        }
    patterns.push_back(Path("loose/*.bin"));
    expectedCounts.push_back((int)m_diskFiles.size());

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(StressSeconds());
    std::atomic<int> wrong(0);
    std::atomic<long> reads(0), searches(0), stats(0);
    std::vector<std::thread> threads;

    // Eight readers: six on pack files, two on disk files.
    for (int t = 0; t < 8; ++t)
        threads.emplace_back(
            [&, t]
            {
                std::mt19937 rng(1234u + (unsigned)t);
                std::vector<char> buf(3 << 19);
                const bool bPack = t < 6;
                const std::vector<StressFile>& files = bPack ? m_packFiles : m_diskFiles;
                while (std::chrono::steady_clock::now() < deadline)
                {
                    wrong += ReadAndCheck(files[rng() % files.size()], bPack, rng, buf);
                    ++reads;
                }
            });

    threads.emplace_back(
        [&]
        {
            TQuernError error;
            QuernElemInfo info;
            size_t i = 0;
            while (std::chrono::steady_clock::now() < deadline)
            {
                size_t which = i++ % patterns.size();
                int count = 0;
                uint32_t hFind = QuernFindFirst(patterns[which].c_str(), 1, &info, &error);
                if (hFind)
                {
                    do
                        ++count;
                    while (QuernFindNext(hFind, &info, &error) == 0);
                    if (QuernFindClose(hFind, &error) != 0) ++wrong;
                }
                if (count != expectedCounts[which]) ++wrong;
                ++searches;
            }
        });

    threads.emplace_back(
        [&]
        {
            TQuernError error;
            QuernElemInfo info;
            size_t i = 0;
            while (std::chrono::steady_clock::now() < deadline)
            {
                const StressFile& file = (i % 3 == 0) ? m_diskFiles[i % m_diskFiles.size()]
                                                      : m_packFiles[i % m_packFiles.size()];
                ++i;
                if (QuernStat(file.path.c_str(), &info, &error) != 0 || info.isDirectory ||
                    info.size != file.size)
                    ++wrong;
                ++stats;
            }
        });

    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(0, wrong.load());
    // Every kind of work really ran throughout.
    EXPECT_GT(reads.load(), 0);
    EXPECT_GT(searches.load(), 0);
    EXPECT_GT(stats.load(), 0);
    RecordProperty("reads", (int)reads.load());
}

TEST_F(FilesStressConcurrency, MountsAndUnmountsWhileOthersReadCheckEveryByte)
{
    // The default mounts name the two packs; depots 21 to 23 come and go on
    // top of them.
    WriteDiskFile("quern_bnds.kvt", "\"bnds\" { \"mount\" { \"a\" \"" + Path("pak0") +
                                        "\" \"b\" \"" + Path("pak1") + "\" } }");
    m_apps.m_installDirs[0] = Path("install");
    for (int depot = 21; depot <= 23; ++depot)
        WritePack(Path("install/bnds/depot_" + std::to_string(depot)),
                  {{"extra" + std::to_string(depot) + "/e.bin", Contents(depot, 5000)}});
    const std::string pak0Spelled = "./" + Path("PAK0");

    std::vector<std::string> patterns;
    for (int pack = 0; pack < 2; ++pack)
        for (int d = 0; d < 3; ++d)
            patterns.push_back("stress" + std::to_string(pack) + "/d" + std::to_string(d) + "/*");

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(StressSeconds());
    auto running = [&]() { return std::chrono::steady_clock::now() < deadline; };
    MountClock clock;
    const int kPackReaders = 5;
    std::vector<std::atomic<long>> acks(kPackReaders);
    std::atomic<int> wrong(0);
    std::atomic<long> reads(0), searches(0), stats(0), cycles(0);
    std::vector<std::thread> threads;

    for (int t = 0; t < kPackReaders + 2; ++t)
        threads.emplace_back(
            [&, t]
            {
                std::mt19937 rng(777u + (unsigned)t);
                std::vector<char> buf(3 << 19);
                const bool bPack = t < kPackReaders;
                const std::vector<StressFile>& files = bPack ? m_packFiles : m_diskFiles;
                while (running())
                {
                    if (bPack) acks[t] = clock.m_nEnded.load();
                    wrong += ReadAndCheck(files[rng() % files.size()], bPack, rng, buf,
                                          bPack ? &clock : nullptr);
                    ++reads;
                }
            });

    threads.emplace_back(
        [&]
        {
            TQuernError error;
            QuernElemInfo info;
            for (size_t i = 0; running(); ++i)
            {
                MountClock::Look before = clock.Now();
                int count = 0;
                uint32_t hFind =
                    QuernFindFirst(patterns[i % patterns.size()].c_str(), 1, &info, &error);
                if (hFind)
                {
                    do
                        ++count;
                    while (QuernFindNext(hFind, &info, &error) == 0);
                    if (QuernFindClose(hFind, &error) != 0) ++wrong;
                }
                // All of a folder or, with the packs gone, nothing.
                if (count != 4 && !(count == 0 && clock.Explains(before))) ++wrong;

                const StressFile& file = m_packFiles[i % m_packFiles.size()];
                before = clock.Now();
                int result = QuernStat(file.path.c_str(), &info, &error);
                if (result == 0 ? (info.isDirectory || info.size != file.size)
                                : !clock.Explains(before))
                    ++wrong;
                ++searches;
                ++stats;
            }
        });

    // The mounter: unmount everything, wait until the pack readers have let
    // go of their handles, mount the defaults again and the depots on top,
    // twice over (the second time mounts nothing new).
    threads.emplace_back(
        [&]
        {
            TQuernError error;
            while (running())
            {
                long n = ++clock.m_nStarted;
                if (QuernUnmountAppFilesystem(&error) != 1) ++wrong;
                clock.m_nEnded = n;
                bool bLetGo = false;
                while (!bLetGo && running())
                {
                    bLetGo = true;
                    for (std::atomic<long>& ack : acks)
                        bLetGo = bLetGo && ack.load() >= n;
                    if (!bLetGo) std::this_thread::yield();
                }
                if (!bLetGo) break;
                for (int twice = 0; twice < 2; ++twice)
                {
                    if (QuernMountAppFilesystem(&error) != 1) ++wrong;
                    MountPack(pak0Spelled.c_str());
                    for (int depot = 21; depot <= 23; ++depot)
                        QuernMountFilesystem((uint32_t)depot, "", &error);
                }
                clock.m_nRemounted = n;
                ++cycles;
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        });

    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(0, wrong.load());
    EXPECT_GT(reads.load(), 0);
    EXPECT_GT(searches.load(), 0);
    EXPECT_GT(stats.load(), 0);
    EXPECT_GT(cycles.load(), 0);
    // Mounted as often as asked, never twice over.
    if (clock.m_nRemounted.load() == clock.m_nStarted.load())
    {
        EXPECT_EQ(5, GetMountTable().Count());
    }
    RecordProperty("cycles", (int)cycles.load());
}
