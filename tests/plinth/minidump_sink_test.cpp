#include "plinth/dbg.h"
#include "plinth/minidump.h"
#include "plinth/minidump_internal.h"
#include "tests/plinth/minidump_test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <string>

namespace
{
std::string ModulePathFor(const char* pszNextTo)
{
    char szOut[300];
    DumpSink_BuildModulePath(pszNextTo, szOut, sizeof(szOut));
    return szOut;
}

std::string BaseName(const char* pszPath)
{
    char szOut[128];
    DumpSink_ExecutableBaseName(pszPath, szOut, sizeof(szOut));
    return szOut;
}

std::string BuildId(const char* pszDate, const char* pszTime)
{
    char szOut[15];
    DumpSink_FormatBuildId(pszDate, pszTime, szOut);
    return szOut;
}
} // namespace

TEST(MinidumpModulePath, BinDirectoryMeansOneUp)
{
    EXPECT_EQ("C:\\game\\faultsink.dll", ModulePathFor("C:\\game\\bin\\host.exe"));
    EXPECT_EQ("C:\\game\\faultsink.dll", ModulePathFor("C:\\game\\BiN\\host.exe"));
    EXPECT_EQ("C:\\game\\faultsink.dll", ModulePathFor("C:\\game\\host.exe"));
    // Only a directory named exactly bin moves up.
    EXPECT_EQ("C:\\game\\robin\\faultsink.dll", ModulePathFor("C:\\game\\robin\\host.exe"));
    EXPECT_EQ("C:\\bin\\x\\faultsink.dll", ModulePathFor("C:\\bin\\x\\host.exe"));
    // No usable separator: the bare name, found by the loader's search.
    EXPECT_EQ("faultsink.dll", ModulePathFor("host.exe"));
    EXPECT_EQ("faultsink.dll", ModulePathFor("\\host.exe"));
    EXPECT_EQ("faultsink.dll", ModulePathFor(""));
    // Forward slashes are turned around.
    EXPECT_EQ("\\opt\\game\\faultsink.dll", ModulePathFor("/opt/game/bin/host"));
}

TEST(MinidumpModulePath, KeptWithinMaxPath)
{
    std::string longDir = "C:\\" + std::string(300, 'd') + "\\host.exe";
    std::string path = ModulePathFor(longDir.c_str());
    EXPECT_EQ(259u, path.size());
    EXPECT_EQ("C:\\ddd", path.substr(0, 6));
}

TEST(MinidumpTexts, BaseNameAndBuildId)
{
    EXPECT_EQ("mygame", BaseName("C:\\Games\\MyGame.Final.EXE"));
    EXPECT_EQ("hl", BaseName("HL.exe"));
    EXPECT_EQ("", BaseName("C:\\dir\\"));

    EXPECT_EQ("20261208185649", BuildId("Dec  8 2026", "18:56:49"));
    EXPECT_EQ("20010115010203", BuildId("jan 15 2001", "01:02:03"));
    std::string own = DumpSink_BuildId();
    ASSERT_EQ(14u, own.size());
    EXPECT_EQ(std::string::npos, own.find_first_not_of("0123456789"));
}

TEST(MinidumpSink, AssertDumpCallOrderWithoutInfoRecord)
{
    StandInSink sink("Host.Game.exe");
    std::string err;
    testing::internal::CaptureStderr();
    WriteDumpOnAssert("Assertion Failed: x > 0", "src\\thing.cpp", 42, true, false);
    err = testing::internal::GetCapturedStderr();
    EXPECT_EQ("Assert( Assertion Failed: x > 0 ):src\\thing.cpp:42\n\n", err);

    std::string buildId = DumpSink_BuildId();
    std::vector<std::string> expected = {
        "faultsink.CreateInterface(faultsink002, null) -> sink",
        "faultsink.GetInfoRecord() -> null",
        "faultsink.BeginReport() -> 7",
        "faultsink.DescribeReport(7, host, 1.0, " + buildId + ", 1, 0, 0)",
        "faultsink.SetExtraValues(0, 0)",
        "faultsink.SetComment(Assert( Assertion Failed: x > 0 ):src\\thing.cpp:42\\n)",
        "faultsink.WriteDump(7, 0x00000000, null)",
        "faultsink.SetComment(null)",
        "faultsink.EndReport(7)",
    };
    EXPECT_EQ(expected, sink.Lines());
    EXPECT_NE(std::string::npos, std::string(DumpSink_ModulePath()).find("faultsink.dll"));
    EXPECT_FALSE(IsDumpBeingWritten());
}

