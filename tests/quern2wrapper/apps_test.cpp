// Application and account queries against the client stand-in, and against a
// misbehaving apps interface.
#include "tests/quern2wrapper/session_test_support.h"

#include "plinth/platform/platform_process.h"
#include "quern2wrapper/apps.h"
#include "quern2wrapper/apptable.h"
#include "quern2wrapper/depotappmap.h"
#include "quern2wrapper/quernerror.h"
#include "quern2wrapper/session.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace
{
const char* const kAppsEnv[] = {
    "QUERN_STANDIN_APPID",           "QUERN_STANDIN_ACCOUNT",
    "QUERN_STANDIN_INSTALLED",       "QUERN_STANDIN_DEPOTS_440",
    "QUERN_STANDIN_DEPOTS_12345",    "QUERN_STANDIN_DEPOTS_23456",
    "QUERN_STANDIN_INSTALLDIR_440",  "QUERN_STANDIN_INSTALLDIR_12345",
    "QUERN_STANDIN_INSTALLDIR_8600", "QuernUser",
};

class AppsSession : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ResetStandInEnv();
        ClearAppsEnv();
        SetEnv("QUERN_STANDIN_APPID", "440");
        SetEnv("QUERN_STANDIN_INSTALLDIR_440", "C:\\Games\\Four Forty");
        SetEnv("QUERN_STANDIN_INSTALLDIR_12345", "C:\\Games\\Other");
        SetEnv("QUERN_STANDIN_ACCOUNT", "7");
        RegisterClient(BinaryPath("quernclient.dll").c_str(), Plat_GetCurrentProcessId());
        QuernStartup(0, &m_error);
        ASSERT_NE(nullptr, g_Session.m_pApps);
        ASSERT_NE(nullptr, g_Session.m_pUser);
        StartStandInLog();
        memset(&m_error, 'x', sizeof(m_error));
    }
    void TearDown() override
    {
        verboseLogging = 0;
        QuernCleanup(&m_error);
        UnregisterClient();
        ResetStandInEnv();
        ClearAppsEnv();
    }
    static void ClearAppsEnv()
    {
        for (const char* pszName : kAppsEnv)
            SetEnv(pszName, nullptr);
    }
    void ExpectClearRecord()
    {
        EXPECT_EQ(0, m_error.failureType);
        EXPECT_EQ(0, m_error.detailedErrorType);
        EXPECT_EQ(0, m_error.detailedErrorCode);
        EXPECT_EQ('\0', m_error.description[0]);
    }

    TQuernError m_error;
};

// Caller-side buffers of one QuernApp, pre-filled with a marker.
struct AppBuffers
{
    char m_title[80];
    char m_text2[8];
    char m_text3[8];
    char m_dir[64];
    QuernApp m_app;

    explicit AppBuffers(uint32_t titleCapacity = 64)
    {
        memset(this, '#', sizeof(*this));
        m_app.pszTitle = m_title;
        m_app.titleCapacity = titleCapacity;
        m_app.pszText2 = m_text2;
        m_app.text2Capacity = sizeof(m_text2);
        m_app.pszText3 = m_text3;
        m_app.text3Capacity = sizeof(m_text3);
        m_app.pszInstallDir = m_dir;
        m_app.installDirCapacity = sizeof(m_dir);
    }
};
} // namespace

