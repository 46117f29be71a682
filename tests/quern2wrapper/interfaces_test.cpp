// The slots that reach implemented exports. Each scenario runs twice: once
// through the exports, once through the raw operation table of one interface
// version. Both runs must succeed on their own (the expectations inside the
// scenario) and leave the same trace: results, records, outputs, debugger
// lines and the client stand-in's log.
#include "tests/quern2wrapper/interfaces_test_support.h"
#include "tests/quern2wrapper/files/files_test_support.h"
#include "tests/quern2wrapper/session_test_support.h"

#include "plinth/platform/platform_process.h"
#include "quern2wrapper/include/quern.h"
#include "quern2wrapper/interfaces.h"
#include "quern2wrapper/files/files.h"
#include "quern2wrapper/quernerror.h"
#include "quern2wrapper/session.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace
{
#define IFACE_UNPAREN(...) __VA_ARGS__

// The implemented exports that slots reach (QuernOpenFileEx apart: its slot
// differs between versions).
#define IFACE_TEST_OPS(X)                                                                          \
    X(int, QuernMountAppFilesystem, (TQuernError * e), (e))                                        \
    X(int, QuernUnmountAppFilesystem, (TQuernError * e), (e))                                      \
    X(int, QuernMountFilesystem, (uint32_t d, const char* p, TQuernError* e), (d, p, e))           \
    X(int, QuernUnmountFilesystem, (uint32_t v, TQuernError * e), (v, e))                          \
    X(int, QuernStat, (const char* p, QuernElemInfo* i, TQuernError* e), (p, i, e))                \
    X(int, QuernSetvBuf, (uint32_t h, void* b, uint32_t m, uint32_t s, TQuernError* e),            \
      (h, b, m, s, e))                                                                             \
    X(int, QuernFlushFile, (uint32_t h, TQuernError * e), (h, e))                                  \
    X(uint32_t, QuernOpenFile, (const char* p, const char* m, TQuernError* e), (p, m, e))          \
    X(uint32_t, QuernOpenTmpFile, (TQuernError * e), (e))                                          \
    X(void, QuernClearError, (TQuernError * e), (e))                                               \
    X(int, QuernGetVersion, (char* b, uint32_t s), (b, s))                                         \
    X(int, QuernGetOfflineStatus, (QuernOfflineStatus * s, TQuernError * e), (s, e))               \
    X(int, QuernProcessCall, (uint32_t h, QuernProgress * p, TQuernError * e), (h, p, e))          \
    X(int, QuernAbortCall, (uint32_t h, TQuernError * e), (h, e))                                  \
    X(int, QuernBlockingCall, (uint32_t h, uint32_t t, TQuernError * e), (h, t, e))                \
    X(int, QuernCloseFile, (uint32_t h, TQuernError * e), (h, e))                                  \
    X(uint32_t, QuernReadFile, (void* b, uint32_t s, uint32_t n, uint32_t h, TQuernError* e),      \
      (b, s, n, h, e))                                                                             \
    X(uint32_t, QuernWriteFile,                                                                    \
      (const void* b, uint32_t s, uint32_t n, uint32_t h, TQuernError* e), (b, s, n, h, e))        \
    X(int, QuernGetc, (uint32_t h, TQuernError * e), (h, e))                                       \
    X(int, QuernPutc, (int c, uint32_t h, TQuernError* e), (c, h, e))                              \
    X(int, QuernSeekFile, (uint32_t h, int32_t o, uint32_t w, TQuernError * e), (h, o, w, e))      \
    X(int32_t, QuernTellFile, (uint32_t h, TQuernError * e), (h, e))                               \
    X(int32_t, QuernSizeFile, (uint32_t h, TQuernError * e), (h, e))                               \
    X(uint32_t, QuernFindFirst, (const char* p, uint32_t f, QuernElemInfo* i, TQuernError* e),     \
      (p, f, i, e))                                                                                \
    X(int, QuernFindNext, (uint32_t h, QuernElemInfo * i, TQuernError * e), (h, i, e))             \
    X(int, QuernFindClose, (uint32_t h, TQuernError * e), (h, e))                                  \
    X(int, QuernGetLocalFileCopy, (const char* p, TQuernError* e), (p, e))                         \
    X(int, QuernIsFileImmediatelyAvailable, (const char* p, TQuernError* e), (p, e))               \
    X(int, QuernWaitForResources, (uint32_t v, TQuernError * e), (v, e))                           \
    X(int, QuernStartup, (uint32_t f, TQuernError * e), (f, e))                                    \
    X(int, QuernCleanup, (TQuernError * e), (e))                                                   \
    X(int, QuernIsLoggedIn, (int32_t * p, TQuernError * e), (p, e))                                \
    X(int, QuernCreateLogContext, (const void* p), (p))                                            \
    X(int, QuernLog, (int c, const char* t), (c, t))                                               \
    X(void, QuernLogResourceLoadStarted, (const void* p), (p))                                     \
    X(void, QuernLogResourceLoadFinished, (const void* p), (p))                                    \
    X(int, QuernGetAppStats, (QuernAppStats * s, TQuernError * e), (s, e))                         \
    X(int, QuernGetAppIds, (uint32_t * p, uint32_t n, TQuernError * e), (p, n, e))                 \
    X(int, QuernGetUser, (char* n, uint32_t s, uint32_t* l, QuernGlobalUserId* u, TQuernError* e), \
      (n, s, l, u, e))                                                                             \
    X(int, QuernEnumerateApp, (uint32_t a, QuernApp * p, TQuernError * e), (a, p, e))              \
    X(int, QuernLaunchApp, (uint32_t a, uint32_t i, const char* s, TQuernError* e), (a, i, s, e))  \
    X(int, QuernEnumerateAppDependency,                                                            \
      (uint32_t a, uint32_t i, QuernAppDependency * d, TQuernError * e), (a, i, d, e))             \
    X(int, QuernGetEncryptedUserIDTicket,                                                          \
      (const void* k, uint32_t n, void* t, uint32_t c, uint32_t* l, TQuernError* e),               \
      (k, n, t, c, l, e))                                                                          \
    X(int, QuernGetAppUpdateStats,                                                                 \
      (uint32_t a, uint32_t q, QuernUpdateStats * s, TQuernError * e), (a, q, s, e))               \
    X(int, QuernGetCurrentAppId, (uint32_t * p, TQuernError * e), (p, e))                          \
    X(int, QuernGetLocalClientVersion, (uint32_t * a, uint32_t * b, TQuernError * e), (a, b, e))   \
    X(int, QuernGetCurrentCellID, (uint32_t * a, uint32_t * b, TQuernError * e), (a, b, e))

// Calls the exports themselves.
struct ExportApi
{
    int m_nVersion;
    bool Has(const char* pszExport) const { return SlotOf(pszExport, m_nVersion) >= 0; }
#define IFACE_EXPORT_OP(result, name, params, args)                                                \
    result name params                                                                             \
    {                                                                                              \
        return ::name args;                                                                        \
    }
    IFACE_TEST_OPS(IFACE_EXPORT_OP)
#undef IFACE_EXPORT_OP
    uint32_t QuernOpenFileEx(const char* p, const char* m, uint32_t* s, TQuernError* e)
    {
        return ::QuernOpenFileEx(p, m, s, e);
    }
};

// Calls the slot that the caller-side table gives for each export.
struct SlotApi
{
    int m_nVersion;
    void* m_pObject;
    bool Has(const char* pszExport) const { return SlotOf(pszExport, m_nVersion) >= 0; }

    template <typename R, typename... A> R Call(const char* pszExport, A... args)
    {
        int slot = SlotOf(pszExport, m_nVersion);
        if (slot < 0)
        {
            ADD_FAILURE() << pszExport << " has no slot";
            return R();
        }
        return CallSlot<R, A...>(m_pObject, slot, args...);
    }
#define IFACE_SLOT_OP(result, name, params, args)                                                  \
    result name params                                                                             \
    {                                                                                              \
        return Call<result>(#name, IFACE_UNPAREN args);                                            \
    }
    IFACE_TEST_OPS(IFACE_SLOT_OP)
#undef IFACE_SLOT_OP
    // Version 006 takes two more arguments, in 3rd and 5th place.
    uint32_t QuernOpenFileEx(const char* p, const char* m, uint32_t* s, TQuernError* e)
    {
        if (m_nVersion == 3)
            return Call<uint32_t>("QuernOpenFileEx", p, m, (uintptr_t)0x33, s, (uintptr_t)0x55, e);
        return Call<uint32_t>("QuernOpenFileEx", p, m, s, e);
    }
};

// What a scenario saw, in order.
struct Trace
{
    std::vector<std::string> m_events;
    void Add(const std::string& event) { m_events.push_back(event); }
    void Add(const char* pszWhat, long long value) { Add(pszWhat + (" " + std::to_string(value))); }
    void Record(const char* pszWhat, const TQuernError& error)
    {
        Add(std::string(pszWhat) + " record " + std::to_string(error.failureType) + " " +
            std::to_string(error.detailedErrorType) + " " +
            std::to_string(error.detailedErrorCode) + " \"" +
            std::string(error.description, strnlen(error.description, 16)) + "\"");
    }
    void Bytes(const char* pszWhat, const void* pData, size_t size)
    {
        Add(std::string(pszWhat) + " bytes " + std::string((const char*)pData, size));
    }
};

// The first difference between two runs, or nothing.
void ExpectSameTrace(const Trace& expected, const Trace& actual)
{
    const std::vector<std::string>& e = expected.m_events;
    const std::vector<std::string>& a = actual.m_events;
    for (size_t i = 0; i < e.size() && i < a.size(); ++i)
        if (e[i] != a[i])
        {
            ADD_FAILURE() << "event " << i << ": export \"" << e[i] << "\", slot \"" << a[i]
                          << "\"";
            return;
        }
    EXPECT_EQ(e.size(), a.size()) << "events (export run, slot run)";
}

void Dirty(TQuernError& error)
{
    memset(&error, 'x', sizeof(error));
}

const char* VersionName(int versionIndex)
{
    return kIfaceVersions[versionIndex].m_pszName;
}

template <class Api> Trace FrameScenario(Api& api)
{
    Trace t;
    TQuernError e;
    DebugOutputCapture capture;

    Dirty(e);
    api.QuernClearError(&e);
    t.Record("ClearError", e);
    EXPECT_EQ(0, e.failureType);
    EXPECT_EQ('x', e.description[1]);

    char szVersion[12];
    memset(szVersion, 'x', sizeof(szVersion));
    t.Add("GetVersion", api.QuernGetVersion(szVersion, 4));
    t.Bytes("version", szVersion, 6);
    EXPECT_EQ(0, memcmp(szVersion, "1.0.xx", 6));

    Dirty(e);
    QuernOfflineStatus status = {5, 5};
    t.Add("GetOfflineStatus", api.QuernGetOfflineStatus(&status, &e));
    t.Add("status", status.value1 * 10 + status.value2);
    t.Record("GetOfflineStatus", e);

    QuernProgress progress;
    memset(&progress, 'x', sizeof(progress));
    Dirty(e);
    EXPECT_EQ(1, api.QuernProcessCall(9, &progress, &e));
    t.Add("progress", progress.valid * 1000 + progress.percentDone);
    t.Add("progress text", progress.description[0]);
    t.Record("ProcessCall", e);
    EXPECT_EQ(100, progress.percentDone);
    Dirty(e);
    t.Add("ProcessCall null", api.QuernProcessCall(9, nullptr, &e));
    t.Record("ProcessCall null", e);

    Dirty(e);
    t.Add("AbortCall", api.QuernAbortCall(0xFFFFFFFFu, &e));
    t.Record("AbortCall", e);
    Dirty(e);
    t.Add("UnmountFilesystem", api.QuernUnmountFilesystem(3, &e));
    t.Record("UnmountFilesystem", e);
    Dirty(e);
    t.Add("WaitForResources", api.QuernWaitForResources(4, &e));
    t.Record("WaitForResources", e);
    Dirty(e);
    EXPECT_EQ(1, api.QuernBlockingCall(5, 6, &e));
    t.Record("BlockingCall", e);
    EXPECT_EQ(0, e.failureType);

    int32_t loggedIn = 7;
    Dirty(e);
    t.Add("IsLoggedIn", api.QuernIsLoggedIn(&loggedIn, &e));
    t.Add("logged in", loggedIn);
    t.Record("IsLoggedIn", e);

    t.Add("CreateLogContext", api.QuernCreateLogContext(&status));
    t.Add("Log", api.QuernLog(3, "text"));
    api.QuernLogResourceLoadStarted(&status);
    api.QuernLogResourceLoadFinished(&status);

    for (const char* pszName : {"QuernGetLocalClientVersion", "QuernGetCurrentCellID"})
    {
        if (!api.Has(pszName)) continue;
        uint32_t a = 9, b = 9;
        Dirty(e);
        int result = pszName[8] == 'L' ? api.QuernGetLocalClientVersion(&a, &b, &e)
                                       : api.QuernGetCurrentCellID(&a, &b, &e);
        t.Add(pszName, result);
        t.Add("values", a * 1000 + b);
        t.Record(pszName, e);
        EXPECT_EQ(1, result);
    }
    for (const std::string& line : capture.Lines())
        t.Add("debug " + line);
    return t;
}

// A session against the client stand-in (application 440); the application
// queries; cleanup; a launch with no client to be found.
template <class Api> Trace SessionScenario(Api& api)
{
    Trace t;
    TQuernError e;
    RegisterClient(BinaryPath("quernclient.dll").c_str(), Plat_GetCurrentProcessId());
    StartStandInLog();
    DebugOutputCapture capture;
    verboseLogging = 1;

    Dirty(e);
    EXPECT_EQ(1, api.QuernStartup(0, &e));
    t.Record("Startup", e);
    EXPECT_EQ(440u, g_Session.m_nAppId);
    EXPECT_STREQ("C:\\Games\\Four Forty", g_Session.m_szAppInstallDir);

    QuernAppStats stats;
    memset(&stats, 0xEE, sizeof(stats));
    Dirty(e);
    t.Add("GetAppStats", api.QuernGetAppStats(&stats, &e));
    t.Bytes("stats", &stats, sizeof(stats));
    t.Record("GetAppStats", e);

    uint32_t ids[32] = {};
    Dirty(e);
    EXPECT_EQ(1, api.QuernGetAppIds(ids, 32, &e));
    t.Bytes("ids", ids, sizeof(ids));
    EXPECT_NE(0u, ids[0]);

    char szName[64];
    memset(szName, 'x', sizeof(szName));
    uint32_t nameLength = 99;
    QuernGlobalUserId userId;
    memset(&userId, 0xEE, sizeof(userId));
    Dirty(e);
    t.Add("GetUser", api.QuernGetUser(szName, sizeof(szName), &nameLength, &userId, &e));
    t.Bytes("user", szName, sizeof(szName));
    t.Add("user length", nameLength);
    t.Bytes("user id", &userId, sizeof(userId));
    t.Record("GetUser", e);

    char szTitle[64] = {}, szText2[8] = {}, szText3[8] = {}, szDir[64] = {};
    QuernApp app;
    memset(&app, 0, sizeof(app));
    app.pszTitle = szTitle;
    app.titleCapacity = sizeof(szTitle);
    app.pszText2 = szText2;
    app.text2Capacity = sizeof(szText2);
    app.pszText3 = szText3;
    app.text3Capacity = sizeof(szText3);
    app.pszInstallDir = szDir;
    app.installDirCapacity = sizeof(szDir);
    Dirty(e);
    EXPECT_EQ(1, api.QuernEnumerateApp(ids[0], &app, &e));
    t.Add(std::string("app ") + szTitle + "|" + szText2 + "|" + szText3 + "|" + szDir);
    t.Add("app id", app.appId);
    t.Add("app dependencies", app.dependencyCount);
    t.Record("EnumerateApp", e);

    QuernAppDependency dependency;
    memset(&dependency, 0xEE, sizeof(dependency));
    Dirty(e);
    t.Add("EnumerateAppDependency", api.QuernEnumerateAppDependency(440, 0, &dependency, &e));
    t.Add("depot", dependency.depotId);
    t.Record("EnumerateAppDependency", e);

    unsigned char ticket[QUERN_TICKET_SIZE + 4];
    memset(ticket, 0xEE, sizeof(ticket));
    uint32_t ticketLength = 0;
    Dirty(e);
    t.Add("Ticket",
          api.QuernGetEncryptedUserIDTicket("key", 3, ticket, sizeof(ticket), &ticketLength, &e));
    t.Bytes("ticket", ticket, sizeof(ticket));
    t.Add("ticket length", ticketLength);
    t.Record("Ticket", e);

    QuernUpdateStats update;
    memset(&update, 0xEE, sizeof(update));
    Dirty(e);
    t.Add("GetAppUpdateStats", api.QuernGetAppUpdateStats(440, 1, &update, &e));
    t.Bytes("update", &update, sizeof(update));
    t.Record("GetAppUpdateStats", e);

    if (api.Has("QuernGetCurrentAppId"))
    {
        uint32_t appId = 5;
        Dirty(e);
        EXPECT_EQ(1, api.QuernGetCurrentAppId(&appId, &e));
        EXPECT_EQ(440u, appId);
        t.Record("GetCurrentAppId", e);
    }

    Dirty(e);
    EXPECT_EQ(1, api.QuernCleanup(&e));
    t.Record("Cleanup", e);
    EXPECT_EQ(nullptr, g_Session.m_pApps);

    UnregisterClient();
    Dirty(e);
    t.Add("LaunchApp", api.QuernLaunchApp(440, 1, "-windowed", &e));
    t.Record("LaunchApp", e);

    verboseLogging = 0;
    for (const std::string& line : ReadStandInLog())
        t.Add("client " + line);
    for (const std::string& line : capture.Lines())
        t.Add("debug " + line);
    return t;
}

class InterfaceForward : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ResetStandInEnv();
        SetEnv("QUERN_STANDIN_APPID", "440");
        SetEnv("QUERN_STANDIN_INSTALLDIR_440", "C:\\Games\\Four Forty");
        SetEnv("QUERN_STANDIN_ACCOUNT", "76561197960287930");
        // The first start-up of the process records the working directory;
        // the compared runs must both come later.
        RegisterClient(BinaryPath("quernclient.dll").c_str(), Plat_GetCurrentProcessId());
        TQuernError error;
        QuernStartup(0, &error);
        QuernCleanup(&error);
        UnregisterClient();
    }
    void TearDown() override
    {
        TQuernError error;
        QuernCleanup(&error);
        verboseLogging = 0;
        UnregisterClient();
        ResetStandInEnv();
    }
};

