// QuernStartup and QuernCleanup against the client stand-in.
#include "tests/quern2wrapper/session_test_support.h"

#include "plinth/platform/platform_modules.h"
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
const char kNotRunning[] =
    "[Q_API FAIL] QuernAPI_Init() failed; QuernAPI_IsQuernRunning() failed.\n";
// What cleanup gives back to the stand-in, user handle first.
const std::vector<std::string> kReleased = {"client.DetachUser(17, 34)",
                                            "client.ClosePipe(17) -> 1"};

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
        {client, kDeadPid, {kNotRunning, kNoInstance}},
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
        const std::string what = pszWithheld;
        const bool bNoUser = what == "userhandle";
        const std::string user = bNoUser ? "0" : "34";
        auto answer = [&](const char* pszName)
        { return what == pszName ? std::string("null") : std::string(pszName); };
        const std::vector<std::string> expected = {
            "CreateInterface(QuernClient017) -> client",
            "client.OpenPipe() -> 17",
            "client.AttachUser(17) -> " + user,
            "client.GetUtilsInterface(17, QuernUtils009) -> " + answer("utils"),
            "client.GetUserInterface(" + user + ", 17, QuernUser019) -> " + answer("user"),
            "client.GetAppsInterface(" + user + ", 17, QUERNAPPS_INTERFACE_VERSION008) -> " +
                answer("apps"),
        };
        EXPECT_EQ(expected, ReadStandInLog());

        // What was obtained is given back.
        StartStandInLog();
        EXPECT_EQ(1, QuernCleanup(&m_error));
        const std::vector<std::string> released = {"client.DetachUser(17, " + user + ")",
                                                   "client.ClosePipe(17) -> 1"};
        EXPECT_EQ(released, ReadStandInLog());
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
        // A minus sign negates modulo 2^32; an overflow saturates whatever the sign.
        {"-5", 4294967291u},
        {"-99999999999", 0xFFFFFFFFu},
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
    EXPECT_EQ(kReleased, ReadStandInLog());
    EXPECT_EQ(nullptr, g_Session.m_pClient);
    EXPECT_EQ(nullptr, g_Session.m_pUtils);
    EXPECT_EQ(nullptr, g_Session.m_pUser);
    EXPECT_EQ(nullptr, g_Session.m_pApps);
    EXPECT_EQ(nullptr, g_Session.m_hClientModule);
    EXPECT_EQ(17, g_Session.m_hPipe) << "handles are kept";

    // A second cleanup gives nothing back to anyone.
    EXPECT_EQ(1, QuernCleanup(&m_error));
    EXPECT_EQ(kReleased, ReadStandInLog());
    uint32_t appId = 9;
    EXPECT_EQ(0, QuernGetCurrentAppId(&appId, &m_error));
    EXPECT_EQ(0u, appId);
    EXPECT_EQ(0, m_error.failureType);
}

TEST_F(Session, RepeatedStartupReleasesTheEarlierSession)
{
    const std::string client = BinaryPath("quernclient.dll");
    StartStandInLog();
    ASSERT_EQ(1, QuernStartup(0, &m_error));
    const std::vector<std::string> first = ReadStandInLog();

    // The earlier pipe and user are given back before the client is asked anew.
    StartStandInLog();
    ASSERT_EQ(1, QuernStartup(0, &m_error));
    std::vector<std::string> expected = kReleased;
    expected.insert(expected.end(), first.begin(), first.end());
    EXPECT_EQ(expected, ReadStandInLog());

    // The client has gone: the new attempt answers for itself, with nothing
    // of the earlier session left to run on.
    RegisterClient(client.c_str(), kDeadPid);
    StartStandInLog();
    DebugOutputCapture capture;
    memset(&m_error, 'x', sizeof(m_error));
    EXPECT_EQ(0, QuernStartup(0, &m_error));
    EXPECT_EQ(1, m_error.failureType);
    EXPECT_STREQ(kInitFailed, m_error.description);
    EXPECT_EQ(std::vector<std::string>({kNotRunning, kNoInstance}), capture.Lines());
    EXPECT_EQ(kReleased, ReadStandInLog());
    EXPECT_EQ(nullptr, g_Session.m_pClient);
    EXPECT_EQ(nullptr, g_Session.m_pApps);
    EXPECT_EQ(nullptr, g_Session.m_hClientModule);
    uint32_t appId = 9;
    EXPECT_EQ(0, QuernGetCurrentAppId(&appId, &m_error));

    // Nothing is given back twice, and no reference to the library is left.
    StartStandInLog();
    EXPECT_EQ(1, QuernCleanup(&m_error));
    EXPECT_TRUE(ReadStandInLog().empty());
    EXPECT_EQ(nullptr, Plat_GetModuleHandleW(client.c_str()));
}