TEST_F(AppsSession, EnumerateAppFillsTheRecord)
{
    SetEnv("QUERN_STANDIN_DEPOTS_12345", "101,102,103");
    AppBuffers buffers;
    DebugOutputCapture capture;
    verboseLogging = 1;
    EXPECT_EQ(1, QuernEnumerateApp(12345, &buffers.m_app, &m_error));
    verboseLogging = 0;
    ExpectClearRecord();

    // strncpy rules: the rest of the capacity is zero-filled, nothing beyond.
    EXPECT_STREQ("Quern App 12345", buffers.m_title);
    EXPECT_EQ(std::string(64 - 15, '\0'), std::string(buffers.m_title + 15, 64 - 15));
    EXPECT_EQ('#', buffers.m_title[64]);
    EXPECT_EQ(std::string("1\0\0\0\0\0\0\0", 8), std::string(buffers.m_text2, 8));
    EXPECT_EQ(std::string("1\0\0\0\0\0\0\0", 8), std::string(buffers.m_text3, 8));
    EXPECT_STREQ("C:\\Games\\Other", buffers.m_dir);
    EXPECT_EQ(12345u, buffers.m_app.appId);
    for (uint32_t count : buffers.m_app.fixedCounts)
        EXPECT_EQ(1u, count);
    EXPECT_EQ(0u, buffers.m_app.zeroCount);
    EXPECT_EQ(1u, buffers.m_app.oneCount);
    EXPECT_EQ(3u, buffers.m_app.dependencyCount);

    EXPECT_EQ(std::vector<std::string>({"QuernEnumerateApp appid 12345, dependencies 3"}),
              capture.Lines());
    const std::vector<std::string> expected = {
        "apps.GetInstallFolder(12345, 64) -> C:\\Games\\Other",
        "apps.ListInstalledDepots(12345, 32) -> 3",
    };
    EXPECT_EQ(expected, ReadStandInLog());
}

TEST_F(AppsSession, EnumerateAppTitles)
{
    AppBuffers full;
    EXPECT_EQ(1, QuernEnumerateApp(8600, &full.m_app, &m_error));
    EXPECT_STREQ(BuiltInAppTable[0].m_szTitle, full.m_title);

    // A title that does not fit is cut without a terminator.
    AppBuffers small(3);
    EXPECT_EQ(1, QuernEnumerateApp(8600, &small.m_app, &m_error));
    EXPECT_EQ(0, memcmp(BuiltInAppTable[0].m_szTitle, small.m_title, 3));
    EXPECT_EQ('#', small.m_title[3]);
}

TEST_F(AppsSession, LastEnumerationOwnsTheDepot)
{
    SetEnv("QUERN_STANDIN_DEPOTS_12345", "5101,5102,5103");
    SetEnv("QUERN_STANDIN_DEPOTS_23456", "5102");
    AppBuffers buffers;
    ASSERT_EQ(1, QuernEnumerateApp(12345, &buffers.m_app, &m_error));
    for (QuernDepotId depot : {5101u, 5102u, 5103u})
    {
        QuernAppId owner = 0;
        EXPECT_TRUE(DepotAppMap_Find(depot, &owner));
        EXPECT_EQ(12345u, owner);
    }
    ASSERT_EQ(1, QuernEnumerateApp(23456, &buffers.m_app, &m_error));
    EXPECT_EQ(1u, buffers.m_app.dependencyCount);
    QuernAppId owner = 0;
    EXPECT_TRUE(DepotAppMap_Find(5102, &owner));
    EXPECT_EQ(23456u, owner);
    EXPECT_TRUE(DepotAppMap_Find(5101, &owner));
    EXPECT_EQ(12345u, owner);
    owner = 99;
    EXPECT_FALSE(DepotAppMap_Find(5999, &owner));
    EXPECT_EQ(99u, owner) << "a miss leaves the out value alone";
}