TEST(MinidumpSink, InfoRecordNamesAppAndVersionAndNoEndForHandleZero)
{
    StandInSink sink;
    Plat_SetEnvironmentVariable("QUERN_FAULTSINK_INFO", "440,12,5,6");
    Plat_SetEnvironmentVariable("QUERN_FAULTSINK_REPORT", "0");
    testing::internal::CaptureStderr();
    WriteDumpOnAssert("m", "f", 1, false, true);
    testing::internal::GetCapturedStderr();
    std::vector<std::string> lines = sink.Lines();
    ASSERT_EQ(8u, lines.size());
    EXPECT_EQ("faultsink.GetInfoRecord() -> {440, 12, 5, 6}", lines[1]);
    EXPECT_EQ("faultsink.DescribeReport(0, 440, 12, " + std::string(DumpSink_BuildId()) +
                  ", 0, 0, 0)",
              lines[3]);
    EXPECT_EQ("faultsink.SetExtraValues(5, 6)", lines[4]);
    EXPECT_EQ("faultsink.SetComment(null)", lines[7]);
    EXPECT_EQ(0, sink.Count("faultsink.EndReport"));
}

TEST(MinidumpSink, LoadedOnceAndMissingModuleIsSilent)
{
    {
        StandInSink sink;
        EXPECT_TRUE(DumpSink_Load());
        EXPECT_TRUE(DumpSink_Load());
        EXPECT_EQ(1, sink.Count("faultsink.CreateInterface"));
    }
    // The helper left a path without a module behind.
    testing::internal::CaptureStderr();
    EXPECT_FALSE(DumpSink_Load());
    WriteDumpOnAssert("m", "f", 1, false, true);
    EXPECT_EQ("", testing::internal::GetCapturedStderr());
    EXPECT_EQ(nullptr, DumpSink_Get());
}

TEST(MinidumpAssertDump, OneDumpPerIntervalUnlessForced)
{
    StandInSink sink;
    std::string out;
    testing::internal::CaptureStderr();
    CAPTURE_STDOUT(out, {
        ReportAssertion("Assertion Failed: first", false, "minidump_sink_test_a", __LINE__, false);
        ReportAssertion("Assertion Failed: second", false, "minidump_sink_test_b", __LINE__, false);
    });
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(1, sink.Count("faultsink.WriteDump"));
    EXPECT_EQ(1, sink.Count("faultsink.SetComment(Assert( Assertion Failed: first )"));
    uint32_t now = (uint32_t)time(nullptr);
    EXPECT_GE(MinidumpGetLastAssertDumpTime() + 2, now);

    // Forced (fatal) requests ignore the interval.
    testing::internal::CaptureStderr();
    WriteDumpOnAssert("Fatal assert", "f", 3, false, true);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(2, sink.Count("faultsink.WriteDump"));
}

TEST(MinidumpAssertDumpDeathTest, FatalAssertionDumpedInsideInterval)
{
    StandInSink sink;
    MinidumpSetLastAssertDumpTime((uint32_t)time(nullptr));
    EXPECT_EXIT(ReportAssertion("Fatal Assertion Failed: boom", true, "minidump_sink_test_fatal",
                                __LINE__, false),
                testing::ExitedWithCode(1), "");
    std::vector<std::string> lines = sink.Lines();
    EXPECT_EQ(1, sink.Count("faultsink.WriteDump(7, 0x00000000, null)"));
    EXPECT_EQ(1, sink.Count("faultsink.SetComment(Assert( Fatal Assertion Failed: boom )"));
}

TEST(MinidumpAssertDump, SkippedWhileLockBusyOrDumpInProgress)
{
    StandInSink sink;
    ASSERT_TRUE(MinidumpLock_TryEnter());
    SetWritingMinidump(true);
    WriteDumpOnAssert("m", "f", 1, false, true);
    ClearWritingMinidump();
    MinidumpLock_Leave();
    EXPECT_EQ(0, sink.Count("faultsink.BeginReport"));
}
