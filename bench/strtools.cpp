// Throughput of V_HashMurmur3 (as the pack directory uses it: lower-case path
// parts, case-folded) beside std::hash<std::string_view> over the same keys.
// The "ratio" counter of the murmur runs is murmur time / std::hash time.
#include "bench/bench_ratio.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "trestle/strtools.h"

namespace
{

std::vector<std::string> MakeKeys(size_t keyLength)
{
    static const char s_alphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789_/.";
    std::vector<std::string> keys;
    uint32_t state = 12345;
    for (int i = 0; i < 4096; ++i)
    {
        std::string key;
        for (size_t j = 0; j < keyLength; ++j)
        {
            state = state * 1103515245u + 12345u;
            key += s_alphabet[(state >> 16) % (sizeof(s_alphabet) - 1)];
        }
        keys.push_back(key);
    }
    return keys;
}

template <typename Hash> double SecondsPerPass(const std::vector<std::string>& keys, Hash hash)
{
    const int passes = 50;
    uint64_t sink = 0;
    auto start = std::chrono::steady_clock::now();
    for (int p = 0; p < passes; ++p)
    {
        for (const std::string& key : keys)
            sink += hash(key);
    }
    auto end = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(sink);
    return std::chrono::duration<double>(end - start).count() / passes;
}

uint64_t Murmur(const std::string& key)
{
    return V_HashMurmur3(key.data(), static_cast<int>(key.size()), 0, true);
}

uint64_t StdHash(const std::string& key)
{
    return std::hash<std::string_view>()(key);
}

void BM_HashMurmur3(benchmark::State& state)
{
    std::vector<std::string> keys = MakeKeys(static_cast<size_t>(state.range(0)));
    size_t bytes = 0;
    for (auto _ : state)
    {
        for (const std::string& key : keys)
        {
            benchmark::DoNotOptimize(Murmur(key));
            bytes += key.size();
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
    // The baseline is timed in the same process over the same keys.
    double murmur = SecondsPerPass(keys, Murmur);
    double baseline = SecondsPerPass(keys, StdHash);
    // Speed relative to the baseline: above 1 means faster.
    state.counters["ratio"] = murmur > 0 ? baseline / murmur : 0;
}

void BM_StdHashStringView(benchmark::State& state)
{
    std::vector<std::string> keys = MakeKeys(static_cast<size_t>(state.range(0)));
    size_t bytes = 0;
    for (auto _ : state)
    {
        for (const std::string& key : keys)
        {
            benchmark::DoNotOptimize(StdHash(key));
            bytes += key.size();
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
}

} // namespace

BENCHMARK(BM_HashMurmur3)->Arg(8)->Arg(24)->Arg(64)->Arg(256);
BENCHMARK(BM_StdHashStringView)->Arg(8)->Arg(24)->Arg(64)->Arg(256);

int main(int argc, char** argv)
{
    // The case-folding hash does more per byte than std::hash: report only.
    return RunBenchmarksWithRatios(
        argc, argv, {},
        {{"V_HashMurmur3 speed vs std::hash, 8-byte keys", "BM_HashMurmur3/8", "ratio", 0, false},
         {"V_HashMurmur3 speed vs std::hash, 64-byte keys", "BM_HashMurmur3/64", "ratio", 0, false},
         {"V_HashMurmur3 speed vs std::hash, 256-byte keys", "BM_HashMurmur3/256", "ratio", 0,
          false}});
}