TEST_F(AppsSession, EnumerateAppDependencyByIndex)
{
    SetEnv("QUERN_STANDIN_DEPOTS_12345", "101,102,103");
    QuernAppDependency dependency;
    memset(&dependency, '#', sizeof(dependency));
    DebugOutputCapture capture;
    verboseLogging = 1;
    EXPECT_EQ(1, QuernEnumerateAppDependency(12345, 1, &dependency, &m_error));
    ExpectClearRecord();
    EXPECT_EQ(102u, dependency.depotId);
    EXPECT_EQ(1u, dependency.present);
    EXPECT_STREQ("C:\\Games\\Other", dependency.installDir) << "the application's folder";

    // Index equal to the count: an empty answer, still a success.
    memset(&dependency, '#', sizeof(dependency));
    EXPECT_EQ(1, QuernEnumerateAppDependency(12345, 3, &dependency, &m_error));
    verboseLogging = 0;
    EXPECT_EQ(0u, dependency.depotId);
    EXPECT_EQ(0u, dependency.present);
    EXPECT_EQ('\0', dependency.installDir[0]);
    EXPECT_EQ('#', dependency.installDir[1]);

    const std::vector<std::string> lines = {"QuernEnumerateAppDependency AppID 12345, depot 102",
                                            "QuernEnumerateAppDependency AppID 12345, depot 0"};
    EXPECT_EQ(lines, capture.Lines());
    const std::vector<std::string> calls = {
        "apps.ListInstalledDepots(12345, 32) -> 3",
        "apps.GetInstallFolder(12345, 255) -> C:\\Games\\Other",
        "apps.ListInstalledDepots(12345, 32) -> 3",
    };
    EXPECT_EQ(calls, ReadStandInLog());
}

TEST_F(AppsSession, AppIdsAndStats)
{
    uint32_t ids[22];
    memset(ids, 0xAB, sizeof(ids));
    EXPECT_EQ(0, QuernGetAppIds(ids, 20, &m_error));
    EXPECT_EQ(1, m_error.failureType);
    EXPECT_EQ(0, m_error.detailedErrorType);
    EXPECT_STREQ("AppID buffer too small", m_error.description);
    EXPECT_EQ(0xABABABABu, ids[0]) << "nothing is written";

    DebugOutputCapture capture;
    verboseLogging = 1;
    EXPECT_EQ(1, QuernGetAppIds(ids, 21, &m_error));
    ExpectClearRecord();
    const uint32_t expected[QUERN_BUILTIN_APP_COUNT] = {
        8600,  8610,  8640,  8641,  8650,  8660,  8690,  44620, 44621, 44630, 44631,
        44650, 44651, 44660, 44661, 44670, 44671, 44680, 44681, 44683, 44711};
    EXPECT_EQ(0, memcmp(expected, ids, sizeof(expected)));
    EXPECT_EQ(0xABABABABu, ids[21]);

    QuernAppStats stats;
    EXPECT_EQ(1, QuernGetAppStats(&stats, &m_error));
    verboseLogging = 0;
    const uint32_t values[10] = {21, 255, 255, 255, 1, 255, 255, 0, 0, 0};
    EXPECT_EQ(0, memcmp(values, &stats, sizeof(values)));
    EXPECT_EQ(std::vector<std::string>({"QuernGetAppIds : 21 apps", "QuernGetAppStats : 21 apps"}),
              capture.Lines());
}

