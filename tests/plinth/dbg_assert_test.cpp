#include "plinth/dbg.h"
#include "plinth/dbg_internal.h"
#include "plinth/platform/platform_env.h"
#include "tests/plinth/dbg_test_support.h"
#include "tests/plinth/platform_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace
{
struct DumpRequest
{
    std::string m_message;
    const char* m_pszFile;
    int m_nLine;
    bool m_bDump;
    bool m_bForce;
};

std::mutex g_requestsMutex;
std::vector<DumpRequest> g_requests;
bool g_bRaiseNested = false;

void RecordDumpRequest(const char* pszMessage, const char* pszFile, int line, bool bDump,
                       bool bForce)
{
    {
        std::lock_guard<std::mutex> lock(g_requestsMutex);
        g_requests.push_back({pszMessage ? pszMessage : "", pszFile, line, bDump, bForce});
    }
    // The dump writer runs inside the assertion path: what it raises is not reported.
    if (g_bRaiseNested) ReportAssertion("Assertion Failed: nested", false, "nested.cpp", 1, false);
}

class DbgAssert : public testing::Test
{
protected:
    void SetUp() override
    {
        g_requests.clear();
        g_bRaiseNested = false;
        m_pfnOldHook = SetAssertDumpRequestHook(RecordDumpRequest);
    }
    void TearDown() override { SetAssertDumpRequestHook(m_pfnOldHook); }
    AssertDumpRequestFn m_pfnOldHook = nullptr;
};
} // namespace

TEST_F(DbgAssert, TextGoesToDebuggerOutputAndStdoutWithTheSourcePrefix)
{
    static const char s_szFile[] = "C:\\build\\SRC\\plinth\\thing.cpp";
    DebugOutputCapture debugOut;
    std::string out;
    CAPTURE_STDOUT(out, ReportAssertion("Assertion Failed: a == b", false, s_szFile, 42, true));
    const char* pszExpected = "\\SRC\\plinth\\thing.cpp (42) : Assertion Failed: a == b\n";
    EXPECT_EQ(pszExpected, out);
    ASSERT_EQ(1u, debugOut.Calls().size());
    EXPECT_EQ(pszExpected, debugOut.Calls()[0]);
    // The dump request gets the untouched message, site and flag.
    ASSERT_EQ(1u, g_requests.size());
    EXPECT_EQ("Assertion Failed: a == b", g_requests[0].m_message);
    EXPECT_EQ(s_szFile, g_requests[0].m_pszFile);
    EXPECT_EQ(42, g_requests[0].m_nLine);
    EXPECT_TRUE(g_requests[0].m_bDump);
    EXPECT_FALSE(g_requests[0].m_bForce);
}

TEST_F(DbgAssert, PathWithoutTheSrcMarkerIsKeptWhole)
{
    static const char s_szFile[] = "..\\trestle\\source\\x.cpp";
    std::string out;
    CAPTURE_STDOUT(out, AssertFailed(s_szFile, 7, "p != NULL"));
    EXPECT_EQ("..\\trestle\\source\\x.cpp (7) : Assertion Failed: p != NULL\n", out);
}

TEST_F(DbgAssert, ConvenienceFormsCutTheirTextAt255Characters)
{
    static const char s_szFile[] = "conv.cpp";
    std::string longExpr(400, 'e');
    std::string out;
    CAPTURE_STDOUT(out, {
        AssertFailed(s_szFile, 1, longExpr.c_str());
        AssertMsgFailed(false, s_szFile, 2, "value %d of %s", 3, "x");
    });
    std::string first = "conv.cpp (1) : Assertion Failed: " +
                        longExpr.substr(0, 255 - strlen("Assertion Failed: ")) + "\n";
    EXPECT_EQ(first + "conv.cpp (2) : value 3 of x\n", out);
}

TEST_F(DbgAssert, AssertionInsideTheAssertionPathIsSilent)
{
    static const char s_szFile[] = "outer.cpp";
    g_bRaiseNested = true;
    DebugOutputCapture debugOut;
    std::string out;
    CAPTURE_STDOUT(out, ReportAssertion("Assertion Failed: outer", false, s_szFile, 3, false));
    EXPECT_EQ("outer.cpp (3) : Assertion Failed: outer\n", out);
    EXPECT_EQ(1u, debugOut.Calls().size());
    ASSERT_EQ(1u, g_requests.size());

    // The counter came back down: the next assertion is reported again.
    g_bRaiseNested = false;
    CAPTURE_STDOUT(out, ReportAssertion("Assertion Failed: again", false, s_szFile, 4, false));
    EXPECT_EQ("outer.cpp (4) : Assertion Failed: again\n", out);
}

TEST_F(DbgAssert, EachSiteRequestsOneDumpKeyedByNamePointerAndLine)
{
    static const char s_szFile[] = "site.cpp";
    static const char s_szSameText[] = "site.cpp";
    std::string out;
    CAPTURE_STDOUT(out, {
        AssertFailed(s_szFile, 10, "x");
        AssertFailed(s_szFile, 10, "x");
        AssertFailed(s_szFile, 11, "x");
        AssertFailed(s_szSameText, 10, "x");
    });
    ASSERT_EQ(3u, g_requests.size());
    EXPECT_EQ(10, g_requests[0].m_nLine);
    EXPECT_EQ(11, g_requests[1].m_nLine);
    EXPECT_EQ(s_szSameText, g_requests[2].m_pszFile);
    // Every hit is still written.
    EXPECT_EQ(4, (int)std::count(out.begin(), out.end(), '\n'));
}

