// Lock costs: uncontended lock/unlock pairs and two threads hammering one lock,
// each beside the standard library's equivalent measured in the same run. The
// "vs_std" counter is this lock's time per pair over the baseline's.
#include "plinth/threadtools.h"

#include "bench/bench_ratio.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <shared_mutex>
#include <thread>

namespace
{
const int kPairs = 200000;

template <class F> double SecondsFor(F&& f)
{
    auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Runs `pairs` of work on one thread, or split over two threads at once.
template <class F> double Measure(int nThreads, F&& work)
{
    if (nThreads == 1) return SecondsFor([&] { work(kPairs); });
    return SecondsFor(
        [&]
        {
            std::thread other([&] { work(kPairs / 2); });
            work(kPairs / 2);
            other.join();
        });
}

template <class LockFn, class BaseFn>
void RunPair(benchmark::State& state, LockFn&& lockWork, BaseFn&& baseWork)
{
    int nThreads = (int)state.range(0);
    double lockSeconds = 0, baseSeconds = 0;
    for (auto _ : state)
    {
        lockSeconds += Measure(nThreads, lockWork);
        baseSeconds += Measure(nThreads, baseWork);
    }
    double nPairs = (double)kPairs * (double)state.iterations();
    state.counters["ns_per_pair"] = lockSeconds * 1e9 / nPairs;
    state.counters["std_ns_per_pair"] = baseSeconds * 1e9 / nPairs;
    // Speed relative to the standard lock: above 1 means faster.
    state.counters["vs_std"] = lockSeconds > 0 ? baseSeconds / lockSeconds : 0;
}

int g_shared = 0;

// `n` shared (read) or exclusive (write) passes over one lock: the same loop
// for our reader/writer locks and, specialised below, for std::shared_mutex.
template <class Lock> void ReadPasses(Lock& lock, int n)
{
    for (int i = 0; i < n; ++i)
    {
        lock.LockForRead();
        benchmark::DoNotOptimize(g_shared);
        lock.UnlockRead();
    }
}

template <class Lock> void WritePasses(Lock& lock, int n)
{
    for (int i = 0; i < n; ++i)
    {
        lock.LockForWrite();
        benchmark::DoNotOptimize(++g_shared);
        lock.UnlockWrite();
    }
}

template <> void ReadPasses(std::shared_mutex& lock, int n)
{
    for (int i = 0; i < n; ++i)
    {
        lock.lock_shared();
        benchmark::DoNotOptimize(g_shared);
        lock.unlock_shared();
    }
}

template <> void WritePasses(std::shared_mutex& lock, int n)
{
    for (int i = 0; i < n; ++i)
    {
        lock.lock();
        benchmark::DoNotOptimize(++g_shared);
        lock.unlock();
    }
}

template <class Lock> void RunReadPair(benchmark::State& state)
{
    Lock lock;
    std::shared_mutex base;
    RunPair(
        state, [&](int n) { ReadPasses(lock, n); }, [&](int n) { ReadPasses(base, n); });
}

template <class Lock> void RunWritePair(benchmark::State& state)
{
    Lock lock;
    std::shared_mutex base;
    RunPair(
        state, [&](int n) { WritePasses(lock, n); }, [&](int n) { WritePasses(base, n); });
}

void BM_SpinRWLock_Read(benchmark::State& state)
{
    RunReadPair<SpinRWLock>(state);
}

void BM_SpinRWLock_Write(benchmark::State& state)
{
    RunWritePair<SpinRWLock>(state);
}

void BM_EventRWLock_Read(benchmark::State& state)
{
    RunReadPair<EventRWLock>(state);
}

void BM_EventRWLock_Write(benchmark::State& state)
{
    RunWritePair<EventRWLock>(state);
}

void BM_RecursiveSpinMutex(benchmark::State& state)
{
    RecursiveSpinMutex lock;
    std::mutex base;
    RunPair(
        state,
        [&](int n)
        {
            for (int i = 0; i < n; ++i)
            {
                lock.Lock();
                benchmark::DoNotOptimize(++g_shared);
                lock.Unlock();
            }
        },
        [&](int n)
        {
            for (int i = 0; i < n; ++i)
            {
                base.lock();
                benchmark::DoNotOptimize(++g_shared);
                base.unlock();
            }
        });
}
} // namespace

// Argument: 1 = uncontended, 2 = two threads on one lock.
BENCHMARK(BM_SpinRWLock_Read)->Arg(1)->Arg(2)->Iterations(5)->UseRealTime();
BENCHMARK(BM_SpinRWLock_Write)->Arg(1)->Arg(2)->Iterations(5)->UseRealTime();
BENCHMARK(BM_EventRWLock_Read)->Arg(1)->Arg(2)->Iterations(5)->UseRealTime();
BENCHMARK(BM_EventRWLock_Write)->Arg(1)->Arg(2)->Iterations(5)->UseRealTime();
BENCHMARK(BM_RecursiveSpinMutex)->Arg(1)->Arg(2)->Iterations(5)->UseRealTime();

int main(int argc, char** argv)
{
    // Report only: the costs of our locks beside the standard ones.
    return RunBenchmarksWithRatios(
        argc, argv, {},
        {
            {"SpinRWLock read vs std::shared_mutex speed, uncontended",
             "BM_SpinRWLock_Read/1/iterations:5/real_time", "vs_std", 0, false},
            {"SpinRWLock read vs std::shared_mutex speed, 2 threads",
             "BM_SpinRWLock_Read/2/iterations:5/real_time", "vs_std", 0, false},
            {"SpinRWLock write vs std::shared_mutex speed, uncontended",
             "BM_SpinRWLock_Write/1/iterations:5/real_time", "vs_std", 0, false},
            {"SpinRWLock write vs std::shared_mutex speed, 2 threads",
             "BM_SpinRWLock_Write/2/iterations:5/real_time", "vs_std", 0, false},
            {"EventRWLock read vs std::shared_mutex speed, uncontended",
             "BM_EventRWLock_Read/1/iterations:5/real_time", "vs_std", 0, false},
            {"EventRWLock read vs std::shared_mutex speed, 2 threads",
             "BM_EventRWLock_Read/2/iterations:5/real_time", "vs_std", 0, false},
            {"EventRWLock write vs std::shared_mutex speed, uncontended",
             "BM_EventRWLock_Write/1/iterations:5/real_time", "vs_std", 0, false},
            {"EventRWLock write vs std::shared_mutex speed, 2 threads",
             "BM_EventRWLock_Write/2/iterations:5/real_time", "vs_std", 0, false},
            {"RecursiveSpinMutex vs std::mutex speed, uncontended",
             "BM_RecursiveSpinMutex/1/iterations:5/real_time", "vs_std", 0, false},
            {"RecursiveSpinMutex vs std::mutex speed, 2 threads",
             "BM_RecursiveSpinMutex/2/iterations:5/real_time", "vs_std", 0, false},
        });
}