TEST_F(AppsSession, UpdateStats)
{
    SetEnv("QUERN_STANDIN_DEPOTS_440", "441,442");
    SetEnv("QUERN_STANDIN_DEPOTS_12345", "6101");
    SetEnv("QUERN_STANDIN_INSTALLED", "8600");
    QuernUpdateStats stats;

    // A depot never enumerated belongs to the running application.
    DebugOutputCapture capture;
    verboseLogging = 1;
    EXPECT_EQ(1, QuernGetAppUpdateStats(442, 0, &stats, &m_error));
    verboseLogging = 0;
    EXPECT_EQ(0x100000u, stats.totalSize);
    EXPECT_EQ(0x100000u, stats.presentSize);
    EXPECT_EQ(std::vector<std::string>({"QuernGetAppUpdateStats appid 442: 1048576 / 1048576"}),
              capture.Lines());
    EXPECT_EQ(1, QuernGetAppUpdateStats(6101, 0, &stats, &m_error));
    EXPECT_EQ(0u, stats.presentSize);

    // Once enumerated, the depot is looked up in its own application.
    AppBuffers buffers;
    ASSERT_EQ(1, QuernEnumerateApp(12345, &buffers.m_app, &m_error));
    StartStandInLog();
    EXPECT_EQ(1, QuernGetAppUpdateStats(6101, 0, &stats, &m_error));
    EXPECT_EQ(0x100000u, stats.presentSize);
    EXPECT_EQ(std::vector<std::string>({"apps.ListInstalledDepots(12345, 32) -> 1"}),
              ReadStandInLog());

    // Query type 2 asks whether the application is installed.
    StartStandInLog();
    EXPECT_EQ(1, QuernGetAppUpdateStats(8600, 2, &stats, &m_error));
    EXPECT_EQ(0x100000u, stats.presentSize);
    EXPECT_EQ(1, QuernGetAppUpdateStats(8610, 2, &stats, &m_error));
    EXPECT_EQ(0u, stats.presentSize);
    const std::vector<std::string> calls = {"apps.QueryInstalled(8600) -> 1",
                                            "apps.QueryInstalled(8610) -> 0"};
    EXPECT_EQ(calls, ReadStandInLog());

    // Without a session: the fixed total, nothing present, still a success.
    QuernCleanup(&m_error);
    memset(&stats, 0xAB, sizeof(stats));
    EXPECT_EQ(1, QuernGetAppUpdateStats(8600, 2, &stats, &m_error));
    ExpectClearRecord();
    EXPECT_EQ(0x100000u, stats.totalSize);
    EXPECT_EQ(0u, stats.presentSize);
}

TEST_F(AppsSession, GetUser)
{
    char name[16];
    memset(name, '#', sizeof(name));
    uint32_t length = 99;
    QuernGlobalUserId id;
    memset(&id, '#', sizeof(id));

    // Unset: no name, but the id record is filled (account 7 = 3 * 2 + 1).
    EXPECT_EQ(1, QuernGetUser(name, sizeof(name), &length, &id, &m_error));
    ExpectClearRecord();
    EXPECT_EQ(0u, length);
    EXPECT_EQ(0, id.instance);
    EXPECT_EQ(3u, id.number);
    EXPECT_EQ(1u, id.parity);
    EXPECT_EQ(std::string(6, '#'), std::string((const char*)id.unassigned, 6));

    SetEnv("QuernUser", "player");
    DebugOutputCapture capture;
    verboseLogging = 1;
    EXPECT_EQ(1, QuernGetUser(name, sizeof(name), &length, nullptr, &m_error));
    verboseLogging = 0;
    EXPECT_STREQ("player", name);
    EXPECT_EQ(6u, length);
    EXPECT_EQ(std::vector<std::string>({"QuernGetUser: player"}), capture.Lines());

    // Too small a buffer: the size needed, terminator included.
    EXPECT_EQ(1, QuernGetUser(name, 3, &length, nullptr, &m_error));
    EXPECT_EQ(7u, length);
    EXPECT_EQ(1, QuernGetUser(nullptr, 0, &length, nullptr, &m_error));
    EXPECT_EQ(7u, length);

    // After clean-up nobody is logged in.
    QuernCleanup(&m_error);
    length = 99;
    memset(&m_error, 'x', sizeof(m_error));
    EXPECT_EQ(0, QuernGetUser(name, sizeof(name), &length, &id, &m_error));
    ExpectClearRecord();
    EXPECT_EQ(0u, length);
}

TEST_F(AppsSession, EnumerationWithoutAppsInterfaceAsksNobody)
{
    SetEnv("QUERN_STANDIN_DEPOTS_12345", "101");
    QuernCleanup(&m_error);
    StartStandInLog();
    AppBuffers buffers;
    memset(&m_error, 'x', sizeof(m_error));
    EXPECT_EQ(0, QuernEnumerateApp(12345, &buffers.m_app, &m_error));
    ExpectClearRecord();
    EXPECT_EQ('#', buffers.m_title[0]) << "the record is left alone";
    QuernAppDependency dependency;
    memset(&dependency, '#', sizeof(dependency));
    memset(&m_error, 'x', sizeof(m_error));
    EXPECT_EQ(0, QuernEnumerateAppDependency(12345, 0, &dependency, &m_error));
    ExpectClearRecord();
    EXPECT_EQ(0x23232323u, dependency.depotId);
    EXPECT_TRUE(ReadStandInLog().empty());
}

