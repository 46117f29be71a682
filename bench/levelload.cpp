// Level load: a game that has just started reads every file of a level once.
// Everything goes through the exported calls (QuernStartup mounting the packs
// named by "quern_bnds.kvt", then QuernOpenFile / QuernSizeFile /
// QuernReadFile / QuernCloseFile per file) against the same files loose
// (fopen / fread / fclose) and against the limit, one sequential fread of the
// pack's archive files. Every round times its own baselines, so a ratio never
// mixes two moments of a shared machine.
//
// The generated install (under "levelload_data" in the current directory) has
// three folder shapes, one pack each: many small files, larger files, scripts.
//   --levelload_folder=<dir>  adds a shape made of that folder (packed here)
//   --levelload_rounds=<n>    repetitions per row (default 7, at least 5)
//   --levelload_cold=0        skips the rows with the page cache dropped
//
// Rows:
//   first pass:   a fresh QuernStartup per pass, so no block of the packs is
//                 in the library's memory (the operating system's page cache
//                 is warm for both sides)
//   later passes: the next two passes of the same mount
//   cold:         the page cache dropped (root only) before each pass of
//                 either side, each side in a fresh mount
#include "bench/bench_ratio.h"

#include "bndlib/packwriter.h"
#include "plinth/platform/platform_env.h"
#include "plinth/platform/platform_process.h"
#include "quern2wrapper/include/quern.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace
{
namespace fs = std::filesystem;
typedef std::chrono::steady_clock Clock;

const char kRoot[] = "levelload_data";
const uint32_t kLargeFile = 64 * 1024;

double Seconds(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double>(b - a).count();
}

uint64_t Checksum(const uint8_t* p, size_t n)
{
    uint64_t sum = 1469598103934665603ull;
    size_t i = 0;
    for (; i + 8 <= n; i += 8)
    {
        uint64_t v;
        memcpy(&v, p + i, 8);
        sum = (sum ^ v) * 1099511628211ull;
    }
    for (; i < n; ++i)
        sum = (sum ^ p[i]) * 1099511628211ull;
    return sum;
}

struct GameFile
{
    std::string m_path;  // inside the pack, '/' separators
    std::string m_loose; // on disk
    uint32_t m_nSize;
    uint64_t m_uSum;
};

struct Shape
{
    std::string m_name;
    std::string m_base; // pack base path
    std::vector<GameFile> m_files;
    std::vector<std::string> m_archives;
    uint64_t m_nBytes = 0;
    uint64_t m_nArchiveBytes = 0;
};

struct Install
{
    std::vector<Shape> m_shapes;
    std::vector<uint8_t> m_buffer;      // every file of a shape, touched before timing
    std::vector<uint8_t> m_limitBuffer; // whole archives for the limit
    std::string m_clientDll;
    bool m_bCold = true;
    int m_nRounds = 7;
};

Install g_install;

// Deterministic bytes: half compressible text-like, half noise, like game data.
void FillBytes(std::vector<uint8_t>& bytes, uint32_t seed, bool bText)
{
    uint64_t s = seed * 0x9E3779B97F4A7C15ull + 1;
    for (size_t i = 0; i < bytes.size(); ++i)
    {
        s ^= s << 13;
        s ^= s >> 7;
        s ^= s << 17;
        bytes[i] = bText ? (uint8_t)(" etaoinshrdlu\n{}=;"[s % 18]) : (uint8_t)s;
    }
}

uint32_t Rand(uint64_t& s)
{
    s ^= s << 13;
    s ^= s >> 7;
    s ^= s << 17;
    return (uint32_t)(s >> 11);
}

// Log-uniform size between lo and hi.
uint32_t LogSize(uint64_t& s, double lo, double hi)
{
    double u = (Rand(s) % 1000000) / 1000000.0;
    return (uint32_t)(lo * std::pow(hi / lo, u));
}

void ListArchives(Shape& shape)
{
    for (int i = 0; i < 1000; ++i)
    {
        char sz[32];
        snprintf(sz, sizeof(sz), "_%03d.bnd", i);
        std::string path = shape.m_base + sz;
        std::error_code ec;
        if (!fs::exists(path, ec)) break;
        shape.m_archives.push_back(path);
        shape.m_nArchiveBytes += fs::file_size(path, ec);
    }
}

void WritePack(Shape& shape, const std::vector<std::vector<uint8_t>>* pContents)
{
    CPackWriter writer;
    writer.SetMaxArchiveSize(64u << 20);
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i < shape.m_files.size(); ++i)
    {
        const GameFile& file = shape.m_files[i];
        if (pContents)
            bytes = (*pContents)[i];
        else
        {
            bytes.resize(file.m_nSize);
            FILE* f = fopen(file.m_loose.c_str(), "rb");
            size_t got = f ? fread(bytes.data(), 1, bytes.size(), f) : 0;
            if (f) fclose(f);
            bytes.resize(got);
        }
        shape.m_files[i].m_uSum = Checksum(bytes.data(), bytes.size());
        writer.AddFile(file.m_path.c_str(), bytes.data(), (uint32_t)bytes.size());
    }
    if (!writer.Write(shape.m_base.c_str()))
    {
        fprintf(stderr, "levelload: writing %s failed: %s\n", shape.m_base.c_str(),
                writer.GetError());
        exit(1);
    }
    ListArchives(shape);
}

