// CThread: launch handshake, body and exit, misuse messages.
#include "tests/plinth/minidump_test_support.h"
#include "tests/plinth/threadtools_test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <regex>
#include <stdexcept>
#include <string>

namespace
{
class COrderThread : public CThread
{
public:
    ~COrderThread() override { WaitForExit(); }
    bool Prepare() override
    {
        m_log += "P";
        m_pPrepareSelf = CThread::GetCurrentCThread();
        m_prepareResult = GetResult();
        return true;
    }
    int Body() override
    {
        m_log += "B";
        m_pBodySelf = CThread::GetCurrentCThread();
        m_bodyResult = GetResult();
        m_bodyThreadId = ThreadGetCurrentId();
        return 42;
    }
    void AfterBody() override { m_log += "A"; }

    std::string m_log;
    CThread* m_pPrepareSelf = nullptr;
    CThread* m_pBodySelf = nullptr;
    int m_prepareResult = 0;
    int m_bodyResult = 0;
    uint32_t m_bodyThreadId = 0;
};
} // namespace

TEST(CThread, RunsPrepareBodyAfterBodyAndKeepsResult)
{
    COrderThread thread;
    EXPECT_EQ(0, thread.GetResult());
    ASSERT_TRUE(thread.Launch());
    EXPECT_NE(nullptr, thread.GetThreadHandle());
    EXPECT_NE(0u, thread.GetThreadId());
    uint32_t launchedId = thread.GetThreadId();
    ASSERT_TRUE(thread.WaitForExit());

    EXPECT_EQ("PBA", thread.m_log);
    EXPECT_EQ(-1, thread.m_prepareResult);
    EXPECT_EQ(-1, thread.m_bodyResult);
    EXPECT_EQ(&thread, thread.m_pPrepareSelf);
    EXPECT_EQ(&thread, thread.m_pBodySelf);
    EXPECT_EQ(launchedId, thread.m_bodyThreadId);
    EXPECT_EQ(42, thread.GetResult());
    EXPECT_EQ(nullptr, thread.GetThreadHandle());
    EXPECT_EQ(0u, thread.GetThreadId());
    EXPECT_EQ(nullptr, CThread::GetCurrentCThread());

    // A second launch after the wait starts a fresh thread.
    thread.m_log.clear();
    ASSERT_TRUE(thread.Launch());
    ASSERT_TRUE(thread.WaitForExit());
    EXPECT_EQ("PBA", thread.m_log);
}

TEST(CThread, WaitForExitWithoutLaunchIsTrue)
{
    CLambdaThread thread([] { return 0; });
    EXPECT_TRUE(thread.WaitForExit(0));
    EXPECT_FALSE(thread.IsRunning());
}

TEST(CThread, FailedPrepareFailsLaunch)
{
    std::atomic<bool> bodyRan(false);
    CLambdaThread thread(
        [&]
        {
            bodyRan = true;
            return 1;
        },
        [] { return false; });
    testing::internal::CaptureStdout();
    bool bLaunched = thread.Launch();
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_FALSE(bLaunched);
    EXPECT_NE(std::string::npos, out.find("Thread failed to initialize\n"));
    EXPECT_EQ(nullptr, thread.GetThreadHandle());
    EXPECT_EQ(0u, thread.GetThreadId());
    EXPECT_TRUE(thread.WaitForExit());
    EXPECT_FALSE(bodyRan);
}

TEST(CThread, RunningStateTimeoutAndDoubleLaunch)
{
    ThreadEvent release(true);
    CLambdaThread thread(
        [&]
        {
            release.Wait();
            return 7;
        });
    ASSERT_TRUE(thread.Launch(256 * 1024));
    EXPECT_TRUE(thread.IsRunning());
    EXPECT_TRUE(IsThreadAlive(thread.GetThreadId()));
    EXPECT_EQ(-1, thread.GetResult());
    EXPECT_FALSE(thread.WaitForExit(30));
    EXPECT_NE(nullptr, thread.GetThreadHandle());

    {
        CDebugOutputCapture capture;
        EXPECT_FALSE(thread.Launch());
        EXPECT_EQ(1, capture.Count("Tried to create a thread that has already been created!"));
    }

    uint32_t id = thread.GetThreadId();
    release.Set();
    EXPECT_TRUE(thread.WaitForExit());
    EXPECT_EQ(7, thread.GetResult());
    EXPECT_FALSE(thread.IsRunning());
    EXPECT_FALSE(IsThreadAlive(id));
}