// Disk and pack files, mounting and search, in a scratch folder.
class InterfaceForwardFiles : public FilesTest
{
protected:
    void SetUp() override
    {
        FilesTest::SetUp();
        std::string install = AbsoluteBackslashPath("install");
        m_apps.m_installDirs[0] = install;
        m_apps.m_depots = {3};
        strcpy(g_Session.m_szAppInstallDir, install.c_str());
        WritePack(Path("install/bnds/depot_5"),
                  {{"data/a.txt", "pack text"}, {"data/b.txt", "bee"}, {Path("copy.txt"), "cc"}});
        WritePack(Path("install/bnds/depot_3"), {{"three.txt", "3"}});
    }
    // Everything a scenario run leaves behind goes.
    void Reset()
    {
        UnmountAll();
        std::remove(Path("disk.txt").c_str());
        std::remove(Path("copy.txt").c_str());
        m_apps.m_folderQueries.clear();
    }

    template <class Api> Trace FileScenario(Api& api);
};

template <class Api> Trace InterfaceForwardFiles::FileScenario(Api& api)
{
    Trace t;
    TQuernError e;
    DebugOutputCapture capture;
    verboseLogging = 1;

    Dirty(e);
    EXPECT_EQ(1, api.QuernMountFilesystem(5, "five", &e));
    EXPECT_EQ(1, GetMountTable().Count());
    t.Record("MountFilesystem", e);

    QuernElemInfo info;
    memset(&info, 0xEE, sizeof(info));
    Dirty(e);
    EXPECT_EQ(0, api.QuernStat("data/a.txt", &info, &e));
    EXPECT_EQ(9u, info.size);
    EXPECT_EQ(0, info.isLocal);
    t.Add(std::string("stat ") + info.name + " " + std::to_string(info.lastAccessTime) + " " +
          std::to_string(info.lastModificationTime) + " " + std::to_string(info.creationTime));
    t.Record("Stat", e);
    Dirty(e);
    t.Add("available", api.QuernIsFileImmediatelyAvailable("data/b.txt", &e));
    t.Add("unavailable", api.QuernIsFileImmediatelyAvailable("data/none.txt", &e));
    Dirty(e);
    EXPECT_EQ(1, api.QuernGetLocalFileCopy(Path("copy.txt").c_str(), &e));
    EXPECT_EQ("cc", ReadDiskFile(Path("copy.txt")));

    memset(&info, 0, sizeof(info));
    Dirty(e);
    uint32_t hFind = api.QuernFindFirst("data/*.txt", 1, &info, &e);
    EXPECT_NE(0u, hFind);
    t.Add(std::string("found ") + info.name);
    t.Record("FindFirst", e);
    int next = api.QuernFindNext(hFind, &info, &e);
    t.Add(std::string("next ") + info.name + " " + std::to_string(next));
    t.Add("next at end", api.QuernFindNext(hFind, &info, &e));
    t.Record("FindNext", e);
    t.Add("FindClose", api.QuernFindClose(hFind, &e));

    // A pack file, opened with its size.
    uint32_t size = 77;
    Dirty(e);
    uint32_t hPack = api.QuernOpenFileEx("data/a.txt", "rb", &size, &e);
    EXPECT_NE(0u, hPack & BND_FILE_HANDLE_FLAG);
    EXPECT_EQ(9u, size);
    t.Record("OpenFileEx", e);
    char buffer[16] = {};
    EXPECT_EQ(4u, api.QuernReadFile(buffer, 1, 4, hPack, &e));
    EXPECT_STREQ("pack", buffer);
    EXPECT_EQ(0, api.QuernSeekFile(hPack, -3, 2, &e));
    EXPECT_EQ(6, api.QuernTellFile(hPack, &e));
    EXPECT_EQ(9, api.QuernSizeFile(hPack, &e));
    EXPECT_EQ('e', api.QuernGetc(hPack, &e));
    memset(buffer, 0, sizeof(buffer));
    Dirty(e);
    EXPECT_EQ(2u, api.QuernReadFile(buffer, 1, 10, hPack, &e));
    EXPECT_STREQ("xt", buffer);
    EXPECT_EQ(QUERN_FAILURE_END_OF_FILE, e.failureType);
    EXPECT_EQ(0, api.QuernCloseFile(hPack, &e));
    Dirty(e);
    EXPECT_EQ(0u, api.QuernOpenFile("data/none.txt", "rb", &e));
    EXPECT_EQ(QUERN_FAILURE_NOT_FOUND, e.failureType);

    // A disk file.
    Dirty(e);
    uint32_t hDisk = api.QuernOpenFile(Path("disk.txt").c_str(), "w+", &e);
    EXPECT_NE(0u, hDisk);
    EXPECT_EQ(0u, hDisk & BND_FILE_HANDLE_FLAG);
    t.Record("OpenFile", e);
    EXPECT_EQ(5u, api.QuernWriteFile("hello", 1, 5, hDisk, &e));
    EXPECT_EQ('!', api.QuernPutc('!', hDisk, &e));
    EXPECT_EQ(0, api.QuernFlushFile(hDisk, &e));
    EXPECT_EQ(-1, api.QuernSetvBuf(hDisk, nullptr, 2, 0, &e));
    EXPECT_EQ(6, api.QuernSizeFile(hDisk, &e));
    EXPECT_EQ(0, api.QuernSeekFile(hDisk, 1, 0, &e));
    memset(buffer, 0, sizeof(buffer));
    EXPECT_EQ(5u, api.QuernReadFile(buffer, 1, 5, hDisk, &e));
    EXPECT_STREQ("ello!", buffer);
    EXPECT_EQ(0, api.QuernCloseFile(hDisk, &e));
    EXPECT_EQ("hello!", ReadDiskFile(Path("disk.txt")));

    Dirty(e);
    uint32_t hTemp = api.QuernOpenTmpFile(&e);
    EXPECT_NE(0u, hTemp);
    t.Add("temp", hTemp);
    t.Add("close temp", api.QuernCloseFile(hTemp, &e));

    Dirty(e);
    EXPECT_EQ(1, api.QuernUnmountAppFilesystem(&e));
    EXPECT_EQ(0, GetMountTable().Count());
    t.Record("UnmountAppFilesystem", e);
    Dirty(e);
    EXPECT_EQ(1, api.QuernMountAppFilesystem(&e));
    EXPECT_EQ(1, GetMountTable().Count());
    t.Record("MountAppFilesystem", e);

    verboseLogging = 0;
    for (QuernAppId appId : m_apps.m_folderQueries)
        t.Add("folder query", appId);
    // Search handles are never reused: the runs differ only in that number.
    const std::string findHandle = std::to_string(hFind);
    for (std::string line : capture.Lines())
    {
        size_t at = line.rfind(findHandle);
        bool bHandleLine =
            line.compare(0, 11, "find first ") == 0 || line.compare(0, 11, "find close ") == 0;
        if (bHandleLine && at != std::string::npos) line.replace(at, findHandle.size(), "<handle>");
        t.Add("debug " + line);
    }
    return t;
}
} // namespace