// nFiles files in nFolders folders, sizes from pfnSize; the loose copies and a pack.
template <class SizeFn>
Shape Generate(const char* pszName, int nFiles, int nFolders, bool bText, SizeFn pfnSize)
{
    Shape shape;
    shape.m_name = pszName;
    std::string loose = std::string(kRoot) + "/" + pszName;
    shape.m_base = std::string(kRoot) + "/packs/" + pszName;
    fs::create_directories(std::string(kRoot) + "/packs");
    uint64_t s = 0x1234567ull + nFiles;
    std::vector<std::vector<uint8_t>> contents;
    for (int i = 0; i < nFiles; ++i)
    {
        GameFile file;
        char sz[96];
        snprintf(sz, sizeof(sz), "%s/folder%02d/file%05d.%s", pszName, i % nFolders, i,
                 bText ? "txt" : "bin");
        file.m_path = sz;
        file.m_loose = std::string(kRoot) + "/" + sz;
        file.m_nSize = pfnSize(s);
        std::vector<uint8_t> bytes(file.m_nSize);
        FillBytes(bytes, (uint32_t)i + 77 * nFiles, bText);
        fs::create_directories(fs::path(file.m_loose).parent_path());
        FILE* f = fopen(file.m_loose.c_str(), "wb");
        if (!f || fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size())
        {
            fprintf(stderr, "levelload: cannot write %s\n", file.m_loose.c_str());
            exit(1);
        }
        fclose(f);
        shape.m_nBytes += file.m_nSize;
        shape.m_files.push_back(file);
        contents.push_back(std::move(bytes));
    }
    (void)loose;
    // A level loader walks its folders in order.
    std::vector<size_t> order(nFiles);
    for (int i = 0; i < nFiles; ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(),
              [&](size_t a, size_t b)
              { return shape.m_files[a].m_path < shape.m_files[b].m_path; });
    std::vector<GameFile> files;
    std::vector<std::vector<uint8_t>> sorted;
    for (size_t i : order)
    {
        files.push_back(shape.m_files[i]);
        sorted.push_back(std::move(contents[i]));
    }
    shape.m_files = files;
    WritePack(shape, &sorted);
    return shape;
}