namespace
{
// An apps interface that claims more depots than the array it was given.
class COverstatingApps : public IQuernApps008
{
public:
    uint32_t ListInstalledDepots(QuernAppId, QuernDepotId* pDepots, uint32_t maxDepots) override
    {
        m_nCapacity = maxDepots;
        for (uint32_t i = 0; i < maxDepots; ++i)
            pDepots[i] = 9000 + i;
        return maxDepots + 8;
    }
    uint32_t GetInstallFolder(QuernAppId, char* pBuffer, uint32_t bufferSize) override
    {
        if (bufferSize) pBuffer[0] = '\0';
        return 0;
    }
    bool QueryInstalled(uint32_t) override { return false; }

    uint32_t m_nCapacity = 0;
};

class AppsOverstatingClient : public ::testing::Test
{
protected:
    void SetUp() override { g_Session.m_pApps = &m_apps; }
    void TearDown() override { g_Session.m_pApps = nullptr; }
    COverstatingApps m_apps;
    TQuernError m_error;
};
} // namespace

TEST_F(AppsOverstatingClient, DepotCountIsHeldToTheArray)
{
    AppBuffers buffers;
    EXPECT_EQ(1, QuernEnumerateApp(31337, &buffers.m_app, &m_error));
    EXPECT_EQ(32u, m_apps.m_nCapacity);
    EXPECT_EQ(32u, buffers.m_app.dependencyCount);
    QuernAppId owner = 0;
    EXPECT_TRUE(DepotAppMap_Find(9031, &owner));
    EXPECT_EQ(31337u, owner);
    EXPECT_FALSE(DepotAppMap_Find(9032, &owner));

    QuernAppDependency dependency;
    EXPECT_EQ(1, QuernEnumerateAppDependency(31337, 31, &dependency, &m_error));
    EXPECT_EQ(9031u, dependency.depotId);
    EXPECT_EQ(1, QuernEnumerateAppDependency(31337, 35, &dependency, &m_error));
    EXPECT_EQ(0u, dependency.depotId);
    EXPECT_EQ(0u, dependency.present);

    // The update query scans no further than the array either.
    QuernUpdateStats stats;
    EXPECT_EQ(1, QuernGetAppUpdateStats(9031, 0, &stats, &m_error));
    EXPECT_EQ(0x100000u, stats.presentSize);
    EXPECT_EQ(1, QuernGetAppUpdateStats(9033, 0, &stats, &m_error));
    EXPECT_EQ(0u, stats.presentSize);
}

namespace
{
// A caller's record as raw bytes: filled with a marker, read back at the byte
// offsets callers were built with, never through the declarations.
struct RawRecord
{
    unsigned char m_bytes[512];
    RawRecord() { memset(m_bytes, 0xA5, sizeof(m_bytes)); }
    template <typename T> T* As() { return reinterpret_cast<T*>(m_bytes); }
    uint32_t U32(size_t offset) const
    {
        uint32_t value;
        memcpy(&value, m_bytes + offset, sizeof(value));
        return value;
    }
    uint64_t U64(size_t offset) const
    {
        uint64_t value;
        memcpy(&value, m_bytes + offset, sizeof(value));
        return value;
    }
    void Put32(size_t offset, uint32_t value) { memcpy(m_bytes + offset, &value, sizeof(value)); }
    // Nothing written from `offset` on.
    bool UntouchedFrom(size_t offset) const
    {
        for (size_t i = offset; i < sizeof(m_bytes); ++i)
            if (m_bytes[i] != 0xA5) return false;
        return true;
    }
};
} // namespace