TEST(InterfaceForwardFrame, SlotsMatchTheExports)
{
    for (int v = 0; v < 4; ++v)
    {
        SCOPED_TRACE(VersionName(v));
        ExportApi exports{v};
        SlotApi slots{v, _f(VersionName(v))};
        ASSERT_NE(nullptr, slots.m_pObject);
        Trace expected = FrameScenario(exports);
        Trace actual = FrameScenario(slots);
        ExpectSameTrace(expected, actual);
    }
}

// Slot 46 starts a session exactly as QuernStartup does, in every version.
TEST_F(InterfaceForward, SessionAndQueriesMatchTheExports)
{
    for (int v = 0; v < 4; ++v)
    {
        SCOPED_TRACE(VersionName(v));
        ExportApi exports{v};
        SlotApi slots{v, _f(VersionName(v))};
        ASSERT_NE(nullptr, slots.m_pObject);
        Trace expected = SessionScenario(exports);
        Trace actual = SessionScenario(slots);
        ExpectSameTrace(expected, actual);
    }
}

TEST_F(InterfaceForwardFiles, FileCallsMatchTheExports)
{
    for (int v = 0; v < 4; ++v)
    {
        SCOPED_TRACE(VersionName(v));
        ExportApi exports{v};
        SlotApi slots{v, _f(VersionName(v))};
        ASSERT_NE(nullptr, slots.m_pObject);
        Reset();
        Trace expected = FileScenario(exports);
        Reset();
        Trace actual = FileScenario(slots);
        ExpectSameTrace(expected, actual);
    }
}