Shape FromFolder(const std::string& folder, int nIndex)
{
    Shape shape;
    shape.m_name = "folder " + folder;
    shape.m_base = std::string(kRoot) + "/packs/folder" + std::to_string(nIndex);
    fs::create_directories(std::string(kRoot) + "/packs");
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(folder, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
    {
        if (!it->is_regular_file(ec)) continue;
        uint64_t size = it->file_size(ec);
        if (ec || size > 0x7FFFFFFF) continue;
        GameFile file;
        file.m_loose = it->path().string();
        file.m_path = "folder" + std::to_string(nIndex) + "/" +
                      fs::relative(it->path(), folder, ec).generic_string();
        file.m_nSize = (uint32_t)size;
        shape.m_nBytes += size;
        shape.m_files.push_back(file);
    }
    std::sort(shape.m_files.begin(), shape.m_files.end(),
              [](const GameFile& a, const GameFile& b) { return a.m_path < b.m_path; });
    WritePack(shape, nullptr);
    return shape;
}

// Relative paths: the file layer folds the case of what it is given, which
// a POSIX host's scratch folder may not survive.
void WriteConfig()
{
    std::string text = "\"bnds\"\n{\n  \"mount\"\n  {\n";
    for (size_t i = 0; i < g_install.m_shapes.size(); ++i)
        text += "    \"" + std::to_string(i) + "\" \"" + g_install.m_shapes[i].m_base + "\"\n";
    text += "  }\n}\n";
    FILE* f = fopen("quern_bnds.kvt", "wb");
    fwrite(text.data(), 1, text.size(), f);
    fclose(f);
}

// The client stand-in registered as the running client, as the demo does.
void RegisterClient()
{
    std::string registry = fs::absolute("levelload_registry.txt").string();
    FILE* f = fopen(registry.c_str(), "wb");
    fprintf(f,
            "[HKCU\\Software\\Norra\\Quern\\ActiveProcess]\n\"pid\"=dword:%08x\n"
            "\"QuernClientDll\"=\"%s\"\n",
            Plat_GetCurrentProcessId(), g_install.m_clientDll.c_str());
    fclose(f);
    Plat_SetEnvironmentVariable("QUERN_REGISTRY", registry.c_str());
    Plat_SetEnvironmentVariable("QUERN_STANDIN_APPID", "440");
    Plat_SetEnvironmentVariable("QUERN_STANDIN_ACCOUNT", "7");
    std::string here = fs::current_path().string();
    Plat_SetEnvironmentVariable("QUERN_STANDIN_INSTALLDIR_440", here.c_str());
}

bool Startup()
{
    TQuernError error;
    return QuernStartup(0, &error) != 0;
}

void Cleanup()
{
    TQuernError error;
    QuernCleanup(&error);
}

// One file through the exported calls; false on a wrong size or bytes.
bool ReadPacked(const GameFile& file, uint8_t* pBuffer, bool bCheck)
{
    TQuernError error;
    QuernFileHandle h = QuernOpenFile(file.m_path.c_str(), "rb", &error);
    if (!h) return false;
    int32_t size = QuernSizeFile(h, &error);
    uint32_t got = size > 0 ? QuernReadFile(pBuffer, 1, (uint32_t)size, h, &error) : 0;
    QuernCloseFile(h, &error);
    if (got != file.m_nSize) return false;
    return !bCheck || Checksum(pBuffer, got) == file.m_uSum;
}

bool ReadLoose(const GameFile& file, uint8_t* pBuffer)
{
    FILE* f = fopen(file.m_loose.c_str(), "rb");
    if (!f) return false;
    size_t got = fread(pBuffer, 1, file.m_nSize, f);
    fclose(f);
    return got == file.m_nSize;
}

// Files of the shape with at least / below nMinSize bytes.
bool Selected(const GameFile& file, uint32_t nMinSize)
{
    return file.m_nSize >= nMinSize;
}

// Seconds for one pass; negative when a file came back wrong. Like a level
// load, each file lands at its own place in memory (one buffer for the pass).
double PackedPass(const Shape& shape, uint32_t nMinSize, bool bCheck)
{
    uint8_t* pAt = g_install.m_buffer.data();
    auto t0 = Clock::now();
    for (const GameFile& file : shape.m_files)
        if (Selected(file, nMinSize))
        {
            if (!ReadPacked(file, pAt, bCheck)) return -1;
            pAt += file.m_nSize;
        }
    return Seconds(t0, Clock::now());
}

double LoosePass(const Shape& shape, uint32_t nMinSize)
{
    uint8_t* pAt = g_install.m_buffer.data();
    auto t0 = Clock::now();
    for (const GameFile& file : shape.m_files)
        if (Selected(file, nMinSize))
        {
            if (!ReadLoose(file, pAt)) return -1;
            pAt += file.m_nSize;
        }
    return Seconds(t0, Clock::now());
}

// One sequential fread of each archive file into memory.
double LimitPass(const Shape& shape)
{
    uint8_t* pBuffer = g_install.m_limitBuffer.data();
    auto t0 = Clock::now();
    for (const std::string& archive : shape.m_archives)
    {
        FILE* f = fopen(archive.c_str(), "rb");
        if (!f) return -1;
        size_t got = fread(pBuffer, 1, g_install.m_limitBuffer.size(), f);
        fclose(f);
        benchmark::DoNotOptimize(got);
    }
    return Seconds(t0, Clock::now());
}

uint64_t SelectedBytes(const Shape& shape, uint32_t nMinSize)
{
    uint64_t n = 0;
    for (const GameFile& file : shape.m_files)
        if (Selected(file, nMinSize)) n += file.m_nSize;
    return n;
}

bool DropPageCache()
{
    fflush(nullptr);
    if (system("sync") != 0) return false;
    FILE* f = fopen("/proc/sys/vm/drop_caches", "wb");
    if (!f) return false;
    bool ok = fputs("3\n", f) >= 0;
    ok = fclose(f) == 0 && ok;
    return ok;
}

// One round: loose pass, then a fresh mount with its first and two later
// passes, then the limit. Counters are rates relative to the same round's.
void BM_LevelLoad(benchmark::State& state, int nShape)
{
    const Shape& shape = g_install.m_shapes[nShape];
    double tLoose = 0, tFirst = 0, tLater = 0, tLimit = 0;
    bool bOk = true;
    for (auto _ : state)
    {
        double loose = LoosePass(shape, 0);
        bOk = bOk && Startup();
        double first = PackedPass(shape, 0, false);
        double later = PackedPass(shape, 0, false) + PackedPass(shape, 0, false);
        Cleanup();
        double limit = LimitPass(shape);
        if (loose < 0 || first < 0 || later < 0 || limit < 0) bOk = false;
        tLoose += loose;
        tFirst += first;
        tLater += later / 2;
        tLimit += limit;
    }
    if (!bOk)
    {
        state.SkipWithError("a file came back wrong");
        return;
    }
    double bytes = (double)shape.m_nBytes, archiveBytes = (double)shape.m_nArchiveBytes;
    state.counters["first_vs_loose"] = tLoose / tFirst;
    state.counters["later_vs_loose"] = tLoose / tLater;
    state.counters["later_vs_limit"] = (bytes / tLater) / (archiveBytes / tLimit);
    state.counters["first_vs_limit"] = (bytes / tFirst) / (archiveBytes / tLimit);
    state.counters["loose_vs_limit"] = (bytes / tLoose) / (archiveBytes / tLimit);
}

// Files of 64 KB and more of every shape, first pass in a fresh mount, as a
// rate against the rate of reading all archives with one fread each.
void BM_LargeFilesFirstPass(benchmark::State& state)
{
    double tFirst = 0, tLimit = 0, bytes = 0, archiveBytes = 0;
    bool bOk = true;
    for (auto _ : state)
    {
        bOk = bOk && Startup();
        for (const Shape& shape : g_install.m_shapes)
        {
            double t = PackedPass(shape, kLargeFile, false);
            bOk = bOk && t >= 0;
            tFirst += t;
            bytes += (double)SelectedBytes(shape, kLargeFile);
        }
        Cleanup();
        for (const Shape& shape : g_install.m_shapes)
        {
            double t = LimitPass(shape);
            bOk = bOk && t >= 0;
            tLimit += t;
            archiveBytes += (double)shape.m_nArchiveBytes;
        }
    }
    if (!bOk)
    {
        state.SkipWithError("a file came back wrong");
        return;
    }
    state.counters["first_vs_limit"] = (bytes / tFirst) / (archiveBytes / tLimit);
}

// Page cache dropped before each side's pass; each packed pass in a fresh mount.
void BM_ColdLevelLoad(benchmark::State& state)
{
    double tLoose = 0, tPacked = 0;
    bool bOk = true;
    for (auto _ : state)
    {
        bOk = bOk && DropPageCache();
        for (const Shape& shape : g_install.m_shapes)
        {
            double t = LoosePass(shape, 0);
            bOk = bOk && t >= 0;
            tLoose += t;
        }
        bOk = bOk && DropPageCache() && Startup();
        for (const Shape& shape : g_install.m_shapes)
        {
            double t = PackedPass(shape, 0, false);
            bOk = bOk && t >= 0;
            tPacked += t;
        }
        Cleanup();
    }
    if (!bOk)
    {
        state.SkipWithError("dropping the page cache or a read failed");
        return;
    }
    state.counters["cold_vs_loose"] = tLoose / tPacked;
}

// Two threads each reading and checking half of every shape's files against
// one thread doing all of them, both in a mount that has served a pass.
void BM_ReaderThreads(benchmark::State& state)
{
    if (!Startup())
    {
        state.SkipWithError("QuernStartup failed");
        return;
    }
    std::vector<const GameFile*> all;
    for (const Shape& shape : g_install.m_shapes)
        for (const GameFile& file : shape.m_files)
            all.push_back(&file);
    std::atomic<bool> bOk{true};
    // Each thread's files land in its own buffer, touched before timing.
    std::vector<uint8_t> buffers[2];
    for (std::vector<uint8_t>& buffer : buffers)
        buffer.assign(g_install.m_buffer.size(), 1);
    auto readShare = [&](size_t nFirst, size_t nStep)
    {
        uint8_t* pAt = buffers[nFirst].data();
        uint8_t* pEnd = pAt + buffers[nFirst].size();
        for (size_t i = nFirst; i < all.size(); i += nStep)
        {
            if (pEnd - pAt < (ptrdiff_t)all[i]->m_nSize) pAt = buffers[nFirst].data();
            if (!ReadPacked(*all[i], pAt, true)) bOk = false;
            pAt += all[i]->m_nSize;
        }
    };
    readShare(0, 1); // warm
    double tOne = 0, tTwo = 0;
    for (auto _ : state)
    {
        auto t0 = Clock::now();
        readShare(0, 1);
        auto t1 = Clock::now();
        std::thread other(readShare, 1, 2);
        readShare(0, 2);
        other.join();
        auto t2 = Clock::now();
        tOne += Seconds(t0, t1);
        tTwo += Seconds(t1, t2);
    }
    Cleanup();
    if (!bOk)
    {
        state.SkipWithError("wrong bytes");
        return;
    }
    state.counters["two_vs_one"] = tOne / tTwo;
}

// The machine's own ceiling for the row above: the same bytes copied from
// memory to memory by two threads against one.
void BM_CopyThreads(benchmark::State& state)
{
    size_t n = g_install.m_buffer.size() / 2;
    std::vector<uint8_t> from(2 * n, 3), to(2 * n, 1);
    double tOne = 0, tTwo = 0;
    for (auto _ : state)
    {
        auto t0 = Clock::now();
        memcpy(to.data(), from.data(), 2 * n);
        auto t1 = Clock::now();
        std::thread other([&] { memcpy(to.data() + n, from.data() + n, n); });
        memcpy(to.data(), from.data(), n);
        other.join();
        auto t2 = Clock::now();
        tOne += Seconds(t0, t1);
        tTwo += Seconds(t1, t2);
    }
    benchmark::DoNotOptimize(to.data());
    state.counters["two_vs_one"] = tOne / tTwo;
}

void Prepare(int argc, char** argv)
{
    std::vector<std::string> folders;
    for (int i = 1; i < argc; ++i)
    {
        std::string arg = argv[i];
        if (arg.rfind("--levelload_folder=", 0) == 0)
            folders.push_back(arg.substr(19));
        else if (arg.rfind("--levelload_rounds=", 0) == 0)
            g_install.m_nRounds = std::max(5, atoi(arg.c_str() + 19));
        else if (arg == "--levelload_cold=0")
            g_install.m_bCold = false;
    }
    g_install.m_clientDll =
        (fs::absolute(fs::path(argv[0])).parent_path() / "quernclient.dll").string();

    std::error_code ec;
    fs::remove_all(kRoot, ec);
    // A library's tree: thousands of small files.
    g_install.m_shapes.push_back(Generate("small", 3000, 40, false,
                                          [](uint64_t& s) { return LogSize(s, 1024, 64 * 1024); }));
    // Larger assets: textures, sounds, models up to 4 MB.
    g_install.m_shapes.push_back(Generate("large", 360, 12, false,
                                          [](uint64_t& s) {
                                              return Rand(s) % 40 == 0
                                                         ? LogSize(s, 1 << 20, 4 << 20)
                                                         : LogSize(s, 8 * 1024, 1 << 20);
                                          }));
    // Scripts and configuration text.
    g_install.m_shapes.push_back(Generate("scripts", 1200, 16, true,
                                          [](uint64_t& s) { return LogSize(s, 1024, 48 * 1024); }));
    for (size_t i = 0; i < folders.size(); ++i)
        g_install.m_shapes.push_back(FromFolder(folders[i], (int)i));
    WriteConfig();
    RegisterClient();

    uint64_t nMaxShape = 0, nMaxArchive = 0;
    for (const Shape& shape : g_install.m_shapes)
    {
        nMaxShape = std::max(nMaxShape, shape.m_nBytes);
        for (const std::string& archive : shape.m_archives)
            nMaxArchive = std::max<uint64_t>(nMaxArchive, fs::file_size(archive, ec));
        fprintf(stderr, "levelload: %s: %zu files, %.1f MB, %zu archives\n", shape.m_name.c_str(),
                shape.m_files.size(), shape.m_nBytes / 1048576.0, shape.m_archives.size());
    }
    // The buffers exist and are touched before any timing.
    g_install.m_buffer.assign(nMaxShape + 16, 1);
    g_install.m_limitBuffer.assign(nMaxArchive + 16, 1);

    // Every shape read and checked once through the exports: the bytes are
    // right and both sides are in the page cache.
    if (!Startup())
    {
        fprintf(stderr, "levelload: QuernStartup failed (client %s)\n",
                g_install.m_clientDll.c_str());
        exit(1);
    }
    for (const Shape& shape : g_install.m_shapes)
    {
        const char* pszWrong = PackedPass(shape, 0, true) < 0 ? "through the exports"
                               : LoosePass(shape, 0) < 0      ? "loose"
                               : LimitPass(shape) < 0         ? "as archives"
                                                              : nullptr;
        if (pszWrong)
        {
            fprintf(stderr, "levelload: %s reads back wrong %s\n", shape.m_name.c_str(), pszWrong);
            exit(1);
        }
    }
    Cleanup();

    int nRounds = g_install.m_nRounds;
    for (size_t i = 0; i < g_install.m_shapes.size(); ++i)
        benchmark::RegisterBenchmark(("BM_LevelLoad/" + std::to_string(i)).c_str(),
                                     [i](benchmark::State& state) { BM_LevelLoad(state, (int)i); })
            ->Iterations(2)
            ->Repetitions(nRounds)
            ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_LargeFilesFirstPass", BM_LargeFilesFirstPass)
        ->Iterations(2)
        ->Repetitions(nRounds)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_ReaderThreads", BM_ReaderThreads)
        ->Iterations(3)
        ->Repetitions(nRounds)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("BM_CopyThreads", BM_CopyThreads)
        ->Iterations(3)
        ->Repetitions(nRounds)
        ->Unit(benchmark::kMillisecond);
    if (g_install.m_bCold && DropPageCache())
        benchmark::RegisterBenchmark("BM_ColdLevelLoad", BM_ColdLevelLoad)
            ->Iterations(1)
            ->Repetitions(5)
            ->Unit(benchmark::kMillisecond);
    else
        g_install.m_bCold = false;
}
} // namespace