// What the library writes lands at the documented offsets and stops at the
// documented size, in the process the library runs in (32-bit on the
// shipping build).
TEST_F(AppsSession, RecordsAtTheirDocumentedOffsets)
{
    SetEnv("QUERN_STANDIN_DEPOTS_12345", "101,102");
    SetEnv("QUERN_STANDIN_INSTALLED", "101");

    RawRecord error;
    char ticket[8];
    uint32_t ticketLength = 0;
    EXPECT_EQ(0, QuernGetEncryptedUserIDTicket("key", 3, ticket, sizeof(ticket), &ticketLength,
                                               error.As<TQuernError>()));
    EXPECT_EQ(1u, error.U32(0));
    EXPECT_EQ(0u, error.U32(4));
    EXPECT_EQ(0u, error.U32(8));
    EXPECT_STREQ("Ticket buffer too small", (const char*)error.m_bytes + 12);
    EXPECT_TRUE(error.UntouchedFrom(268));

    RawRecord stats;
    EXPECT_EQ(1, QuernGetAppStats(stats.As<QuernAppStats>(), &m_error));
    EXPECT_EQ((uint32_t)QUERN_BUILTIN_APP_COUNT, stats.U32(0));
    EXPECT_TRUE(stats.UntouchedFrom(40));

    RawRecord dependency;
    EXPECT_EQ(1,
              QuernEnumerateAppDependency(12345, 0, dependency.As<QuernAppDependency>(), &m_error));
    EXPECT_EQ(101u, dependency.U32(0));
    EXPECT_EQ(1u, dependency.U32(4));
    EXPECT_STREQ("C:\\Games\\Other", (const char*)dependency.m_bytes + 8);
    EXPECT_TRUE(dependency.UntouchedFrom(8 + 255));

    RawRecord update;
    EXPECT_EQ(1, QuernGetAppUpdateStats(101, 0, update.As<QuernUpdateStats>(), &m_error));
    EXPECT_EQ(0x100000u, update.U64(0));
    EXPECT_TRUE(update.U64(8) == 0 || update.U64(8) == 0x100000u) << update.U64(8);
    EXPECT_TRUE(update.UntouchedFrom(16));

    RawRecord user;
    uint32_t length = 0;
    EXPECT_EQ(1, QuernGetUser(nullptr, 0, &length, user.As<QuernGlobalUserId>(), &m_error));
    EXPECT_EQ(0, user.m_bytes[0] | user.m_bytes[1]);
    EXPECT_EQ(0xA5, user.m_bytes[2]) << "bytes 2 to 7 are never written";
    EXPECT_EQ(3u, user.U32(8));
    EXPECT_EQ(1u, user.U32(12));
    EXPECT_TRUE(user.UntouchedFrom(16));

    // Pointers and capacities alternate: the offsets hold for 32-bit callers.
    if (sizeof(void*) == 4)
    {
        char title[32], text2[4], text3[4], dir[32];
        RawRecord app;
        const uint32_t capacities[4] = {sizeof(title), sizeof(text2), sizeof(text3), sizeof(dir)};
        char* const buffers[4] = {title, text2, text3, dir};
        for (int i = 0; i < 4; ++i)
        {
            app.Put32(8 * i, (uint32_t)(uintptr_t)buffers[i]);
            app.Put32(8 * i + 4, capacities[i]);
        }
        EXPECT_EQ(1, QuernEnumerateApp(12345, app.As<QuernApp>(), &m_error));
        EXPECT_STREQ("Quern App 12345", title);
        EXPECT_STREQ("C:\\Games\\Other", dir);
        EXPECT_EQ(12345u, app.U32(32));
        for (size_t offset = 36; offset < 56; offset += 4)
            EXPECT_EQ(1u, app.U32(offset));
        EXPECT_EQ(0u, app.U32(56));
        EXPECT_EQ(1u, app.U32(60));
        EXPECT_EQ(2u, app.U32(64));
        EXPECT_TRUE(app.UntouchedFrom(68));
    }
}
