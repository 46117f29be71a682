// The library's allocation path (MemAlloc_* through the process allocator,
// as it is by default) against plain malloc/free: batches of 16 to 1024-byte
// blocks allocated and released, single-threaded and with two threads. The
// small-block heap, which nothing turns on by default, is reported beside
// them without a target. The ratio lines compare rates measured in this run.
#include "bench/bench_ratio.h"
#include "plinth/memalloc.h"
#include "plinth/memstd.h"

#include <benchmark/benchmark.h>

#include <cstdlib>

namespace
{
const int kBatch = 64;

// A fixed spread of sizes over the small-block range.
struct Sizes
{
    Sizes()
    {
        uint32_t seed = 12345;
        for (size_t& n : m_n)
        {
            seed = seed * 1664525u + 1013904223u;
            n = 16 + (seed >> 8) % 1009;
        }
    }
    size_t m_n[kBatch];
};
const Sizes g_sizes;

CStdMemAlloc& SmallHeapAllocator()
{
    static CStdMemAlloc* s_pAlloc = []
    {
        CStdMemAlloc* pAlloc = new CStdMemAlloc;
        pAlloc->InitVirtualHeap(MEMALLOC_HEAP_SMALL);
        return pAlloc;
    }();
    return *s_pAlloc;
}

void BM_SmallBlockHeap(benchmark::State& state)
{
    CStdMemAlloc& alloc = SmallHeapAllocator();
    void* blocks[kBatch];
    for (auto _ : state)
    {
        for (int i = 0; i < kBatch; ++i)
            blocks[i] = alloc.Allocate(g_sizes.m_n[i]);
        benchmark::DoNotOptimize(blocks);
        for (int i = 0; i < kBatch; ++i)
            alloc.Release(blocks[i]);
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
}

void BM_DefaultAllocator(benchmark::State& state)
{
    void* blocks[kBatch];
    for (auto _ : state)
    {
        for (int i = 0; i < kBatch; ++i)
            blocks[i] = MemAlloc_AllocTagged(g_sizes.m_n[i], __FILE__, __LINE__);
        benchmark::DoNotOptimize(blocks);
        for (int i = 0; i < kBatch; ++i)
            MemAlloc_FreeTagged(blocks[i], __FILE__, __LINE__);
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
}

void BM_Malloc(benchmark::State& state)
{
    void* blocks[kBatch];
    for (auto _ : state)
    {
        for (int i = 0; i < kBatch; ++i)
            blocks[i] = malloc(g_sizes.m_n[i]);
        benchmark::DoNotOptimize(blocks);
        for (int i = 0; i < kBatch; ++i)
            free(blocks[i]);
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
}
} // namespace

BENCHMARK(BM_DefaultAllocator)->UseRealTime();
BENCHMARK(BM_Malloc)->UseRealTime();
BENCHMARK(BM_SmallBlockHeap)->UseRealTime();
BENCHMARK(BM_DefaultAllocator)->Threads(2)->UseRealTime();
BENCHMARK(BM_Malloc)->Threads(2)->UseRealTime();
BENCHMARK(BM_SmallBlockHeap)->Threads(2)->UseRealTime();

int main(int argc, char** argv)
{
    return RunBenchmarksWithRatios(
        argc, argv,
        {
            {"default allocator path vs malloc/free, 16-1024 B, 1 thread",
             "BM_DefaultAllocator/real_time", "BM_Malloc/real_time", 0.9},
            {"default allocator path vs malloc/free, 16-1024 B, 2 threads",
             "BM_DefaultAllocator/real_time/threads:2", "BM_Malloc/real_time/threads:2", 0.9},
            {"small-block heap (off by default) vs malloc, 1 thread", "BM_SmallBlockHeap/real_time",
             "BM_Malloc/real_time", 0},
            {"small-block heap (off by default) vs malloc, 2 threads",
             "BM_SmallBlockHeap/real_time/threads:2", "BM_Malloc/real_time/threads:2", 0},
        });
}