TEST(CThread, JoinWithSelfIsRefused)
{
    CDebugOutputCapture capture;
    CThread* pSelf = nullptr;
    bool bJoined = true;
    CLambdaThread thread(
        [&]
        {
            pSelf = CThread::GetCurrentCThread();
            bJoined = pSelf->WaitForExit(1000);
            return 0;
        });
    ASSERT_TRUE(thread.Launch());
    ASSERT_TRUE(thread.WaitForExit());
    EXPECT_EQ(&thread, pSelf);
    EXPECT_FALSE(bJoined);
    EXPECT_EQ(1, capture.Count("Thread cannot be joined with self"));
}

TEST(CThread, NameIsCutTo31Characters)
{
    CLambdaThread thread([] { return 0; });
    EXPECT_STREQ("", thread.GetName());
    thread.SetName("0123456789abcdef0123456789ABCDEFxyz");
    EXPECT_STREQ("0123456789abcdef0123456789ABCDE", thread.GetName());
    thread.SetName(nullptr);
    EXPECT_STREQ("", thread.GetName());
}

namespace
{
ThreadEvent* g_pSlowBodyGate = nullptr;
ThreadEvent* g_pSlowBodyStarted = nullptr;

// Touches no members, so it may outlive its object's derived part.
class CSlowThread : public CThread
{
public:
    int Body() override
    {
        g_pSlowBodyStarted->Set();
        g_pSlowBodyGate->Wait(1500);
        return 3;
    }
};
} // namespace

TEST(CThread, DestroyingARunningThreadReportsAndWaits)
{
    ThreadEvent gate(true), started(true);
    g_pSlowBodyGate = &gate;
    g_pSlowBodyStarted = &started;
    CDebugOutputCapture capture;

    CSlowThread* pThread = new CSlowThread;
    ASSERT_TRUE(pThread->Launch());
    // Body must be under way before the derived part goes.
    ASSERT_TRUE(started.Wait(10000));
    uint32_t id = pThread->GetThreadId();
    uint32_t start = Plat_MSTime();
    delete pThread;
    uint32_t elapsed = Plat_MSTime() - start;

    // About a second of polling, then the report, then the join.
    EXPECT_GE(elapsed, 900u);
    EXPECT_FALSE(IsThreadAlive(id));
    // The made-up name "Thread(0x%p/0x%p/0x%x)" is cut to the 31 characters
    // the name field holds.
    std::regex named("Illegal termination of worker thread '(Thread\\(0x[^']*)'");
    int nMatches = 0;
    for (const std::string& text : capture.Texts())
    {
        std::smatch match;
        if (std::regex_search(text, match, named))
        {
            ++nMatches;
            EXPECT_LE(match[1].length(), 31);
        }
    }
    EXPECT_EQ(1, nMatches);
    g_pSlowBodyGate = nullptr;
}

namespace
{
std::atomic<int> g_afterBodyDone(0);
ThreadEvent* g_pAfterBodyEntered = nullptr;

// Uses no members: AfterBody outlives the derived part of the object here.
class CAfterBodyThread : public CThread
{
public:
    int Body() override { return 1; }
    void AfterBody() override
    {
        g_pAfterBodyEntered->Set();
        ThreadSleep(50);
        g_afterBodyDone = 1;
    }
};
} // namespace

TEST(CThread, DestroyingAFinishedThreadWaitsForAfterBody)
{
    CDebugOutputCapture capture;
    ThreadEvent entered(true);
    g_pAfterBodyEntered = &entered;
    g_afterBodyDone = 0;
    {
        CAfterBodyThread thread;
        ASSERT_TRUE(thread.Launch());
        ASSERT_TRUE(entered.Wait(10000));
        EXPECT_EQ(1, thread.GetResult());
        // The body is done but AfterBody still runs: the destructor must wait.
    }
    EXPECT_EQ(1, g_afterBodyDone.load());
    EXPECT_EQ(0, capture.Count("Illegal termination"));
    g_pAfterBodyEntered = nullptr;
}

