// Events, locks, thread-local slots, the clock and the lock-free containers,
// single-threaded semantics and simple hand-offs.
#include "tests/plinth/threadtools_test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <vector>

TEST(ThreadEvent, ResetModes)
{
    ThreadEvent autoEvent(false);
    EXPECT_FALSE(autoEvent.Wait(0));
    EXPECT_TRUE(autoEvent.Set());
    EXPECT_TRUE(autoEvent.Wait(0));
    EXPECT_FALSE(autoEvent.Wait(0)); // consumed by the first wait

    ThreadEvent manualEvent(true);
    EXPECT_TRUE(manualEvent.Set());
    EXPECT_TRUE(manualEvent.Wait(0));
    EXPECT_TRUE(manualEvent.Wait(0)); // stays signalled
    EXPECT_TRUE(manualEvent.Reset());
    EXPECT_FALSE(manualEvent.Wait(0));

    uint32_t start = Plat_MSTime();
    EXPECT_FALSE(manualEvent.Wait(60));
    EXPECT_GE(Plat_MSTime() - start, 50u);
}

TEST(ThreadEvent, WakesAWaiterOnAnotherThread)
{
    ThreadEvent go(false), done(false);
    CLambdaThread thread(
        [&]
        {
            if (!go.Wait(10000)) return 1;
            done.Set();
            return 0;
        });
    ASSERT_TRUE(thread.Launch());
    EXPECT_FALSE(done.Wait(20));
    go.Set();
    EXPECT_TRUE(done.Wait(10000));
    ASSERT_TRUE(thread.WaitForExit());
    EXPECT_EQ(0, thread.GetResult());
}

TEST(ThreadEvent, MissingHandleIsReported)
{
    CDebugOutputCapture capture;
    ThreadEvent borrowed((EventHandle_t) nullptr);
    EXPECT_FALSE(borrowed.Set());
    EXPECT_FALSE(borrowed.Reset());
    EXPECT_FALSE(borrowed.Wait(0));
    EXPECT_EQ(3, capture.Count("Thread synchronization object is unuseable"));
}

TEST(RecursiveSpinMutex, NestsAndExcludesOtherThreads)
{
    RecursiveSpinMutex mutex;
    mutex.Lock();
    mutex.Lock();
    EXPECT_EQ(ThreadGetCurrentId(), mutex.GetOwnerId());
    EXPECT_EQ(2u, mutex.GetDepth());

    auto otherTry = [&]
    {
        bool bGot = false;
        CLambdaThread thread(
            [&]
            {
                bGot = mutex.TryLock();
                if (bGot) mutex.Unlock();
                return 0;
            });
        thread.Launch();
        thread.WaitForExit();
        return bGot;
    };
    EXPECT_FALSE(otherTry());
    mutex.Unlock();
    EXPECT_FALSE(otherTry()); // still held once
    mutex.Unlock();
    EXPECT_EQ(0u, mutex.GetOwnerId());
    EXPECT_TRUE(otherTry());
}

TEST(RecursiveSpinMutex, ContendedLockWaitsForRelease)
{
    RecursiveSpinMutex mutex;
    std::atomic<int> stage(0);
    mutex.Lock();
    CLambdaThread thread(
        [&]
        {
            stage = 1;
            mutex.Lock(); // spins, then queues on the critical section
            stage = 2;
            mutex.Unlock();
            return 0;
        });
    ASSERT_TRUE(thread.Launch());
    while (stage.load() == 0)
        ThreadSleep(1);
    ThreadSleep(30);
    EXPECT_EQ(1, stage.load());
    mutex.Unlock();
    ASSERT_TRUE(thread.WaitForExit());
    EXPECT_EQ(2, stage.load());
}

TEST(RecursiveSpinMutex, UnlockWithoutLockIsReportedAndHarmless)
{
    CDebugOutputCapture capture;
    RecursiveSpinMutex mutex;
    mutex.Unlock();
    EXPECT_EQ(1, capture.Count("Assertion Failed: m_nDepth > 0"));
    EXPECT_EQ(0u, mutex.GetDepth());
    EXPECT_TRUE(mutex.TryLock());
    mutex.Unlock();
}

TEST(SpinRWLock, ReadersShareWritersExclude)
{
    SpinRWLock lock;
    lock.LockForRead();
    lock.LockForRead(); // readers nest while no writer waits
    EXPECT_EQ(2u, lock.GetReaderCount());
    EXPECT_FALSE(lock.TryLockForWrite());
    EXPECT_EQ(0u, lock.GetWritersWaiting());
    lock.UnlockRead();
    lock.UnlockRead();

    lock.LockForWrite();
    EXPECT_EQ(ThreadGetCurrentId(), lock.GetWriterId());
    EXPECT_EQ(1u, lock.GetWritersWaiting());
    EXPECT_FALSE(lock.TryLockForRead());
    lock.UnlockWrite();
    EXPECT_EQ(0u, lock.GetWriterId());
    EXPECT_EQ(0u, lock.GetWritersWaiting());
    EXPECT_TRUE(lock.TryLockForRead());
    lock.UnlockRead();
}

