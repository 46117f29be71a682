// Pack store throughput against plain baselines measured in the same run.
//
// Counters (higher "ratio" is better unless noted):
//   Lookup:          rate of FindEntry / rate of std::unordered_map<std::string> (want >= 0.5)
//   LookupDirSize/N: ns per lookup in directories of N files (want flat)
//   SequentialRead:  rate of ReadEntry / rate of fread, 64 KB requests (want >= 0.8)
//   SmallEntries:    rate of FindEntry+ReadEntry / fopen+fread+fclose of loose files (want >= 3)
//   Load:            load_ratio = load+index time / read-into-memory time (want <= 2),
//                    index_ratio = index bytes / tree bytes (want <= 0.5)
#include "bench/bench_ratio.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "bndlib/packstore.h"
#include "bndlib/packwriter.h"
#include "trestle/fileio.h"

namespace
{
typedef std::chrono::steady_clock Clock;

double Seconds(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double>(b - a).count();
}

std::string BenchDir()
{
    static std::string s_dir;
    if (s_dir.empty())
    {
        const char* pszTmp = getenv("TMPDIR");
        s_dir = std::string(pszTmp ? pszTmp : "/tmp") + "/quern_bench_packstore";
        CreateDirectories(s_dir.c_str());
    }
    return s_dir;
}

std::vector<uint8_t> Bytes(size_t n, uint32_t seed)
{
    std::vector<uint8_t> v(n);
    std::mt19937 rng(seed);
    for (auto& b : v)
        b = (uint8_t)rng();
    return v;
}

// 100,000 files in directories of 10, 100, 1,000 and 10,000 files.
struct LookupPack
{
    std::string m_base;
    std::vector<std::string> m_existing[4];
    std::vector<std::string> m_all;
    std::vector<std::string> m_missing;
    PackStore* m_pStore = nullptr;
    std::unordered_map<std::string, int> m_map;

