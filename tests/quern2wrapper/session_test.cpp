// QuernStartup and QuernCleanup against the client stand-in.
#include "tests/quern2wrapper/session_test_support.h"

#include "plinth/platform/platform_process.h"
#include "quern2wrapper/include/quern.h"
#include "quern2wrapper/quernerror.h"
#include "quern2wrapper/session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace
{
const char kInitFailed[] = "QuernAPI_Init_Internal failed";
const char kNoInstance[] = "[Q_API FAIL] QuernAPI_Init() failed; unable to locate a running "
                           "instance of Quern, or a local quernclient.dll.\n";

class Session : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ResetStandInEnv();
        StartStandInLog();
        RegisterClient(BinaryPath("quernclient.dll").c_str(), Plat_GetCurrentProcessId());
        memset(&m_error, 'x', sizeof(m_error));
    }
    void TearDown() override
    {
        QuernCleanup(&m_error);
        UnregisterClient();
        ResetStandInEnv();
    }

    TQuernError m_error;
};
} // namespace

TEST_F(Session, StartupObtainsEverythingInOrder)
{
    SetEnv("QUERN_STANDIN_APPID", "440");
    SetEnv("QUERN_STANDIN_INSTALLDIR_440", "C:\\Games\\Four Forty");
    DebugOutputCapture capture;
    verboseLogging = 1;
    int result = QuernStartup(0, &m_error);
    verboseLogging = 0;
    ASSERT_EQ(1, result);
    EXPECT_EQ(0, m_error.failureType);
    EXPECT_EQ('\0', m_error.description[0]);
    // The file layer's start-up adds its working-directory line the first
    // time the process records it.
    std::vector<std::string> lines = capture.Lines();
    if (lines.size() == 2 && lines[1].rfind("Current working dir: ", 0) == 0) lines.pop_back();
    EXPECT_EQ(std::vector<std::string>({"QuernStartup"}), lines);
    EXPECT_NE(nullptr, g_Session.m_hClientModule);
    EXPECT_EQ(17, g_Session.m_hPipe);
    EXPECT_EQ(34, g_Session.m_hUser);
    EXPECT_EQ(440u, g_Session.m_nAppId);
    EXPECT_STREQ("C:\\Games\\Four Forty", g_Session.m_szAppInstallDir);
    const std::vector<std::string> expected = {
        "CreateInterface(QuernClient017) -> client",
        "client.OpenPipe() -> 17",
        "client.AttachUser(17) -> 34",
        "client.GetUtilsInterface(17, QuernUtils009) -> utils",
        "client.GetUserInterface(34, 17, QuernUser019) -> user",
        "client.GetAppsInterface(34, 17, QUERNAPPS_INTERFACE_VERSION008) -> apps",
        "utils.GetRunningAppId() -> 440",
        "apps.GetInstallFolder(440, 1024) -> C:\\Games\\Four Forty",
        // The file layer's start-up asks for the installed depots.
        "apps.ListInstalledDepots(440, 64) -> 0",
    };
    EXPECT_EQ(expected, ReadStandInLog());
}

TEST_F(Session, InitFailuresAreNamedOnTheDebuggerOutput)
{
    const std::string client = BinaryPath("quernclient.dll");
    const std::string missing = BinaryPath("no_such_client.dll");
    const struct
    {
        std::string m_library;
        unsigned m_pid;
        std::vector<std::string> m_lines;
    } cases[] = {
        // No registry value: no load was tried, only the last reason is given.
        {"", 0, {kNoInstance}},
        {client,
         kDeadPid,
         {"[Q_API FAIL] QuernAPI_Init() failed; QuernAPI_IsQuernRunning() failed.\n", kNoInstance}},
        {missing,
         Plat_GetCurrentProcessId(),
         {"[Q_API FAIL] QuernAPI_Init() failed; Sys_LoadModule failed to load: " + missing + "\n",
          kNoInstance}},
    };
    for (const auto& test : cases)
    {
        SCOPED_TRACE(test.m_lines.front());
        RegisterClient(test.m_library.empty() ? nullptr : test.m_library.c_str(), test.m_pid);
        DebugOutputCapture capture;
        EXPECT_EQ(0, QuernStartup(0, &m_error));
        EXPECT_EQ(1, m_error.failureType);
        EXPECT_STREQ(kInitFailed, m_error.description);
        EXPECT_EQ(test.m_lines, capture.Lines());
        EXPECT_EQ(nullptr, g_Session.m_pClient);
        EXPECT_EQ(nullptr, g_Session.m_hClientModule);
    }
    EXPECT_TRUE(ReadStandInLog().empty());

    // A factory that answers null is the caller's to report; the library stays
    // loaded until cleanup.
    RegisterClient(client.c_str(), Plat_GetCurrentProcessId());
    SetEnv("QUERN_STANDIN_WITHHOLD", "client");
    DebugOutputCapture capture;
    EXPECT_EQ(0, QuernStartup(0, &m_error));
    EXPECT_STREQ(kInitFailed, m_error.description);
    EXPECT_TRUE(capture.Lines().empty());
    EXPECT_NE(nullptr, g_Session.m_hClientModule);
    QuernCleanup(&m_error);
    EXPECT_EQ(nullptr, g_Session.m_hClientModule);
}