TEST(CThread, LaunchFailureIsReported)
{
    // Only a 32-bit address space is sure to refuse a 2 GB stack. (Not 4 GB:
    // rounded up to the allocation granularity it wraps to a small size.)
    if (sizeof(void*) > 4) GTEST_SKIP() << "no stack size a 64-bit system surely refuses";
    CDebugOutputCapture capture;
    CLambdaThread thread([] { return 0; });
    EXPECT_FALSE(thread.Launch(0x7FFF0000u));
    EXPECT_EQ(1, capture.Count("Failed to create thread (error 0x"));
    EXPECT_EQ(nullptr, thread.GetThreadHandle());
    EXPECT_EQ(0u, thread.GetThreadId());
}

namespace
{
ThreadEvent* g_pSelfDeleteGo = nullptr;
ThreadEvent* g_pSelfDeleted = nullptr;

class CSelfDeletingThread : public CThread
{
public:
    int Body() override
    {
        g_pSelfDeleteGo->Wait(10000);
        delete this;
        g_pSelfDeleted->Set();
        return 5;
    }
};
} // namespace

TEST(CThread, DeletedFromItsOwnBodyIsReportedAndLeftAlone)
{
    CDebugOutputCapture capture;
    ThreadEvent go(true), deleted(true);
    g_pSelfDeleteGo = &go;
    g_pSelfDeleted = &deleted;
    CSelfDeletingThread* pThread = new CSelfDeletingThread;
    ASSERT_TRUE(pThread->Launch());
    uint32_t id = pThread->GetThreadId();
    go.Set();
    ASSERT_TRUE(deleted.Wait(10000));
    // The thread ends without touching the freed object again.
    for (int i = 0; i < 1000 && IsThreadAlive(id); ++i)
        ThreadSleep(5);
    EXPECT_FALSE(IsThreadAlive(id));
    EXPECT_EQ(1, capture.Count("Deleting thread object from the thread, this is bad"));
    // Its body was still running: the destructor says so too.
    EXPECT_EQ(1, capture.Count("Illegal termination of worker thread"));
}

namespace
{
class CThrowingThread : public CThread
{
public:
    explicit CThrowingThread(bool bExitOnException) { m_bExitOnException = bExitOnException; }
    ~CThrowingThread() override { WaitForExit(); }
    int Body() override { throw std::runtime_error("body"); }
};

void RunThrowingThread(bool bExitOnException)
{
    CThrowingThread thread(bExitOnException);
    if (thread.Launch()) thread.WaitForExit();
}
} // namespace

TEST(CThreadDeathTest, BodyThatThrowsIsDumpedThenRethrownOrEndsTheProcess)
{
    StandInSink sink;
    for (bool bExitOnException : {false, true})
    {
        std::remove(sink.LogPath().c_str());
        // Rethrown, the exception leaves the thread and takes the process down.
        if (bExitOnException)
            EXPECT_EXIT(RunThrowingThread(true), testing::ExitedWithCode(1), "");
        else
            EXPECT_DEATH(RunThrowingThread(false), "");
        EXPECT_EQ(1, sink.Count("faultsink.WriteDump(7, 0xe06d7363, null)")) << bExitOnException;
    }
}

TEST(ThreadLocalSlotDeathTest, RunningOutEndsTheProcess)
{
    std::string path = TestTempPath("_stdout.txt");
    remove(path.c_str());
    EXPECT_EXIT(
        {
            if (!freopen(path.c_str(), "wb", stdout)) _Exit(3);
            for (int i = 0; i < 100000; ++i)
                new ThreadLocalSlot;
            _Exit(4);
        },
        testing::ExitedWithCode(1), "");
    std::string out = ReadWholeFile(path);
    EXPECT_EQ(out.size() - strlen("Out of thread local storage!\n"),
              out.find("Out of thread local storage!\n"))
        << out;
    remove(path.c_str());
}