TEST(SpinRWLock, WaitingWriterKeepsNewReadersOut)
{
    SpinRWLock lock;
    std::vector<std::string> order;
    std::atomic<int> readerStarted(0);
    lock.LockForRead();

    CLambdaThread writer(
        [&]
        {
            lock.LockForWrite();
            order.push_back("writer");
            ThreadSleep(20);
            lock.UnlockWrite();
            return 0;
        });
    ASSERT_TRUE(writer.Launch());
    while (lock.GetWritersWaiting() == 0)
        ThreadSleep(1);

    // The first reader still holds the lock; a new one must queue behind the
    // waiting writer.
    EXPECT_FALSE(lock.TryLockForRead());
    CLambdaThread reader(
        [&]
        {
            readerStarted = 1;
            lock.LockForRead();
            order.push_back("reader");
            lock.UnlockRead();
            return 0;
        });
    ASSERT_TRUE(reader.Launch());
    while (!readerStarted.load())
        ThreadSleep(1);
    ThreadSleep(30);
    EXPECT_TRUE(order.empty());

    lock.UnlockRead();
    ASSERT_TRUE(writer.WaitForExit());
    ASSERT_TRUE(reader.WaitForExit());
    ASSERT_EQ(2u, order.size());
    EXPECT_EQ("writer", order[0]);
    EXPECT_EQ("reader", order[1]);
}

TEST(SpinRWLock, MismatchedUnlocksAreReportedAndLeaveTheLockAlone)
{
    CDebugOutputCapture capture;
    SpinRWLock lock;
    lock.UnlockRead();
    EXPECT_EQ(1, capture.Count(
                     "Assertion Failed: m_lockInfo.m_nReaders > 0 && m_lockInfo.m_writerId == 0"));
    EXPECT_EQ(0u, lock.GetReaderCount());

    lock.LockForWrite();
    uint32_t writer = lock.GetWriterId();
    CLambdaThread other(
        [&]
        {
            lock.UnlockWrite();
            return 0;
        });
    ASSERT_TRUE(other.Launch());
    ASSERT_TRUE(other.WaitForExit());
    EXPECT_EQ(1, capture.Count("Assertion Failed: m_lockInfo.m_writerId == ThreadGetCurrentId() "
                               "&& m_lockInfo.m_nReaders == 0"));
    EXPECT_EQ(writer, lock.GetWriterId());
    lock.UnlockWrite();
    EXPECT_EQ(0u, lock.GetWriterId());
}

TEST(EventRWLock, WriterWaitsForReadersAndReadersForWriter)
{
    EventRWLock lock;
    std::vector<std::string> order;
    lock.LockForRead();
    lock.LockForRead(); // two readers at once
    CLambdaThread writer(
        [&]
        {
            lock.LockForWrite();
            order.push_back("writer");
            ThreadSleep(20);
            lock.UnlockWrite();
            return 0;
        });
    ASSERT_TRUE(writer.Launch());
    ThreadSleep(30);
    EXPECT_TRUE(order.empty());
    lock.UnlockRead();
    lock.UnlockRead();
    ASSERT_TRUE(writer.WaitForExit());
    ASSERT_EQ(1u, order.size());

    lock.LockForWrite();
    std::atomic<int> readerIn(0);
    CLambdaThread reader(
        [&]
        {
            lock.LockForRead();
            readerIn = 1;
            lock.UnlockRead();
            return 0;
        });
    ASSERT_TRUE(reader.Launch());
    ThreadSleep(30);
    EXPECT_EQ(0, readerIn.load());
    lock.UnlockWrite();
    ASSERT_TRUE(reader.WaitForExit());
    EXPECT_EQ(1, readerIn.load());
}

TEST(ThreadLocalSlot, ValuesArePerThread)
{
    ThreadLocalSlot slot;
    EXPECT_TRUE(slot.IsValid());
    EXPECT_EQ(nullptr, slot.Get());
    int mine = 0, theirs = 0;
    slot.Set(&mine);
    void* pSeenThere = (void*)1;
    CLambdaThread thread(
        [&]
        {
            pSeenThere = slot.Get();
            slot.Set(&theirs);
            return slot.Get() == &theirs ? 0 : 1;
        });
    ASSERT_TRUE(thread.Launch());
    ASSERT_TRUE(thread.WaitForExit());
    EXPECT_EQ(nullptr, pSeenThere);
    EXPECT_EQ(0, thread.GetResult());
    EXPECT_EQ(&mine, slot.Get());
}

TEST(ThreadClock, MillisecondsAdvanceAndNeverStepBack)
{
    uint32_t first = Plat_MSTime();
    ThreadSleep(40);
    uint32_t second = Plat_MSTime();
    EXPECT_GE(second - first, 30u);
    EXPECT_LT(second - first, 5000u);
    uint32_t last = second;
    for (int i = 0; i < 10000; ++i)
    {
        uint32_t now = Plat_MSTime();
        ASSERT_GE(now, last);
        last = now;
    }
}