TEST_F(Session, EachMissingInterfaceIsReported)
{
    for (const char* pszWithheld : {"utils", "user", "apps", "userhandle"})
    {
        SCOPED_TRACE(pszWithheld);
        SetEnv("QUERN_STANDIN_WITHHOLD", pszWithheld);
        StartStandInLog();
        EXPECT_EQ(0, QuernStartup(0, &m_error));
        EXPECT_EQ(1, m_error.failureType);
        EXPECT_STREQ("Missing interface", m_error.description);
        // All five were asked for before the check, and no app id was read.
        std::vector<std::string> log = ReadStandInLog();
        ASSERT_EQ(6u, log.size());
        EXPECT_EQ(0u, log[5].find("client.GetAppsInterface("));

        // What was obtained is given back.
        StartStandInLog();
        EXPECT_EQ(1, QuernCleanup(&m_error));
        EXPECT_EQ(2u, ReadStandInLog().size());
    }
}

TEST_F(Session, GameIdFromEnvironment)
{
    SetEnv("QUERN_STANDIN_APPID", "0");
    SetEnv("QuernGameId", "987");
    SetEnv("QUERN_STANDIN_INSTALLDIR_987", "D:\\nine");
    ASSERT_EQ(1, QuernStartup(0, &m_error));
    EXPECT_EQ(987u, g_Session.m_nAppId);
    EXPECT_STREQ("D:\\nine", g_Session.m_szAppInstallDir);
    const std::vector<std::string> log = ReadStandInLog();
    EXPECT_NE(log.end(),
              std::find(log.begin(), log.end(), "apps.GetInstallFolder(987, 1024) -> D:\\nine"));
    // The query asks the client afresh, which knows no id.
    uint32_t appId = 5;
    EXPECT_EQ(1, QuernGetCurrentAppId(&appId, &m_error));
    EXPECT_EQ(0u, appId);

    const struct
    {
        std::string m_value;
        uint32_t m_expected;
    } cases[] = {
        {"  42abc", 42},
        {"+7", 7},
        {"abc", 0},
        {"99999999999", 0xFFFFFFFFu},
        {std::string(250, ' ') + "11111", 11111},
        {std::string(256, '7'), 0},
    };
    for (const auto& test : cases)
    {
        SCOPED_TRACE(test.m_value.size());
        SetEnv("QuernGameId", test.m_value.c_str());
        ASSERT_EQ(1, QuernStartup(0, &m_error));
        EXPECT_EQ(test.m_expected, g_Session.m_nAppId);
        QuernCleanup(&m_error);
    }
}

TEST_F(Session, CleanupGivesBackUserThenPipeOnce)
{
    ASSERT_EQ(1, QuernStartup(0, &m_error));
    StartStandInLog();
    memset(&m_error, 'x', sizeof(m_error));
    EXPECT_EQ(1, QuernCleanup(&m_error));
    EXPECT_EQ(0, m_error.failureType);
    const std::vector<std::string> expected = {"client.DetachUser(17, 34)",
                                               "client.ClosePipe(17) -> 1"};
    EXPECT_EQ(expected, ReadStandInLog());
    EXPECT_EQ(nullptr, g_Session.m_pClient);
    EXPECT_EQ(nullptr, g_Session.m_pUtils);
    EXPECT_EQ(nullptr, g_Session.m_pUser);
    EXPECT_EQ(nullptr, g_Session.m_pApps);
    EXPECT_EQ(nullptr, g_Session.m_hClientModule);
    EXPECT_EQ(17, g_Session.m_hPipe) << "handles are kept";

    // A second cleanup gives nothing back to anyone.
    EXPECT_EQ(1, QuernCleanup(&m_error));
    EXPECT_EQ(expected, ReadStandInLog());
    uint32_t appId = 9;
    EXPECT_EQ(0, QuernGetCurrentAppId(&appId, &m_error));
    EXPECT_EQ(0u, appId);
    EXPECT_EQ(0, m_error.failureType);
}
