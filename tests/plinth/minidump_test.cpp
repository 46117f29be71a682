#include "plinth/dbg.h"
#include "plinth/dbg_internal.h"
#include "plinth/minidump.h"
#include "plinth/threadtools.h"
#include "tests/plinth/minidump_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>

namespace
{
std::atomic<int> g_nDumpRequests{0};

void CountDumpRequest(const char*, const char*, int, bool, bool)
{
    ++g_nDumpRequests;
}

// Holds the minidump lock on another thread until released.
class LockHolder
{
public:
    LockHolder()
    {
        m_thread = std::thread(
            [this]
            {
                m_bTaken = MinidumpLock_TryEnter();
                m_bReady = true;
                while (!m_bRelease)
                    std::this_thread::yield();
                if (m_bTaken) MinidumpLock_Leave();
            });
        while (!m_bReady)
            std::this_thread::yield();
    }
    ~LockHolder()
    {
        m_bRelease = true;
        m_thread.join();
    }
    bool Taken() const { return m_bTaken; }

private:
    std::thread m_thread;
    std::atomic<bool> m_bTaken{false}, m_bReady{false}, m_bRelease{false};
};
} // namespace

TEST(MinidumpLockConcurrency, RecursiveForTheHolderClosedToOthers)
{
    ASSERT_TRUE(MinidumpLock_TryEnter());
    EXPECT_TRUE(MinidumpLock_TryEnter());
    EXPECT_FALSE(IsDumpBeingWritten());
    bool bOtherGot = true, bOtherSeesWriting = false;
    std::thread other(
        [&]
        {
            bOtherGot = MinidumpLock_TryEnter();
            bOtherSeesWriting = IsDumpBeingWritten();
        });
    other.join();
    EXPECT_FALSE(bOtherGot);
    EXPECT_TRUE(bOtherSeesWriting);

    SetWritingMinidump(true);
    EXPECT_TRUE(IsDumpBeingWritten());
    ClearWritingMinidump();
    EXPECT_FALSE(IsDumpBeingWritten());
    MinidumpLock_Leave();
    MinidumpLock_Leave();

    // Once free, a bounded wait gets it at once.
    std::thread after(
        [&]
        {
            bOtherGot = MinidumpLock_EnterBounded();
            if (bOtherGot) MinidumpLock_Leave();
        });
    after.join();
    EXPECT_TRUE(bOtherGot);
}

TEST(MinidumpLockConcurrency, BusyLockSkipsTheDumpButNotTheText)
{
    static const char s_szFile[] = "busy.cpp";
    AssertDumpRequestFn pfnOld = SetAssertDumpRequestHook(CountDumpRequest);
    g_nDumpRequests = 0;
    std::string out;
    {
        LockHolder holder;
        ASSERT_TRUE(holder.Taken());
        CAPTURE_STDOUT(out, AssertFailed(s_szFile, 1, "busy"));
    }
    EXPECT_EQ("busy.cpp (1) : Assertion Failed: busy\n", out);
    EXPECT_EQ(0, g_nDumpRequests.load());
    // The site was not recorded, so it is dumped once the lock is free.
    CAPTURE_STDOUT(out, AssertFailed(s_szFile, 1, "busy"));
    EXPECT_EQ(1, g_nDumpRequests.load());
    SetAssertDumpRequestHook(pfnOld);
}

TEST(MinidumpLockConcurrency, WritingMarkWithoutTheLockIsReportedOnce)
{
    std::string out;
    {
        LockHolder holder;
        ASSERT_TRUE(holder.Taken());
        CAPTURE_STDOUT(out, {
            SetWritingMinidump(false);
            SetWritingMinidump(false);
            ClearWritingMinidump();
        });
    }
    EXPECT_NE(std::string::npos,
              out.find("Someone called SetWritingMinidump without holding the minidump lock.\n"));
    EXPECT_NE(std::string::npos,
              out.find("Someone called ClearWritingMinidump without holding the minidump lock.\n"));
    EXPECT_EQ(2, (int)std::count(out.begin(), out.end(), '\n')) << out;
    EXPECT_FALSE(IsDumpBeingWritten());
}

namespace
{
void NoDump(const char*, const char*, int, bool, bool) {}

// The child's standard output from here on goes to `path`.
void StdoutTo(const std::string& path)
{
    if (!freopen(path.c_str(), "wb", stdout)) _Exit(3);
}
} // namespace

// Both bounded waits run side by side, about ten seconds in all: an exception
// dump gives up without a dump, a fatal assertion ends the process at once
// (without its exit line).
TEST(MinidumpLockDeathTest, BusyLockIsWaitedForAboutTenSecondsThenGivenUp)
{
    std::string path = TestTempPath("_stdout.txt");
    remove(path.c_str());
    StandInSink sink;
    ASSERT_TRUE(DumpSink_Load());
    LockHolder holder;
    ASSERT_TRUE(holder.Taken());

    uint32_t nDumpWaited = 0;
    std::thread exceptionDump(
        [&]
        {
            uint32_t start = Plat_MSTime();
            WriteExceptionDump(0xC0000005u, nullptr);
            nDumpWaited = Plat_MSTime() - start;
        });
    uint32_t start = Plat_MSTime();
    EXPECT_EXIT(
        {
            StdoutTo(path);
            SetAssertDumpRequestHook(NoDump);
            AssertFailedFatal("held.cpp", 9, "busy");
            _Exit(4);
        },
        testing::ExitedWithCode(1), "");
    uint32_t nAssertWaited = Plat_MSTime() - start;
    exceptionDump.join();

    EXPECT_GE(nAssertWaited, 9500u);
    EXPECT_GE(nDumpWaited, 9500u);
    EXPECT_EQ("held.cpp (9) : Fatal Assertion Failed: busy\n", ReadWholeFile(path));
    EXPECT_EQ(0, sink.Count("faultsink.BeginReport"));
    remove(path.c_str());
}

TEST(MinidumpLockDeathTest, FatalAssertionWhileADumpIsWrittenEndsAtOnce)
{
    std::string path = TestTempPath("_stdout.txt");
    remove(path.c_str());
    EXPECT_EXIT(
        {
            StdoutTo(path);
            SetAssertDumpRequestHook(NoDump);
            // As the dump writer would be: lock held, mark set.
            if (!MinidumpLock_TryEnter()) _Exit(5);
            SetWritingMinidump(true);
            AssertFailedFatal("writing.cpp", 3, "during");
            _Exit(4);
        },
        testing::ExitedWithCode(1), "");
    EXPECT_EQ("writing.cpp (3) : Fatal Assertion Failed: during\n", ReadWholeFile(path));
    remove(path.c_str());
}