int main(int argc, char** argv)
{
    Prepare(argc, argv);
    std::vector<BenchCounterRatio> rows;
    std::vector<std::string> names; // the rows point into these
    names.reserve(256);
    for (size_t i = 0; i < g_install.m_shapes.size(); ++i)
    {
        const Shape& shape = g_install.m_shapes[i];
        std::string bench = "BM_LevelLoad/" + std::to_string(i) + "/iterations:2";
        char what[256];
        names.push_back(bench);
        const char* pszBench = names.back().c_str();
        snprintf(what, sizeof(what), "level load %s (%zu files, %.0f MB): first pass vs loose",
                 shape.m_name.c_str(), shape.m_files.size(), shape.m_nBytes / 1048576.0);
        names.push_back(what);
        rows.push_back({names.back().c_str(), pszBench, "first_vs_loose", 3.0, false});
        snprintf(what, sizeof(what), "level load %s: later passes vs loose", shape.m_name.c_str());
        names.push_back(what);
        rows.push_back({names.back().c_str(), pszBench, "later_vs_loose", 0, false});
        snprintf(what, sizeof(what), "level load %s: first pass vs one-fread limit",
                 shape.m_name.c_str());
        names.push_back(what);
        rows.push_back({names.back().c_str(), pszBench, "first_vs_limit", 0, false});
        snprintf(what, sizeof(what), "level load %s: loose files vs one-fread limit",
                 shape.m_name.c_str());
        names.push_back(what);
        rows.push_back({names.back().c_str(), pszBench, "loose_vs_limit", 0, false});
        snprintf(what, sizeof(what), "level load %s: later passes vs one-fread limit",
                 shape.m_name.c_str());
        names.push_back(what);
        rows.push_back({names.back().c_str(), pszBench, "later_vs_limit", 0.8, false});
    }
    rows.push_back({"level load files >= 64 KB: first pass vs one-fread limit",
                    "BM_LargeFilesFirstPass/iterations:2", "first_vs_limit", 0.6, false});
    rows.push_back({"level load, 2 reader threads vs 1, bytes checked (later passes)",
                    "BM_ReaderThreads/iterations:3", "two_vs_one", 1.6, false});
    rows.push_back({"machine ceiling: memcpy of as many bytes, 2 threads vs 1",
                    "BM_CopyThreads/iterations:3", "two_vs_one", 0, false});
    if (g_install.m_bCold)
        rows.push_back({"level load, page cache dropped: first pass vs loose",
                        "BM_ColdLevelLoad/iterations:1", "cold_vs_loose", 10.0, false});
    else
        printf("RATIO|level load, page cache dropped: first pass vs loose|skipped|>= 10.00|"
               "skipped (cannot drop the page cache here)\n");
    int result = RunBenchmarksWithRatios(argc, argv, {}, rows);
    std::error_code ec;
    fs::remove_all(kRoot, ec);
    return result;
}
