#include "plinth/memstd.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace
{
struct Held
{
    unsigned char* m_p;
    size_t m_n;
    unsigned char m_fill;
};

bool Intact(const Held& held)
{
    for (size_t i = 0; i < held.m_n; ++i)
        if (held.m_p[i] != held.m_fill) return false;
    return true;
}
} // namespace

// Threads allocate, fill, check and release blocks of 16 to 1024 bytes; half
// of them are handed to the next thread to release, so blocks travel between
// free lists. Every block must come back with its own bytes.
TEST(MemStdSmallBlockConcurrency, StressReturnsEveryBlockIntact)
{
    std::unique_ptr<CStdMemAlloc> pAlloc(new CStdMemAlloc);
    pAlloc->InitVirtualHeap(MEMALLOC_HEAP_SMALL);
    ASSERT_TRUE(pAlloc->IsSmallHeapOn());

    const int kThreads = 4;
    const int kRounds = 200;
    const int kPerRound = 64;
    std::atomic<int> nBroken{0}, nOutside{0};
    // Blocks handed between threads; the lock only guards the vector.
    std::mutex exchangeLock;
    std::vector<Held> exchange;

    auto worker = [&](int id)
    {
        uint32_t seed = 0x9E3779B9u * (uint32_t)(id + 1);
        std::vector<Held> mine;
        for (int round = 0; round < kRounds; ++round)
        {
            for (int i = 0; i < kPerRound; ++i)
            {
                seed = seed * 1664525u + 1013904223u;
                size_t n = 16 + (seed >> 8) % 1009;
                unsigned char fill = (unsigned char)(seed >> 24) | 1;
                unsigned char* p = (unsigned char*)pAlloc->Allocate(n);
                if (!pAlloc->SmallHeap().IsOwner(p)) ++nOutside;
                memset(p, fill, n);
                mine.push_back({p, n, fill});
            }
            for (const Held& held : mine)
                if (!Intact(held)) ++nBroken;
            // Release every other block here; the rest go to whoever comes next.
            std::vector<Held> taken;
            {
                std::lock_guard<std::mutex> hold(exchangeLock);
                taken.swap(exchange);
                for (size_t i = 1; i < mine.size(); i += 2)
                    exchange.push_back(mine[i]);
            }
            for (size_t i = 0; i < mine.size(); i += 2)
                pAlloc->Release(mine[i].m_p);
            mine.clear();
            for (const Held& held : taken)
            {
                if (!Intact(held)) ++nBroken;
                pAlloc->Release(held.m_p);
            }
        }
    };
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i)
        threads.emplace_back(worker, i);
    for (auto& t : threads)
        t.join();
    for (const Held& held : exchange)
    {
        if (!Intact(held)) ++nBroken;
        pAlloc->Release(held.m_p);
    }

    EXPECT_EQ(0, nBroken.load());
    EXPECT_EQ(0, nOutside.load());
    EXPECT_EQ(0u, pAlloc->GetSmallBlockBytesInUse());
}
