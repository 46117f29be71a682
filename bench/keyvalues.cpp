// Key-name pool lookups against a case-insensitive hash map, and key-values
// text parse throughput.
#include "trestle/keyvalues.h"
#include "trestle/keyvalues_system.h"
#include "trestle/utlbuffer.h"

#include "bench_ratio.h"

#include <benchmark/benchmark.h>

#include <cctype>
#include <cstdio>
#include <string>
#include <unordered_map>
#include <vector>

namespace
{
const int kNames = 4000;

std::vector<std::string> MakeNames()
{
    std::vector<std::string> names;
    char sz[64];
    for (int i = 0; i < kNames; ++i)
    {
        std::snprintf(sz, sizeof(sz), "%s_Key_%d", (i % 3) ? "Mount" : "SpewFileIO", i * 7919);
        names.push_back(sz);
    }
    return names;
}

struct NoCaseHash
{
    size_t operator()(const std::string& s) const
    {
        size_t h = 1469598103934665603ull;
        for (unsigned char c : s)
            h = (h ^ (size_t)std::tolower(c)) * 1099511628211ull;
        return h;
    }
};

struct NoCaseEqual
{
    bool operator()(const std::string& a, const std::string& b) const
    {
        if (a.size() != b.size()) return false;
        for (size_t i = 0; i < a.size(); ++i)
        {
            if (std::tolower((unsigned char)a[i]) != std::tolower((unsigned char)b[i]))
                return false;
        }
        return true;
    }
};

// Baseline: the lookup a standard container gives for the same names.
void BM_UnorderedMapNoCase(benchmark::State& state)
{
    std::vector<std::string> names = MakeNames();
    std::unordered_map<std::string, int, NoCaseHash, NoCaseEqual> map;
    for (int i = 0; i < kNames; ++i)
        map.emplace(names[i], i + 1);
    size_t i = 0;
    for (auto _ : state)
    {
        // The key is built from a C string, as callers of the pool hold names.
        auto it = map.find(std::string(names[i].c_str()));
        benchmark::DoNotOptimize(it->second);
        if (++i == names.size()) i = 0;
    }
}
BENCHMARK(BM_UnorderedMapNoCase);

void BM_SymbolForNameExisting(benchmark::State& state)
{
    std::vector<std::string> names = MakeNames();
    IKeyValuesSystem* pSystem = KeyValuesSystem();
    for (const std::string& name : names)
        pSystem->SymbolForName(name.c_str(), true);
    size_t i = 0;
    for (auto _ : state)
    {
        benchmark::DoNotOptimize(pSystem->SymbolForName(names[i].c_str(), false));
        if (++i == names.size()) i = 0;
    }
}
BENCHMARK(BM_SymbolForNameExisting);

std::string MakeLargeText()
{
    std::string text = "root\n{\n";
    char sz[160];
    for (int i = 0; i < 20000; ++i)
    {
        std::snprintf(sz, sizeof(sz),
                      "\tblock_%d [$WIN32]\n\t{\n\t\t\"name\"\t\"value number %d\"\n\t\tcount %d\n"
                      "\t\t// comment\n\t\tflag 1 [!$LINUX]\n\t}\n",
                      i % 500, i, i);
        text += sz;
    }
    text += "}\n";
    return text;
}

void BM_ParseLargeText(benchmark::State& state)
{
    std::string text = MakeLargeText();
    for (auto _ : state)
    {
        CUtlBuffer buf(text.data(), (int)text.size(),
                       CUtlBuffer::TEXT_BUFFER | CUtlBuffer::READ_ONLY);
        KeyValues* pRoot = new KeyValues("bench");
        bool bOk = pRoot->LoadFromBuffer("bench.kvt", buf);
        benchmark::DoNotOptimize(bOk);
        KeyValues::DeleteTree(pRoot);
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)text.size());
}
BENCHMARK(BM_ParseLargeText)->Unit(benchmark::kMillisecond);

// Baseline for the parse: one pass over the same bytes.
void BM_ScanLargeText(benchmark::State& state)
{
    std::string text = MakeLargeText();
    for (auto _ : state)
    {
        size_t nBraces = 0;
        for (char c : text)
            nBraces += (c == '{');
        benchmark::DoNotOptimize(nBraces);
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)text.size());
}
BENCHMARK(BM_ScanLargeText)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return RunBenchmarksWithRatios(
        argc, argv,
        {{"SymbolForName of existing names vs case-insensitive unordered_map",
          "BM_SymbolForNameExisting", "BM_UnorderedMapNoCase", 1.0},
         {"key-values text parse vs one pass over the bytes", "BM_ParseLargeText",
          "BM_ScanLargeText", 0.0}});
}
