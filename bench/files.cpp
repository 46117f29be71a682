// The legacy file calls served from a mounted pack, beside the same work done
// on loose disk files (through the file layer's disk fallback) and plain fread
// of the pack's archive. Fixtures are written once under "bench_files_data" in
// the current directory and removed at the end.
//
//   small files:  open + read whole + close over 10,000 files of 1 to 16 KB
//   sequential:   one 64 MB pack file read in 64 KB calls
//   threads:      1 and 2 threads opening, reading and checking different files
#include "bench/bench_ratio.h"

#include "bndlib/packwriter.h"
#include "quern2wrapper/files/files.h"
#include "quern2wrapper/include/quern.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

namespace
{
namespace fs = std::filesystem;

const char kRoot[] = "bench_files_data";
constexpr int kSmallFiles = 10000;
constexpr uint32_t kBigSize = 64u << 20;
constexpr uint32_t kChunk = 64u << 10;

std::vector<std::string> g_smallPaths;
std::vector<uint32_t> g_smallSums;

uint32_t Checksum(const char* p, size_t n)
{
    uint32_t sum = 0;
    for (size_t i = 0; i < n; ++i)
        sum = sum * 31 + (uint8_t)p[i];
    return sum;
}

std::string SmallContent(int i)
{
    uint32_t state = (uint32_t)i * 2654435761u + 1;
    size_t size = 1024 + (state >> 8) % (15 * 1024 + 1);
    std::string bytes(size, '\0');
    for (size_t j = 0; j < size; ++j)
    {
        state = state * 1103515245u + 12345u;
        bytes[j] = (char)(state >> 16);
    }
    return bytes;
}

std::string SmallPackBase()
{
    return std::string(kRoot) + "/small";
}
std::string BigPackBase()
{
    return std::string(kRoot) + "/big";
}

void WriteFixtures()
{
    fs::remove_all(kRoot);
    CPackWriter small;
    for (int i = 0; i < kSmallFiles; ++i)
    {
        char szPath[64];
        // 50 folders of 200 files; a loader reads a folder's files in order.
        snprintf(szPath, sizeof(szPath), "%s/loose/d%02d/f%05d.bin", kRoot, i / 200, i);
        std::string bytes = SmallContent(i);
        fs::create_directories(fs::path(szPath).parent_path());
        FILE* pFile = fopen(szPath, "wb");
        fwrite(bytes.data(), 1, bytes.size(), pFile);
        fclose(pFile);
        small.AddFile(szPath, bytes.data(), (uint32_t)bytes.size());
        g_smallPaths.push_back(szPath);
        g_smallSums.push_back(Checksum(bytes.data(), bytes.size()));
    }
    small.Write(SmallPackBase().c_str());

    std::vector<char> big(kBigSize);
    for (uint32_t i = 0; i < kBigSize; ++i)
        big[i] = (char)(i * 13 + (i >> 12));
    CPackWriter writer;
    writer.AddFile("big.bin", big.data(), kBigSize);
    writer.Write(BigPackBase().c_str());
}

// Every thread of a multi-threaded benchmark runs its set-up: the first one
// does the work, the others wait for it, and nobody unmounts under a reader.
void Prepare()
{
    static std::once_flag s_once;
    std::call_once(s_once,
                   []
                   {
                       WriteFixtures();
                       InitWorkingDirectory();
                   });
}

void MountOnly(const std::string& base)
{
    static std::mutex s_lock;
    static std::string s_mounted = "?"; // no base path looks like this
    std::lock_guard<std::mutex> lock(s_lock);
    if (base == s_mounted) return;
    UnmountAll();
    if (!base.empty()) MountPack(base.c_str());
    s_mounted = base;
}

// Opens, reads whole and closes every small file. The bytes are checked once,
// before timing, so the check does not weigh on the comparison.
bool ReadSmallFile(int i, std::vector<char>& buf, uint32_t* pRead)
{
    TQuernError error;
    uint32_t h = QuernOpenFile(g_smallPaths[i].c_str(), "rb", &error);
    *pRead = QuernReadFile(buf.data(), 1, (uint32_t)buf.size(), h, &error);
    QuernCloseFile(h, &error);
    return h != 0;
}

bool CheckSmallFiles(int nFirst, int nStep)
{
    std::vector<char> buf(16 * 1024 + 16);
    for (int i = nFirst; i < kSmallFiles; i += nStep)
    {
        uint32_t n = 0;
        if (!ReadSmallFile(i, buf, &n) || Checksum(buf.data(), n) != g_smallSums[i]) return false;
    }
    return true;
}

void ReadSmallFiles(benchmark::State& state)
{
    if (!CheckSmallFiles(0, 1))
    {
        state.SkipWithError("wrong bytes");
        return;
    }
    std::vector<char> buf(16 * 1024 + 16);
    int64_t bytes = 0;
    for (auto _ : state)
    {
        for (int i = 0; i < kSmallFiles; ++i)
        {
            uint32_t n = 0;
            ReadSmallFile(i, buf, &n);
            bytes += n;
        }
    }
    state.SetBytesProcessed(bytes);
    state.SetItemsProcessed(state.iterations() * kSmallFiles);
}

void BM_PackSmallFiles(benchmark::State& state)
{
    Prepare();
    MountOnly(SmallPackBase());
    ReadSmallFiles(state);
}
BENCHMARK(BM_PackSmallFiles)->Unit(benchmark::kMillisecond);

void BM_DiskSmallFiles(benchmark::State& state)
{
    Prepare();
    MountOnly("");
    ReadSmallFiles(state);
}
BENCHMARK(BM_DiskSmallFiles)->Unit(benchmark::kMillisecond);

void BM_PackSequential(benchmark::State& state)
{
    Prepare();
    MountOnly(BigPackBase());
    TQuernError error;
    std::vector<char> buf(kChunk);
    for (auto _ : state)
    {
        uint32_t h = QuernOpenFile("big.bin", "rb", &error);
        uint64_t total = 0;
        uint32_t n;
        while ((n = QuernReadFile(buf.data(), 1, kChunk, h, &error)) > 0)
            total += n;
        QuernCloseFile(h, &error);
        if (total != kBigSize) state.SkipWithError("short pack read");
    }
    state.SetBytesProcessed((int64_t)state.iterations() * kBigSize);
}
BENCHMARK(BM_PackSequential)->Unit(benchmark::kMillisecond);

void BM_FreadArchive(benchmark::State& state)
{
    Prepare();
    std::string archive = BigPackBase() + "_000.bnd";
    std::vector<char> buf(kChunk);
    for (auto _ : state)
    {
        FILE* pFile = fopen(archive.c_str(), "rb");
        uint64_t total = 0;
        size_t n;
        while (total < kBigSize && (n = fread(buf.data(), 1, kChunk, pFile)) > 0)
            total += n;
        fclose(pFile);
        if (total < kBigSize) state.SkipWithError("short archive read");
    }
    state.SetBytesProcessed((int64_t)state.iterations() * kBigSize);
}
BENCHMARK(BM_FreadArchive)->Unit(benchmark::kMillisecond);

// Each thread reads its own share of the small files from the pack.
void BM_PackThreads(benchmark::State& state)
{
    Prepare();
    MountOnly(SmallPackBase());
    int nThreads = state.threads();
    // Correct bytes under concurrency: every thread checks its share first.
    if (!CheckSmallFiles(state.thread_index(), nThreads))
    {
        state.SkipWithError("wrong bytes");
        return;
    }
    std::vector<char> buf(16 * 1024 + 16);
    int64_t bytes = 0;
    for (auto _ : state)
    {
        for (int i = state.thread_index(); i < kSmallFiles; i += nThreads)
        {
            uint32_t n = 0;
            ReadSmallFile(i, buf, &n);
            bytes += n;
        }
    }
    state.SetBytesProcessed(bytes);
}
BENCHMARK(BM_PackThreads)->Threads(1)->Threads(2)->UseRealTime()->Unit(benchmark::kMillisecond);
} // namespace

int main(int argc, char** argv)
{
    int result = RunBenchmarksWithRatios(
        argc, argv,
        {{"pack small-file open+read+close vs loose disk files", "BM_PackSmallFiles",
          "BM_DiskSmallFiles", 3.0},
         {"pack 64 MB sequential read vs fread of the archive", "BM_PackSequential",
          "BM_FreadArchive", 0.8},
         {"pack reads, 2 threads vs 1", "BM_PackThreads/real_time/threads:2",
          "BM_PackThreads/real_time/threads:1", 0.0}});
    UnmountAll();
    std::error_code ec;
    fs::remove_all(kRoot, ec);
    return result;
}
