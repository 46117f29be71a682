// What finding file names in any case costs: the C runtime open of the
// platform layer (open + close) on paths spelled as on disk, spelled in
// other case in every folder, and naming nothing, each beside a plain fopen
// of the same file (or of the same missing name) in the same run. Fixtures
// are 4 folders of 250 files under "bench_casefold_data" in the current
// directory, removed at the end; their folders are dated an hour back, as an
// installed game's are.
//
//   exact:      "bench_casefold_data/Game Dir/Maps2/Map0042.Bsp"
//   case-blind: "bench_casefold_data/GAME DIR/maps2/MAP0042.BSP"
//   missing:    "bench_casefold_data/game dir/maps2/none0042.bsp"
#include "bench/bench_ratio.h"

#include "plinth/platform/platform_crtfile.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace
{
namespace fs = std::filesystem;

const char kRoot[] = "bench_casefold_data";
constexpr int kFolders = 4;
constexpr int kFilesPerFolder = 250;
constexpr int kFiles = kFolders * kFilesPerFolder;

std::vector<std::string> g_exact, g_blind, g_missing, g_missingExact;

std::string Name(const char* pszFormat, int i)
{
    char sz[160];
    snprintf(sz, sizeof(sz), pszFormat, kRoot, i / kFilesPerFolder, i);
    return sz;
}

void WriteFixtures()
{
    static bool s_bDone = false;
    if (s_bDone) return;
    s_bDone = true;
    fs::remove_all(kRoot);
    for (int i = 0; i < kFiles; ++i)
    {
        g_exact.push_back(Name("%s/Game Dir/Maps%d/Map%04d.Bsp", i));
        g_blind.push_back(Name("%s/GAME DIR/maps%d/MAP%04d.BSP", i));
        g_missing.push_back(Name("%s/game dir/maps%d/none%04d.bsp", i));
        g_missingExact.push_back(Name("%s/Game Dir/Maps%d/none%04d.bsp", i));
        fs::create_directories(fs::path(g_exact.back()).parent_path());
        FILE* pFile = fopen(g_exact.back().c_str(), "wb");
        fputs("map", pFile);
        fclose(pFile);
    }
    const auto past = fs::file_time_type::clock::now() - std::chrono::hours(1);
    for (const auto& entry : fs::recursive_directory_iterator(kRoot))
        if (entry.is_directory()) fs::last_write_time(entry.path(), past);
}

// Opens and closes every path; a file that does not open as expected ends
// the benchmark with an error.
void OpenAll(benchmark::State& state, const std::vector<std::string>& paths, bool bExpect,
             bool bPlain)
{
    WriteFixtures();
    for (auto _ : state)
    {
        for (const std::string& path : paths)
        {
            FILE* pFile = bPlain ? fopen(path.c_str(), "rb") : Plat_CrtOpen(path.c_str(), "rb");
            if ((pFile != nullptr) != bExpect)
            {
                state.SkipWithError(("unexpected open result: " + path).c_str());
                return;
            }
            if (pFile) fclose(pFile);
        }
    }
    state.SetItemsProcessed(state.iterations() * kFiles);
}

void BM_PlainOpen(benchmark::State& state)
{
    OpenAll(state, g_exact, true, true);
}
void BM_ExactOpen(benchmark::State& state)
{
    OpenAll(state, g_exact, true, false);
}
void BM_CaseBlindOpen(benchmark::State& state)
{
    OpenAll(state, g_blind, true, false);
}
void BM_PlainMissing(benchmark::State& state)
{
    OpenAll(state, g_missingExact, false, true);
}
void BM_CaseBlindMissing(benchmark::State& state)
{
    OpenAll(state, g_missing, false, false);
}
BENCHMARK(BM_PlainOpen)->Repetitions(5)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ExactOpen)->Repetitions(5)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CaseBlindOpen)->Repetitions(5)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlainMissing)->Repetitions(5)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CaseBlindMissing)->Repetitions(5)->Unit(benchmark::kMicrosecond);
} // namespace

int main(int argc, char** argv)
{
    int result =
        RunBenchmarksWithRatios(argc, argv,
                                {{"open+close, path spelled as on disk vs plain fopen",
                                  "BM_ExactOpen", "BM_PlainOpen", 0.9},
                                 {"open+close, every folder and name in other case vs plain fopen",
                                  "BM_CaseBlindOpen", "BM_PlainOpen", 0.0},
                                 {"open of a missing name in other case vs plain fopen missing",
                                  "BM_CaseBlindMissing", "BM_PlainMissing", 0.0}});
    std::error_code ec;
    fs::remove_all(kRoot, ec);
    return result;
}
