// Stress suites for the locks and lock-free containers; also run under the
// thread sanitizer.
#include "tests/plinth/threadtools_test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <vector>

namespace
{
// Runs `count` CThreads on `body(index)` and waits for them all.
void RunThreads(int count, const std::function<void(int)>& body)
{
    std::vector<std::unique_ptr<CLambdaThread>> threads;
    for (int i = 0; i < count; ++i)
    {
        threads.emplace_back(new CLambdaThread(
            [&body, i]
            {
                body(i);
                return 0;
            }));
        ASSERT_TRUE(threads.back()->Launch());
    }
    for (auto& pThread : threads)
        ASSERT_TRUE(pThread->WaitForExit());
}

// Shared state guarded by a reader/writer lock: a writer keeps the two halves
// equal, so a reader that sees them differ ran beside a writer.
struct GuardedPair_t
{
    int a = 0;
    int b = 0;
    std::atomic<int> readersIn{0};
    std::atomic<int> writersIn{0};
    std::atomic<int> violations{0};
};

template <class LOCK> void StressReadersAndWriters(LOCK& lock, int nIterations)
{
    GuardedPair_t shared;
    const int kWriters = 2, kReaders = 4;
    RunThreads(kWriters + kReaders,
               [&](int index)
               {
                   bool bWriter = index < kWriters;
                   for (int i = 0; i < nIterations; ++i)
                   {
                       if (bWriter)
                       {
                           lock.LockForWrite();
                           if (shared.writersIn.fetch_add(1) != 0 || shared.readersIn.load() != 0)
                               shared.violations++;
                           shared.a++;
                           shared.b++;
                           shared.writersIn.fetch_sub(1);
                           lock.UnlockWrite();
                       }
                       else
                       {
                           lock.LockForRead();
                           shared.readersIn.fetch_add(1);
                           if (shared.writersIn.load() != 0 || shared.a != shared.b)
                               shared.violations++;
                           shared.readersIn.fetch_sub(1);
                           lock.UnlockRead();
                       }
                   }
               });
    EXPECT_EQ(0, shared.violations.load());
    EXPECT_EQ(kWriters * nIterations, shared.a);
    EXPECT_EQ(shared.a, shared.b);
}
} // namespace

TEST(SpinRWLockConcurrency, ReadersAndWritersExclude)
{
    SpinRWLock lock;
    StressReadersAndWriters(lock, 3000);
    EXPECT_EQ(0u, lock.GetReaderCount());
    EXPECT_EQ(0u, lock.GetWriterId());
    EXPECT_EQ(0u, lock.GetWritersWaiting());
}

TEST(EventRWLockConcurrency, ReadersAndWritersExclude)
{
    EventRWLock lock;
    StressReadersAndWriters(lock, 3000);
}

TEST(RecursiveSpinMutexConcurrency, NestedLockingCountsExactly)
{
    RecursiveSpinMutex mutex;
    int counter = 0;
    const int kThreads = 4, kIterations = 5000;
    RunThreads(kThreads,
               [&](int)
               {
                   for (int i = 0; i < kIterations; ++i)
                   {
                       mutex.Lock();
                       mutex.Lock();
                       ++counter;
                       mutex.Unlock();
                       mutex.Unlock();
                   }
               });
    EXPECT_EQ(kThreads * kIterations, counter);
    EXPECT_EQ(0u, mutex.GetOwnerId());
}

TEST(CThreadMutexConcurrency, CountsExactly)
{
    CThreadMutex mutex;
    int counter = 0;
    RunThreads(4,
               [&](int)
               {
                   for (int i = 0; i < 5000; ++i)
                   {
                       CAutoLockT<CThreadMutex> guard(mutex);
                       ++counter;
                   }
               });
    EXPECT_EQ(20000, counter);
}

namespace
{
struct StressNode_t : TSLNodeBase_t
{
    int owner;
    int payload;
};
} // namespace