TEST_F(DbgAssert, TooLongAssertionTextIsDroppedButStillCounted)
{
    static const char s_szFile[] = "long.cpp";
    std::string huge(6000, 'z');
    DebugOutputCapture debugOut;
    std::string out;
    CAPTURE_STDOUT(out, ReportAssertion(huge.c_str(), false, s_szFile, 5, false));
    EXPECT_EQ("", out);
    EXPECT_EQ("", debugOut.Text());
    EXPECT_EQ(1u, g_requests.size());
}

namespace
{
std::atomic<int> g_nBreaks{0};

void CountBreak(void*)
{
    ++g_nBreaks;
}
} // namespace

TEST_F(DbgAssert, DontBreakOnAssertKeepsTheDebuggerOut)
{
    static const char s_szFile[] = "dbg.cpp";
    // Off the main thread an attached debugger alone decides: no dialog.
    const struct
    {
        const char* m_pszValue; // null: unset
        int m_nBreaks;
    } cases[] = {{nullptr, 1}, {"1", 0}, {"", 0}};
    Plat_SetDebuggerStandIn(&CountBreak, nullptr);
    for (const auto& c : cases)
    {
        Plat_SetEnvironmentVariable("DONT_BREAK_ON_ASSERT", c.m_pszValue);
        g_nBreaks = 0;
        std::string out;
        CAPTURE_STDOUT(out, std::thread([] { AssertFailed(s_szFile, 5, "x"); }).join());
        EXPECT_EQ(c.m_nBreaks, g_nBreaks.load()) << (c.m_pszValue ? c.m_pszValue : "unset");
        EXPECT_EQ("dbg.cpp (5) : Assertion Failed: x\n", out);
    }
    Plat_SetEnvironmentVariable("DONT_BREAK_ON_ASSERT", nullptr);
    Plat_SetDebuggerStandIn(nullptr, nullptr);
    // With a debugger attached no dump is asked for.
    EXPECT_EQ(0u, g_requests.size());
}

TEST(DbgAssertThreads, MainThreadIsTheLoadingThread)
{
    EXPECT_TRUE(IsMainThread());
    bool bOtherIsMain = true;
    bool bOtherBreaks = true;
    std::thread worker(
        [&]
        {
            bOtherIsMain = IsMainThread();
            // Off the main thread only an attached debugger makes it break.
            bOtherBreaks = ShouldBreakOnAssert("w.cpp", 1, "x");
        });
    worker.join();
    EXPECT_FALSE(bOtherIsMain);
    EXPECT_FALSE(bOtherBreaks);
}

TEST(DbgAssertConcurrency, AssertionsOnAllThreadsAreReportedWhole)
{
    static const char s_szFile[] = "conc.cpp";
    const int kThreads = 4, kPerThread = 50;
    std::string out;
    CAPTURE_STDOUT(out, {
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t)
        {
            threads.emplace_back(
                [t]
                {
                    for (int i = 0; i < kPerThread; ++i)
                        AssertFailed(s_szFile, t * 1000 + i, "concurrent");
                });
        }
        for (std::thread& thread : threads)
            thread.join();
    });
    std::set<int> lines;
    size_t pos = 0;
    int nLines = 0;
    while (pos < out.size())
    {
        size_t eol = out.find('\n', pos);
        ASSERT_NE(std::string::npos, eol);
        std::string line = out.substr(pos, eol - pos);
        int n = -1;
        char szTail[64] = {};
        ASSERT_EQ(2, sscanf(line.c_str(), "conc.cpp (%d) : Assertion Failed: %63s", &n, szTail))
            << line;
        EXPECT_STREQ("concurrent", szTail);
        lines.insert(n);
        ++nLines;
        pos = eol + 1;
    }
    EXPECT_EQ(kThreads * kPerThread, nLines);
    EXPECT_EQ((size_t)(kThreads * kPerThread), lines.size());
}

namespace
{
void NoDump(const char*, const char*, int, bool, bool) {}
} // namespace

TEST(DbgAssertDeathTest, FatalAssertionWritesBothLinesAndExitsWithCode1)
{
    std::string path = TestTempPath("_stdout.txt");
    remove(path.c_str());
    EXPECT_EXIT(
        {
            if (!freopen(path.c_str(), "wb", stdout)) _Exit(3);
            SetAssertDumpRequestHook(NoDump);
            AssertFailedFatal("x\\src\\f.cpp", 7, "boom");
            _Exit(4);
        },
        testing::ExitedWithCode(1), "");
    // Assertion texts get their own newline, after the one the exit line has.
    EXPECT_EQ("\\src\\f.cpp (7) : Fatal Assertion Failed: boom\n"
              "\\src\\f.cpp (7) : Fatal assert failed: x\\src\\f.cpp, line 7.  "
              "Application exiting.\n\n",
              ReadWholeFile(path));
    remove(path.c_str());
}

TEST(DbgAssertDeathTest, FatalAssertionWithUnwritableTextStillExits)
{
    std::string huge(6000, 'q');
    EXPECT_EXIT(
        {
            SetAssertDumpRequestHook(NoDump);
            ReportAssertion(huge.c_str(), true, "f.cpp", 1, false);
            _Exit(4);
        },
        testing::ExitedWithCode(1), "");
}
