// The error record, the not-implemented calls and the calls with fixed answers.
#include "tests/quern2wrapper/session_test_support.h"

#include "quern2wrapper/include/quern.h"
#include "quern2wrapper/quern_stubs.h"
#include "quern2wrapper/quernerror.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

namespace
{
// A record holding an earlier error, with text behind the first byte.
TQuernError FilledRecord()
{
    TQuernError error;
    memset(&error, 'x', sizeof(error));
    error.failureType = 9;
    error.detailedErrorType = 7;
    error.detailedErrorCode = 8;
    return error;
}

struct StubCase
{
    const char* m_pszName;
    int m_nArgs;
    int m_nRecordArg;
    long long (*m_pfnCall)(TQuernError* pError);
};

// The other arguments get a value that would fault if it were used.
#define STUB_CASE(name, shape, result)                                                             \
    {#name, QUERN_STUB_ARGC_##shape, QUERN_STUB_RECORD_ARG_##shape,                                \
     [](TQuernError* e) -> long long                                                               \
     { return (long long)name(QUERN_STUB_ARGS_##shape(e, (QuernStubArg)0x5A5A5A5A)); }},
const StubCase s_stubs[] = {QUERN_STUB_LIST(STUB_CASE)};
#undef STUB_CASE
} // namespace

TEST(QuernFrameErrorRecord, ClearAndSet)
{
    TQuernError error = FilledRecord();
    QuernClearError(&error);
    EXPECT_EQ(0, error.failureType);
    EXPECT_EQ(0, error.detailedErrorType);
    EXPECT_EQ(0, error.detailedErrorCode);
    EXPECT_EQ(std::string(1, '\0') + std::string(254, 'x'), std::string(error.description, 255))
        << "only the first byte of the text is cleared";

    SetError(&error, "Missing interface", 1);
    EXPECT_EQ(1, error.failureType);
    EXPECT_EQ(std::string("Missing interface") + std::string(255 - 17, '\0'),
              std::string(error.description, 255))
        << "strncpy rules: the rest is zero-filled";

    // A text of 255 bytes or more is cut and not terminated; details stay.
    std::string longText(300, 'L');
    error = FilledRecord();
    SetError(&error, longText.c_str(), "ignored path", 1);
    EXPECT_EQ(1, error.failureType);
    EXPECT_EQ(7, error.detailedErrorType);
    EXPECT_EQ(longText.substr(0, 255), std::string(error.description, 255));

    ClearError(nullptr);
    SetError(nullptr, "no record", 1);
}

TEST(QuernFrameStubs, TableMatchesTheLegacyList)
{
    std::set<std::string> names;
    int byRecordArg[9] = {};
    for (const StubCase& stub : s_stubs)
    {
        EXPECT_TRUE(names.insert(stub.m_pszName).second) << stub.m_pszName;
        ++byRecordArg[stub.m_nRecordArg];
        // Only the record-first call has more arguments than its record position.
        bool bRecordFirst = strcmp(stub.m_pszName, "QuernStartEngineEx") == 0;
        EXPECT_EQ(bRecordFirst ? 3 : stub.m_nRecordArg, stub.m_nArgs) << stub.m_pszName;
    }
    EXPECT_EQ(101u, names.size());
    const int expected[9] = {0, 14, 29, 30, 11, 8, 6, 2, 1};
    for (int i = 1; i <= 8; ++i)
        EXPECT_EQ(expected[i], byRecordArg[i]) << "record at argument " << i;
}

TEST(QuernFrameStubs, EveryStubAnswersUniformly)
{
    for (unsigned char verbose : {0, 1})
    {
        verboseLogging = verbose;
        for (const StubCase& stub : s_stubs)
        {
            SCOPED_TRACE(stub.m_pszName);
            DebugOutputCapture capture;
            TQuernError error = FilledRecord();
            EXPECT_EQ(0, stub.m_pfnCall(&error));
            EXPECT_EQ(1, error.failureType);
            EXPECT_EQ(0, error.detailedErrorType);
            EXPECT_EQ(0, error.detailedErrorCode);
            // The text and its terminator, nothing more.
            EXPECT_EQ(std::string("Wrapper not implemented") + '\0' + "x",
                      std::string(error.description, 25));
            // A null record is skipped; the line is still written.
            EXPECT_EQ(0, stub.m_pfnCall(nullptr));
            std::string line = std::string("Wrapper not implemented:") + stub.m_pszName;
            EXPECT_EQ(std::vector<std::string>({line, line}), capture.Lines());
        }
    }
    verboseLogging = 0;

    TQuernError error = FilledRecord();
    EXPECT_EQ(0, QuernSizeFile64(0x1234, &error));
    EXPECT_EQ(0, QuernTellFile64(0x1234, &error));
    EXPECT_EQ(0, QuernStartEngineEx(&error, 5, 6));
    EXPECT_EQ(1, error.failureType);

    DebugOutputCapture capture;
    QuernWriteMiniDumpFromAssert();
    QuernWriteMiniDumpWithAppID();
    EXPECT_EQ(std::vector<std::string>({"Wrapper not implemented:QuernWriteMiniDumpFromAssert",
                                        "Wrapper not implemented:QuernWriteMiniDumpWithAppID"}),
              capture.Lines());
}

TEST(QuernFrameCallHandles, EveryHandleIsComplete)
{
    DebugOutputCapture capture;
    TQuernError error = FilledRecord();
    EXPECT_EQ(1, QuernBlockingCall(0xDEAD, 5000, &error));
    EXPECT_EQ(0, error.failureType);

    QuernProgress progress;
    memset(&progress, 'p', sizeof(progress));
    error = FilledRecord();
    EXPECT_EQ(1, QuernProcessCall(77, &progress, &error));
    EXPECT_EQ(0, error.failureType);
    EXPECT_EQ(1, progress.valid);
    EXPECT_EQ(100, progress.percentDone);
    EXPECT_EQ(std::string("\0p", 2), std::string(progress.description, 2));
    EXPECT_EQ(1, QuernProcessCall(77, nullptr, &error));

    for (uint32_t value : {0u, 1u, 0xFFFFFFFFu})
    {
        int (*const calls[])(uint32_t, TQuernError*) = {QuernAbortCall, QuernWaitForResources,
                                                        QuernUnmountFilesystem};
        for (auto pfnCall : calls)
        {
            error = FilledRecord();
            EXPECT_EQ(1, pfnCall(value, &error));
            EXPECT_EQ(0, error.failureType);
        }
    }
    QuernLogResourceLoadStarted("a");
    QuernLogResourceLoadFinished("a");
    EXPECT_EQ(0, QuernCreateLogContext("ctx"));
    EXPECT_EQ(0, QuernLog(1, "text"));
    // With verbose logging off, implemented calls are silent.
    EXPECT_TRUE(capture.Lines().empty());
}

TEST(QuernFrameFixedStatus, AnswersWithoutSession)
{
    char buffer[16];
    memset(buffer, '#', sizeof(buffer));
    EXPECT_EQ(1, QuernGetVersion(buffer, 4));
    EXPECT_EQ("1.0.#", std::string(buffer, 5)) << "cut to 4 bytes, no terminator";
    memset(buffer, '#', sizeof(buffer));
    EXPECT_EQ(1, QuernGetVersion(buffer, sizeof(buffer)));
    EXPECT_EQ(std::string("1.0.0.0") + std::string(9, '\0'), std::string(buffer, 16));
    EXPECT_EQ(0, QuernGetVersion(nullptr, 8));
    EXPECT_EQ(0, QuernGetVersion(buffer, 0));

    TQuernError error = FilledRecord();
    uint32_t a = 0, b = 0;
    EXPECT_EQ(1, QuernGetCurrentCellID(&a, &b, &error));
    EXPECT_EQ(0, error.failureType);
    EXPECT_EQ(1u, a);
    EXPECT_EQ(100u, b);
    a = b = 0;
    EXPECT_EQ(1, QuernGetLocalClientVersion(&a, &b, &error));
    EXPECT_EQ(1u, a);
    EXPECT_EQ(1u, b);
    int32_t loggedIn = 0;
    EXPECT_EQ(1, QuernIsLoggedIn(&loggedIn, &error));
    EXPECT_EQ(1, loggedIn);
    QuernOfflineStatus status = {5, 6};
    EXPECT_EQ(1, QuernGetOfflineStatus(&status, &error));
    EXPECT_EQ(0, status.value1 | status.value2);
}

TEST(QuernFrameDebugOutput, FormattedLines)
{
    DebugOutputCapture capture;
    DebugOutputFormatted("QuernOpenFile %s %d", "a.txt", 3);
    ASSERT_EQ(1u, capture.Lines().size());
    EXPECT_EQ("QuernOpenFile a.txt 3", capture.Lines()[0]);

    // Empty or overlong: reported, then written anyway (cut to 4,095).
    for (size_t length : {size_t(0), size_t(5000)})
    {
        capture.Clear();
        DebugOutputFormatted("%s", std::string(length, 'z').c_str());
        const std::vector<std::string> expected = {"platform (543) : Assertion Failed: len > 0\n",
                                                   std::string(length ? 4095 : 0, 'z')};
        EXPECT_EQ(expected, capture.Lines());
    }
}