TEST(CTSListBaseConcurrency, NodesSurvivePushPopChurn)
{
    const int kThreads = 4, kNodesPerThread = 64, kRounds = 2000;
    std::vector<StressNode_t> nodes(kThreads * kNodesPerThread);
    CTSListBase list;
    for (size_t i = 0; i < nodes.size(); ++i)
    {
        nodes[i].owner = -1;
        list.Push(&nodes[i]);
    }
    std::atomic<int> corrupt(0);
    RunThreads(kThreads,
               [&](int index)
               {
                   std::vector<StressNode_t*> held;
                   for (int round = 0; round < kRounds; ++round)
                   {
                       // Take a few nodes, mark them as ours, give them back.
                       for (int k = 0; k < 3; ++k)
                       {
                           StressNode_t* pNode = (StressNode_t*)list.Pop();
                           if (!pNode) break;
                           if (pNode->owner != -1) corrupt++;
                           pNode->owner = index;
                           held.push_back(pNode);
                       }
                       for (StressNode_t* pNode : held)
                       {
                           if (pNode->owner != index) corrupt++;
                           pNode->owner = -1;
                           list.Push(pNode);
                       }
                       held.clear();
                   }
               });
    EXPECT_EQ(0, corrupt.load());
    EXPECT_EQ(nodes.size(), (size_t)list.Count());
    size_t n = 0;
    while (list.Pop())
        ++n;
    EXPECT_EQ(nodes.size(), n);
}

TEST(LockFreeQueueConcurrency, EveryItemOnceInProducerOrder)
{
    struct Item_t
    {
        int producer;
        int sequence;
    };
    const int kProducers = 3, kConsumers = 3, kItems = 20000;
    CTSQueue<Item_t> queue;
    std::vector<std::atomic<int>> seen(kProducers * kItems);
    for (auto& n : seen)
        n = 0;
    std::atomic<int> producersDone(0), outOfOrder(0), consumed(0);

    RunThreads(kProducers + kConsumers,
               [&](int index)
               {
                   if (index < kProducers)
                   {
                       for (int s = 0; s < kItems; ++s)
                           queue.PushItem(Item_t{index, s});
                       producersDone++;
                       return;
                   }
                   std::vector<int> last(kProducers, -1);
                   for (;;)
                   {
                       Item_t item;
                       if (!queue.PopItem(&item))
                       {
                           if (producersDone.load() == kProducers && queue.Count() == 0) break;
                           ThreadPause();
                           continue;
                       }
                       if (item.producer < 0 || item.producer >= kProducers || item.sequence < 0 ||
                           item.sequence >= kItems)
                       {
                           outOfOrder++;
                           continue;
                       }
                       if (item.sequence <= last[item.producer]) outOfOrder++;
                       last[item.producer] = item.sequence;
                       seen[item.producer * kItems + item.sequence]++;
                       consumed++;
                   }
               });

    EXPECT_EQ(0, outOfOrder.load());
    EXPECT_EQ(kProducers * kItems, consumed.load());
    int nWrong = 0;
    for (auto& n : seen)
        nWrong += n.load() != 1;
    EXPECT_EQ(0, nWrong);
    Item_t item;
    EXPECT_FALSE(queue.PopItem(&item));
}

TEST(CThreadConcurrency, ManyThreadsLaunchAndJoin)
{
    std::atomic<int> sum(0);
    std::vector<std::unique_ptr<CLambdaThread>> threads;
    for (int i = 0; i < 16; ++i)
    {
        threads.emplace_back(new CLambdaThread(
            [&sum, i]
            {
                sum += i;
                return i;
            }));
    }
    for (auto& pThread : threads)
        ASSERT_TRUE(pThread->Launch());
    for (size_t i = 0; i < threads.size(); ++i)
    {
        ASSERT_TRUE(threads[i]->WaitForExit());
        EXPECT_EQ((int)i, threads[i]->GetResult());
    }
    EXPECT_EQ(120, sum.load());
}