    LookupPack()
    {
        m_base = BenchDir() + "/lookup";
        const int sizes[4] = {10, 100, 1000, 10000};
        const int counts[4] = {1000, 200, 30, 4};
        CPackWriter writer;
        PackWriterFileOptions opts;
        opts.m_nPreloadBytes = 4;
        for (int s = 0; s < 4; ++s)
            for (int d = 0; d < counts[s]; ++d)
                for (int f = 0; f < sizes[s]; ++f)
                {
                    std::string path = "dir" + std::to_string(sizes[s]) + "_" + std::to_string(d) +
                                       "/file" + std::to_string(f) + ".dat";
                    writer.AddFile(path.c_str(), "data", 4, &opts);
                    m_existing[s].push_back(path);
                    m_all.push_back(path);
                    m_map[path] = (int)m_map.size();
                }
        writer.Write(m_base.c_str());
        std::mt19937 rng(1);
        for (auto& v : m_existing)
            std::shuffle(v.begin(), v.end(), rng);
        std::shuffle(m_all.begin(), m_all.end(), rng);
        for (int i = 0; i < 20000; ++i)
        {
            const std::string& p = m_all[i];
            m_missing.push_back(i % 2 ? p.substr(0, p.size() - 4) + ".txt" : p + "x");
        }
        m_pStore = new PackStore(m_base.c_str());
    }
};

LookupPack& Lookup()
{
    static LookupPack* s_p = new LookupPack;
    return *s_p;
}

void BM_Lookup(benchmark::State& state)
{
    LookupPack& pack = Lookup();
    double tStore = 0, tMap = 0;
    size_t nLookups = 0;
    int nFound = 0;
    for (auto _ : state)
    {
        const int kBatch = 20000;
        size_t at = (nLookups / 2) % (pack.m_all.size() - kBatch);
        // Alternate which side goes first so neither always finds the paths warm.
        auto storeBatch = [&]
        {
            for (int i = 0; i < kBatch; ++i)
            {
                const std::string& p = (i & 1) ? pack.m_missing[i] : pack.m_all[at + i];
                nFound += pack.m_pStore->FindEntry(p.c_str()).IsValid();
            }
        };
        auto mapBatch = [&]
        {
            for (int i = 0; i < kBatch; ++i)
            {
                const std::string& p = (i & 1) ? pack.m_missing[i] : pack.m_all[at + i];
                nFound += pack.m_map.find(p) != pack.m_map.end();
            }
        };
        bool bStoreFirst = (nLookups / (2 * kBatch)) % 2 == 0;
        auto t0 = Clock::now();
        if (bStoreFirst)
            storeBatch();
        else
            mapBatch();
        auto t1 = Clock::now();
        if (bStoreFirst)
            mapBatch();
        else
            storeBatch();
        auto t2 = Clock::now();
        tStore += Seconds(bStoreFirst ? t0 : t1, bStoreFirst ? t1 : t2);
        tMap += Seconds(bStoreFirst ? t1 : t0, bStoreFirst ? t2 : t1);
        nLookups += 2 * kBatch;
    }
    benchmark::DoNotOptimize(nFound);
    state.counters["store_ns"] = tStore / (nLookups / 2) * 1e9;
    state.counters["map_ns"] = tMap / (nLookups / 2) * 1e9;
    state.counters["ratio"] = tMap / tStore;
}
BENCHMARK(BM_Lookup)->Unit(benchmark::kMillisecond);

void BM_LookupDirSize(benchmark::State& state)
{
    LookupPack& pack = Lookup();
    int s = (int)state.range(0);
    const std::vector<std::string>& paths = pack.m_existing[s];
    size_t i = 0;
    int nFound = 0;
    for (auto _ : state)
    {
        nFound += pack.m_pStore->FindEntry(paths[i].c_str()).IsValid();
        if (++i == paths.size()) i = 0;
    }
    benchmark::DoNotOptimize(nFound);
    state.SetLabel("files per directory: " + std::to_string(s == 0   ? 10
                                                            : s == 1 ? 100
                                                            : s == 2 ? 1000
                                                                     : 10000));
}
BENCHMARK(BM_LookupDirSize)->DenseRange(0, 3);

void BM_Load(benchmark::State& state)
{
    LookupPack& pack = Lookup();
    std::string dirFile = pack.m_base + "_dir.bnd";
    double tLoad = 0, tRead = 0;
    double ratioIndex = 0;
    for (auto _ : state)
    {
        auto t0 = Clock::now();
        FILE* f = fopen(dirFile.c_str(), "rb");
        fseek(f, 0, SEEK_END);
        long n = ftell(f);
        fseek(f, 0, SEEK_SET);
        std::vector<uint8_t> bytes((size_t)n);
        size_t got = fread(bytes.data(), 1, (size_t)n, f);
        fclose(f);
        benchmark::DoNotOptimize(got);
        auto t1 = Clock::now();
        PackStore store(pack.m_base.c_str());
        auto t2 = Clock::now();
        tRead += Seconds(t0, t1);
        tLoad += Seconds(t1, t2);
        ratioIndex = (double)store.GetIndexMemory() / store.GetTreeSize();
    }
    state.counters["load_ratio"] = tLoad / tRead;
    state.counters["index_ratio"] = ratioIndex;
}
BENCHMARK(BM_Load)->Unit(benchmark::kMillisecond);

struct BigEntry
{
    std::string m_base;
    PackEntryHandle m_handle;
    PackStore* m_pStore;
    int64_t m_nArchiveOffset;
    BigEntry()
    {
        m_base = BenchDir() + "/big";
        std::vector<uint8_t> data = Bytes(64 << 20, 3);
        CPackWriter writer;
        writer.SetMaxArchiveSize(0x7FFFFFFF);
        writer.AddFile("pad.bin", data.data(), 12345);
        writer.AddFile("big.bin", data.data(), (uint32_t)data.size());
        writer.Write(m_base.c_str());
        m_pStore = new PackStore(m_base.c_str());
        m_handle = m_pStore->FindEntry("big.bin");
        m_nArchiveOffset = m_handle.m_nOffset;
    }
};

void BM_SequentialRead(benchmark::State& state)
{
    static BigEntry* s_p = new BigEntry;
    std::vector<uint8_t> buf(64 << 10);
    double tStore = 0, tFread = 0;
    std::string archive = s_p->m_base + "_000.bnd";
    for (auto _ : state)
    {
        auto t0 = Clock::now();
        PackEntryHandle h = s_p->m_handle;
        while (s_p->m_pStore->ReadEntry(h, buf.data(), (int)buf.size()) > 0)
        {
        }
        auto t1 = Clock::now();
        FILE* f = fopen(archive.c_str(), "rb");
        fseek(f, (long)s_p->m_nArchiveOffset, SEEK_SET);
        size_t left = 64 << 20;
        while (left > 0)
        {
            size_t n = fread(buf.data(), 1, std::min(left, buf.size()), f);
            if (!n) break;
            left -= n;
        }
        fclose(f);
        auto t2 = Clock::now();
        tStore += Seconds(t0, t1);
        tFread += Seconds(t1, t2);
    }
    state.counters["ratio"] = tFread / tStore;
    state.counters["store_MBps"] = 64.0 * state.iterations() / tStore;
}
BENCHMARK(BM_SequentialRead)->Unit(benchmark::kMillisecond);

struct SmallEntries
{
    std::string m_base;
    std::string m_loose;
    std::vector<std::string> m_paths;
    PackStore* m_pStore;
    SmallEntries()
    {
        m_base = BenchDir() + "/small";
        m_loose = BenchDir() + "/loose";
        CreateDirectories(m_loose.c_str());
        std::mt19937 rng(5);
        std::vector<uint8_t> data = Bytes(16 << 10, 9);
        CPackWriter writer;
        for (int i = 0; i < 10000; ++i)
        {
            size_t n = 1024 + rng() % (15 * 1024);
            std::string path = "s" + std::to_string(i % 50) + "/f" + std::to_string(i) + ".bin";
            writer.AddFile(path.c_str(), data.data(), (uint32_t)n);
            m_paths.push_back(path);
            std::string dir = m_loose + "/s" + std::to_string(i % 50);
            CreateDirectories(dir.c_str());
            FILE* f = fopen((m_loose + "/" + path).c_str(), "wb");
            fwrite(data.data(), 1, n, f);
            fclose(f);
        }
        writer.Write(m_base.c_str());
        m_pStore = new PackStore(m_base.c_str());
    }
};

void BM_SmallEntries(benchmark::State& state)
{
    static SmallEntries* s_p = new SmallEntries;
    std::vector<uint8_t> buf(16 << 10);
    double tStore = 0, tLoose = 0;
    for (auto _ : state)
    {
        auto t0 = Clock::now();
        for (const std::string& p : s_p->m_paths)
        {
            PackEntryHandle h = s_p->m_pStore->FindEntry(p.c_str());
            s_p->m_pStore->ReadEntry(h, buf.data(), h.m_nSize);
        }
        auto t1 = Clock::now();
        for (const std::string& p : s_p->m_paths)
        {
            FILE* f = fopen((s_p->m_loose + "/" + p).c_str(), "rb");
            size_t n = fread(buf.data(), 1, buf.size(), f);
            benchmark::DoNotOptimize(n);
            fclose(f);
        }
        auto t2 = Clock::now();
        tStore += Seconds(t0, t1);
        tLoose += Seconds(t1, t2);
    }
    state.counters["ratio"] = tLoose / tStore;
}
BENCHMARK(BM_SmallEntries)->Unit(benchmark::kMillisecond);
} // namespace

int main(int argc, char** argv)
{
    return RunBenchmarksWithRatios(
        argc, argv, {},
        {{"pack lookups vs unordered_map of full paths", "BM_Lookup", "ratio", 0.5, false},
         {"pack load+index time vs reading the directory file", "BM_Load", "load_ratio", 2.0, true},
         {"pack index memory vs tree size", "BM_Load", "index_ratio", 0.5, true},
         {"ReadEntry 64 MB sequential vs fread of the archive (one store, warm loop)",
          "BM_SequentialRead", "ratio", 0.8, false},
         {"10,000 small entries vs fopen/fread/fclose of loose files (one store, warm loop)",
          "BM_SmallEntries", "ratio", 3.0, false}});
}