namespace
{
struct TestNode_t : TSLNodeBase_t
{
    int value;
};
} // namespace

TEST(CTSListBase, PushPopCountsAndSequence)
{
    CTSListBase list;
    EXPECT_EQ(nullptr, list.Pop());
    EXPECT_EQ(0u, list.GetHead().DepthSequence);

    TestNode_t nodes[3];
    for (int i = 0; i < 3; ++i)
    {
        nodes[i].value = i;
        list.Push(&nodes[i]);
        EXPECT_EQ((uint32_t)i + 1, list.Count());
    }
    // Three pushes: depth 3, sequence 3.
    EXPECT_EQ(0x00030003u, list.GetHead().DepthSequence);

    EXPECT_EQ(&nodes[2], list.Pop());
    EXPECT_EQ(&nodes[1], list.Pop());
    // Pops lower the depth and keep the sequence.
    EXPECT_EQ(0x00030001u, list.GetHead().DepthSequence);
    list.Push(&nodes[2]);
    EXPECT_EQ(0x00040002u, list.GetHead().DepthSequence);
    EXPECT_EQ(&nodes[2], list.Pop());
    EXPECT_EQ(&nodes[0], list.Pop());
    EXPECT_EQ(nullptr, list.Pop());
    EXPECT_EQ(0u, list.Count());

    list.Push(&nodes[0]);
    list.Push(&nodes[1]);
    TSLNodeBase_t* pChain = list.Detach();
    EXPECT_EQ(&nodes[1], pChain);
    EXPECT_EQ(&nodes[0], pChain->Next);
    EXPECT_EQ(0u, list.Count());
    EXPECT_EQ(nullptr, list.Pop());
}

TEST(CTSListBase, HeadIsDoubleWidthAndAligned)
{
    EXPECT_EQ(2 * sizeof(void*) > 8 ? 16u : 8u, sizeof(TSLHead_t));
    EXPECT_EQ(0u, alignof(CTSListBase) % TSL_HEAD_ALIGN);
}

namespace
{
// Node with a 7-byte element followed by guard bytes.
struct OddNode_t
{
    LFQNode_t node;
    unsigned char element[8];
    unsigned char guard[8];
};
static_assert(offsetof(OddNode_t, element) == sizeof(void*), "element follows the link");
} // namespace

TEST(LockFreeQueue, FifoOrderEmptyAndNodeRecycling)
{
    LockFreeQueue queue;
    OddNode_t dummy = {};
    queue.Init(&dummy.node);
    unsigned char out[7 + 4];
    memset(out, 0xEE, sizeof(out));
    EXPECT_EQ(nullptr, queue.Dequeue(out, 7));
    EXPECT_TRUE(queue.IsEmpty());
    EXPECT_EQ(0xEE, out[0]);

    OddNode_t nodes[4];
    for (int i = 0; i < 4; ++i)
    {
        unsigned char element[7];
        for (int b = 0; b < 7; ++b)
            element[b] = (unsigned char)(i * 16 + b);
        LockFreeQueue::StoreElement(&nodes[i].node, element, 7);
        queue.Enqueue(&nodes[i].node);
    }
    EXPECT_FALSE(queue.IsEmpty());

    for (int i = 0; i < 4; ++i)
    {
        memset(out, 0xEE, sizeof(out));
        LFQNode_t* pGiven = queue.Dequeue(out, 7);
        ASSERT_NE(nullptr, pGiven);
        // The node given up is the previous dummy: first the original one.
        EXPECT_EQ(i == 0 ? &dummy.node : &nodes[i - 1].node, pGiven);
        for (int b = 0; b < 7; ++b)
            EXPECT_EQ(i * 16 + b, out[b]);
        for (int b = 7; b < 11; ++b)
            EXPECT_EQ(0xEE, out[b]) << "byte " << b << " written past the element";
        EXPECT_EQ((uint32_t)i + 1, queue.FreeNodes().Count());
    }
    EXPECT_EQ(nullptr, queue.Dequeue(out, 7));
    EXPECT_TRUE(queue.IsEmpty());
    EXPECT_EQ(&nodes[3].node, queue.HeadNode());
}

TEST(CTSQueue, TypedPushPop)
{
    struct Item_t
    {
        int a;
        short b;
    };
    CTSQueue<Item_t> queue;
    Item_t item;
    EXPECT_FALSE(queue.PopItem(&item));
    for (int i = 0; i < 100; ++i)
        queue.PushItem(Item_t{i, (short)-i});
    EXPECT_EQ(100, queue.Count());
    for (int i = 0; i < 100; ++i)
    {
        ASSERT_TRUE(queue.PopItem(&item));
        EXPECT_EQ(i, item.a);
        EXPECT_EQ(-i, item.b);
    }
    EXPECT_EQ(0, queue.Count());
    // Nodes are reused rather than allocated again.
    queue.PushItem(Item_t{5, 5});
    ASSERT_TRUE(queue.PopItem(&item));
    EXPECT_EQ(5, item.a);
}