// Version 006 takes six arguments at slot 16 and drops the 3rd and 5th.
TEST_F(InterfaceForwardFiles, OpenFileExSlotOf006DropsTwoArguments)
{
    MountPack(Path("install/bnds/depot_5").c_str());
    void* pObject = _f("Quern006");
    ASSERT_NE(nullptr, pObject);
    uint32_t third = 0x33333333u, fifth = 0x55555555u, size = 77;
    TQuernError error;
    Dirty(error);
    uint32_t hFile =
        CallSlot<uint32_t, const char*, const char*, uint32_t*, uint32_t*, uint32_t*, TQuernError*>(
            pObject, 16, "data/b.txt", "rb", &third, &size, &fifth, &error);
    EXPECT_NE(0u, hFile & BND_FILE_HANDLE_FLAG);
    EXPECT_EQ(3u, size);
    EXPECT_EQ(0, error.failureType);
    EXPECT_EQ(0x33333333u, third);
    EXPECT_EQ(0x55555555u, fifth);
    QuernCloseFile(hFile, &error);

    // The record is the 6th argument.
    Dirty(error);
    EXPECT_EQ(0u, (CallSlot<uint32_t, const char*, const char*, uint32_t*, uint32_t*, uint32_t*,
                            TQuernError*>(pObject, 16, "data/none.txt", "rb", &third, &size, &fifth,
                                          &error)));
    EXPECT_EQ(QUERN_FAILURE_NOT_FOUND, error.failureType);
    EXPECT_EQ(0u, size);
}
