// The mount table: configuration, installed depots, the bnds scan and the
// mount exports; QuernStartup ends with the file layer's start-up, against
// the client stand-in, and QuernMountFilesystem follows the depot map.
#include "tests/bndlib/bndlib_test_support.h"
#include "tests/quern2wrapper/files/files_test_support.h"
#include "tests/quern2wrapper/session_test_support.h"

#include "plinth/platform/platform_env.h"
#include "plinth/platform/platform_process.h"
#include "quern2wrapper/depotappmap.h"
#include "quern2wrapper/files/files.h"
#include "quern2wrapper/quernerror.h"
#include "quern2wrapper/session.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

namespace
{
std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return (char)tolower(c); });
    return text;
}

std::string ReadPackText(const char* pszPath)
{
    TQuernError error;
    uint32_t h = QuernOpenFile(pszPath, "rb", &error);
    char buf[64] = {};
    uint32_t n = QuernReadFile(buf, 1, sizeof(buf) - 1, h, &error);
    QuernCloseFile(h, &error);
    return (h & BND_FILE_HANDLE_FLAG) ? std::string(buf, n) : std::string("(not in a pack)");
}

class FilesMount : public FilesTest
{
};
} // namespace

TEST_F(FilesMount, ConfigurationMountsInFileOrderLatestFirst)
{
    WritePack(Path("one"), {{"shared.txt", "one"}, {"only1.txt", "1"}});
    WritePack(Path("two"), {{"shared.txt", "two"}});
    WriteDiskFile("quern_bnds.kvt", "\"bnds\"\n{\n  \"mount\"\n  {\n    \"a\" \"" + Path("one") +
                                        "\"\n    \"b\" \"" + Path("two") +
                                        "\"\n  }\n  \"spewfileio\" \"1\"\n}\n");
    m_apps.m_depots = {5}; // not asked: the configuration names the packs
    WritePack(Path("install/bnds/depot_5"), {{"depot.txt", "5"}});
    m_apps.m_installDirs[0] = Path("install");
    strcpy(g_Session.m_szAppInstallDir, Path("install").c_str());

    DebugOutputCapture capture;
    EXPECT_TRUE(MountDefaultPacks());
    EXPECT_EQ(1, verboseLogging);
    ASSERT_EQ(2, GetMountTable().Count());
    EXPECT_EQ("two", ReadPackText("shared.txt"));
    EXPECT_EQ("1", ReadPackText("only1.txt"));
    EXPECT_EQ("(not in a pack)", ReadPackText("depot.txt"));
    ASSERT_GE(capture.Lines().size(), 2u);
    EXPECT_EQ("Mounting " + Lower(Path("one")) + "_dir.bnd", capture.Lines()[0]);
    EXPECT_EQ("Mounting " + Lower(Path("two")) + "_dir.bnd", capture.Lines()[1]);

    // With packs mounted, start-up returns at once without reading it again.
    WriteDiskFile("quern_bnds.kvt", "\"bnds\" { \"mount\" {");
    EXPECT_EQ(1, QuernMountAppFilesystem(&m_error));
    EXPECT_EQ(2, GetMountTable().Count());
}

TEST_F(FilesMount, ConfigurationMountEntriesThatNameNothing)
{
    // Empty values and blocks mount nothing; an empty "mount" section still
    // stands for the depots and the scan.
    WritePack(Path("one"), {{"only1.txt", "1"}});
    m_apps.m_depots = {5};
    WritePack(Path("install/bnds/depot_5"), {{"depot.txt", "5"}});
    m_apps.m_installDirs[0] = Path("install");
    strcpy(g_Session.m_szAppInstallDir, Path("install").c_str());

    WriteDiskFile("quern_bnds.kvt",
                  "\"bnds\" { \"mount\" { \"a\" \"\" \"b\" { } \"c\" \"" + Path("one") + "\" } }");
    EXPECT_TRUE(MountDefaultPacks());
    EXPECT_EQ(1, GetMountTable().Count());
    EXPECT_EQ("1", ReadPackText("only1.txt"));

    UnmountAll();
    WriteDiskFile("quern_bnds.kvt", "\"bnds\" { \"mount\" { } }");
    EXPECT_TRUE(MountDefaultPacks());
    EXPECT_EQ(0, GetMountTable().Count());
    EXPECT_EQ("(not in a pack)", ReadPackText("depot.txt"));
}

TEST_F(FilesMount, ConfigurationWithoutMountFallsBackToDepots)
{
    WriteDiskFile("quern_bnds.kvt", "\"anything\" { \"spewfileio\" \"true\" }\n");
    std::string install = AbsoluteBackslashPath("install");
    m_apps.m_depots = {5, 6};
    strcpy(g_Session.m_szAppInstallDir, install.c_str());
    WritePack(Path("install/bnds/depot_5"), {{"f.txt", "five"}});
    WritePack(Path("install/bnds/depot_6"), {{"f.txt", "six"}});

    DebugOutputCapture capture;
    EXPECT_TRUE(MountDefaultPacks());
    EXPECT_EQ(1, verboseLogging);
    EXPECT_EQ(2, GetMountTable().Count());
    EXPECT_EQ("six", ReadPackText("f.txt"));
    ASSERT_GE(capture.Lines().size(), 2u);
    EXPECT_EQ("Mounting " + Lower(install) + "\\bnds\\depot_5_dir.bnd", capture.Lines()[0]);
    EXPECT_EQ("Mounting " + Lower(install) + "\\bnds\\depot_6_dir.bnd", capture.Lines()[1]);
}

TEST_F(FilesMount, UnparseableConfigurationFailsWithClearRecord)
{
    WriteDiskFile("quern_bnds.kvt", "\"bnds\"\n{\n  \"mount\"\n  {\n");
    EXPECT_EQ(0, QuernMountAppFilesystem(&m_error));
    EXPECT_EQ(0, m_error.failureType);
    EXPECT_EQ('\0', m_error.description[0]);
    EXPECT_EQ(0, GetMountTable().Count());
}

TEST_F(FilesMount, SameDepotMountsOnceAndMissingDepotSilently)
{
    std::string install = AbsoluteBackslashPath("install");
    m_apps.m_installDirs[0] = install;
    WritePack(Path("install/bnds/depot_5"), {{"f.txt", "five"}});
    verboseLogging = 1;

    DebugOutputCapture capture;
    EXPECT_EQ(1, QuernMountFilesystem(5, "first", &m_error));
    EXPECT_EQ(1, QuernMountFilesystem(5, "second", &m_error));
    EXPECT_EQ(1, QuernMountFilesystem(9, "missing", &m_error));
    EXPECT_EQ(1, GetMountTable().Count());
    std::vector<std::string> expected = {
        "Mounting " + Lower(install) + "\\bnds\\depot_5_dir.bnd",
        "QuernMountFilesystem uDepotId 5, path \"first\"",
        "QuernMountFilesystem uDepotId 5, path \"second\"",
        "QuernMountFilesystem uDepotId 9, path \"missing\"",
    };
    EXPECT_EQ(expected, capture.Lines());
    // Not in the depot map: the current application's folder is asked.
    EXPECT_EQ(std::vector<QuernAppId>({0, 0, 0}), m_apps.m_folderQueries);
}

TEST_F(FilesMount, ABaseMountsOnceHoweverItIsWritten)
{
    WritePack(Path("pak"), {{"maps/sub/a.map", "a"}});
    std::string backslashed = Path("pak");
    std::replace(backslashed.begin(), backslashed.end(), '/', '\\');
    std::string absolute = AbsoluteBackslashPath("pak");
    std::string absoluteSlashed = absolute;
    std::replace(absoluteSlashed.begin(), absoluteSlashed.end(), '\\', '/');
    for (const std::string& base : {Path("pak"), "./" + Path("pak"), backslashed, Path("x/../PAK"),
                                    m_root + "//pak", absolute, absoluteSlashed})
    {
        MountPack(base.c_str());
        EXPECT_EQ(1, GetMountTable().Count()) << base;
    }

    // A depot under a relative install folder, asked for three times.
    UnmountAll();
    m_apps.m_installDirs[0] = Path("install");
    WritePack(Path("install/bnds/depot_9"), {{"nine.txt", "9"}});
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(1, QuernMountFilesystem(9, "", &m_error));
    EXPECT_EQ(1, GetMountTable().Count());

    // A configuration that lists one base twice: its folders are listed once.
    UnmountAll();
    WriteDiskFile("quern_bnds.kvt", "\"bnds\" { \"mount\" { \"a\" \"" + Path("pak") +
                                        "\" \"b\" \"" + backslashed + "\" } }");
    EXPECT_TRUE(MountDefaultPacks());
    EXPECT_EQ(1, GetMountTable().Count());
    QuernElemInfo info;
    uint32_t hFind = QuernFindFirst("maps/*", 1, &info, &m_error);
    EXPECT_STREQ("sub", info.name);
    EXPECT_EQ(-1, QuernFindNext(hFind, &info, &m_error));
    QuernFindClose(hFind, &m_error);
}

TEST_F(FilesMount, AWorkingDirectoryTooLongToRecordStripsNothing)
{
#if defined(_WIN32)
    // Such a directory needs long-path support there, and Wine's breaks.
    GTEST_SKIP() << "no working directory that long here";
#endif
    MountFixture("pak", {{"tmp/x.txt", "pack"}});
    char szCwd[1024];
    ASSERT_NE(0u, Plat_GetCurrentDirectory(szCwd, sizeof(szCwd)));
    std::string deep = std::filesystem::absolute(m_root).string();
    while (deep.size() < 1074)
        deep += "/" + std::string(200, 'd');
    std::error_code ec;
    std::filesystem::create_directories(deep, ec);
    if (ec || !Plat_SetCurrentDirectory(deep.c_str())) GTEST_SKIP() << "no folder that deep here";

    RecordWorkingDirectory();
    int nRecorded = GetWorkingDirectoryLength();
    std::string recorded = GetWorkingDirectory();
    // An absolute path keeps its leading separator: not the pack's tmp/x.txt.
    uint32_t h = QuernOpenFile("/tmp/x.txt", "rb", &m_error);
    Plat_SetCurrentDirectory(szCwd);
    RecordWorkingDirectory();

    EXPECT_EQ(0, nRecorded);
    EXPECT_EQ("", recorded);
    EXPECT_EQ(0u, h & BND_FILE_HANDLE_FLAG);
    if (h) QuernCloseFile(h, &m_error);
}

// A pack store that ends the process on such packs instead of refusing them
// fails this in the child (exit code 1 for the version, 3 for the slots).
TEST_F(FilesMount, PacksTheStoreCannotServeAreSkippedWithAWarning)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // Two files whose data lie in archives 3 and 515, which share a slot.
    static const char kTree[] = "bin\0 \0"
                                "three\0\0\0\0\0\0\0"
                                "\x03\x00\0\0\0\0\x03\0\0\0\xFF\xFF"
                                "five\0\0\0\0\0\0\0"
                                "\x03\x02\0\0\0\0\x03\0\0\0\xFF\xFF"
                                "\0\0";
    const std::vector<uint8_t> tree(kTree, kTree + sizeof(kTree)); // with the last 0
    struct Case
    {
        const char* pszName;
        int nVersion;
    } cases[] = {{"v3", 3}, {"slots", 2}};

    for (const Case& c : cases)
    {
        const std::string base = Path(c.pszName);
        const std::string out = Path(std::string(c.pszName) + "_stdout.txt");
        WritePack(Path("good"), {{"good.txt", "g"}});
        bndtest::WriteFile(base + "_dir.bnd", bndtest::DirFile(c.nVersion, tree));
        bndtest::WriteFile(base + "_003.bnd", {'3', '3', '3'});
        bndtest::WriteFile(base + "_515.bnd", {'5', '1', '5'});
        WriteDiskFile("quern_bnds.kvt", "\"bnds\" { \"mount\" { \"a\" \"" + Path("good") +
                                            "\" \"b\" \"" + base + "\" } }");
        EXPECT_EXIT(
            {
                FILE* f = freopen(out.c_str(), "wb", stdout);
                if (f) setvbuf(stdout, nullptr, _IONBF, 0);
                TQuernError error;
                bool bOk = QuernMountAppFilesystem(&error) == 1 && GetMountTable().Count() == 1;
                uint32_t h = QuernOpenFile("good.txt", "rb", &error);
                bOk = bOk && (h & BND_FILE_HANDLE_FLAG);
                UnmountAll(); // nothing left for the leak checker
                exit(bOk ? 0 : 3);
            },
            ::testing::ExitedWithCode(0), "")
            << c.pszName;
        EXPECT_NE(std::string::npos, ReadDiskFile(out).find("bnd " + base))
            << c.pszName << ": " << ReadDiskFile(out);
    }
}

TEST_F(FilesMount, DirectoryScanMountsDepotPacks)
{
    strcpy(g_Session.m_szAppInstallDir, Path("install").c_str());
    WritePack(Path("install/bnds/depot_7"), {{"seven.txt", "7"}});
    WritePack(Path("install/bnds/other"), {{"other.txt", "o"}});
    // Damaged directory files are skipped without a word.
    WriteDiskFile(Path("install/bnds/depot_8_dir.bnd"), "\x34\x12\xAA\x55");
    std::string damaged("\x34\x12\xAA\x55\x02\x00\x00\x00\xFF\xFF\xFF\x7F", 12);
    damaged += std::string(16, '\0') + "garbage";
    WriteDiskFile(Path("install/bnds/depot_9_dir.bnd"), damaged);
    verboseLogging = 1;

    DebugOutputCapture capture;
    EXPECT_TRUE(MountDefaultPacks());
    ASSERT_EQ(1, GetMountTable().Count());
    ASSERT_EQ(1u, capture.Lines().size()) << Joined(capture.Lines());
    EXPECT_NE(std::string::npos, capture.Lines()[0].find("depot_7_dir.bnd"));
    std::string base = GetMountTable()[0]->GetBasePath();
    EXPECT_EQ("depot_7", base.substr(base.size() - 7)) << base;
    EXPECT_EQ("7", ReadPackText("seven.txt"));
}

// The scan lists the packs as an NTFS folder does (upper-cased names in byte
// order: '0' before '_'), whatever order the disk gives them in.
TEST_F(FilesMount, DirectoryScanMountsInTheOrderNamesSort)
{
    for (const char* pszId : {"9", "10", "100", "7", "11", "2"})
        WritePack(Path("install/bnds/depot_") + pszId, {{"f.txt", pszId}});
    CUtlVector<CUtlOwnedString> bases;
    DefaultMountSource source;
    bool bSpew = false;
    ASSERT_TRUE(
        ListDefaultPacksFrom(Path("install").c_str(), nullptr, nullptr, &bases, &source, &bSpew));
    EXPECT_EQ(DEFAULT_MOUNTS_SCAN, source);
    std::vector<std::string> names;
    for (const CUtlOwnedString& base : bases)
    {
        std::string path = base.Get();
        names.push_back(path.substr(path.find_last_of("\\/") + 1));
    }
    EXPECT_EQ(std::vector<std::string>(
                  {"depot_100", "depot_10", "depot_11", "depot_2", "depot_7", "depot_9"}),
              names);
}

TEST_F(FilesMount, UnmountInvalidatesPackHandlesOnly)
{
    MountFixture("pak", {{"a.txt", "AAAA"}});
    uint32_t hPack = QuernOpenFile("a.txt", "rb", &m_error);
    uint32_t hDisk = QuernOpenFile(Path("d.txt").c_str(), "w+", &m_error);
    ASSERT_NE(0u, hPack & BND_FILE_HANDLE_FLAG);
    ASSERT_NE(0u, hDisk);

    EXPECT_EQ(1, QuernUnmountAppFilesystem(&m_error));
    EXPECT_EQ(0, GetMountTable().Count());
    char buf[4];
    EXPECT_EQ(0u, QuernReadFile(buf, 1, 4, hPack, &m_error));
    EXPECT_EQ(-1, QuernTellFile(hPack, &m_error));
    // Unmounting closed it: closing it again closes nothing.
    EXPECT_EQ(-1, QuernCloseFile(hPack, &m_error));
    EXPECT_EQ(1u, QuernWriteFile("x", 1, 1, hDisk, &m_error));
    EXPECT_EQ(0, QuernCloseFile(hDisk, &m_error));
    EXPECT_EQ(0u, QuernOpenFile("a.txt", "rb", &m_error));

    // A new mount starts the pack table over.
    MountFixture("pak2", {{"b.txt", "B"}});
    EXPECT_EQ(BND_FILE_HANDLE_FLAG, QuernOpenFile("b.txt", "rb", &m_error));
}

// Run only as a child with a command line of its own (see below).
TEST(FilesCommandLine, DISABLED_Child)
{
    char szExpected[8] = {};
    Plat_GetEnvironmentVariable("QUERN_VFS_EXPECT_VERBOSE", szExpected, sizeof(szExpected));
    UnmountAll();
    verboseLogging = 0;
    g_Session.m_pApps = nullptr;
    g_Session.m_szAppInstallDir[0] = '\0';
    EXPECT_TRUE(MountDefaultPacks());
    EXPECT_EQ(atoi(szExpected), verboseLogging);
}

TEST(FilesCommandLine, SpewfileioOverridesTheSwitch)
{
#if defined(_WIN32)
    std::string exe = BinaryPath("quern2wrapper_tests.exe");
    const char* pszQuiet = " > NUL 2>&1";
#else
    std::string exe = BinaryPath("quern2wrapper_tests");
    const char* pszQuiet = " > /dev/null 2>&1";
#endif
    std::string command = "\"" + exe +
                          "\" --gtest_also_run_disabled_tests "
                          "--gtest_filter=FilesCommandLine.DISABLED_Child -debugquern2wrapper" +
                          pszQuiet;
    struct Case
    {
        const char* pszConfig; // null: no file
        const char* pszExpected;
    } cases[] = {
        {nullptr, "1"},
        {"\"bnds\" { \"spewfileio\" \"0\" }", "0"},
        {"\"bnds\" { \"other\" \"1\" }", "0"},
    };
    for (const Case& c : cases)
    {
        std::remove("quern_bnds.kvt");
        if (c.pszConfig) WriteDiskFile("quern_bnds.kvt", c.pszConfig);
        SetEnv("QUERN_VFS_EXPECT_VERBOSE", c.pszExpected);
        EXPECT_EQ(0, std::system(command.c_str())) << (c.pszConfig ? c.pszConfig : "no file");
    }
    std::remove("quern_bnds.kvt");
    SetEnv("QUERN_VFS_EXPECT_VERBOSE", nullptr);
}

TEST_F(FilesStartup, StartupMountsInstalledDepots)
{
    SetEnv("QUERN_STANDIN_APPID", "440");
    SetEnv("QUERN_STANDIN_INSTALLDIR_440", AbsoluteBackslashPath("game").c_str());
    SetEnv("QUERN_STANDIN_DEPOTS_440", "441,442,443");
    WritePack(Path("game/bnds/depot_441"), {{"a.txt", "from 441"}, {"b.txt", "b"}});
    WritePack(Path("game/bnds/depot_442"), {{"a.txt", "from 442"}});
    // Depot 443 has no pack: skipped.

    ASSERT_EQ(1, QuernStartup(0, &m_error));
    EXPECT_EQ(0, m_error.failureType);
    EXPECT_EQ(2, GetMountTable().Count());
    uint32_t h = QuernOpenFile("a.txt", "rb", &m_error);
    char buf[16] = {};
    EXPECT_EQ(8u, QuernReadFile(buf, 1, sizeof(buf), h, &m_error));
    EXPECT_STREQ("from 442", buf);
    QuernCloseFile(h, &m_error);
    EXPECT_TRUE(HasLineIn(ReadStandInLog(), "apps.ListInstalledDepots(440, 64) -> 3"));

    // Clean-up leaves the packs mounted; a second start-up keeps them.
    EXPECT_EQ(1, QuernCleanup(&m_error));
    EXPECT_EQ(2, GetMountTable().Count());
    ASSERT_EQ(1, QuernStartup(0, &m_error));
    EXPECT_EQ(2, GetMountTable().Count());
}

TEST_F(FilesStartup, MountFilesystemAsksTheDepotsApplication)
{
    g_Session.m_pApps = &m_apps;
    DepotAppMap_Set(91001, 91000);
    m_apps.m_installDirs[91000] = AbsoluteBackslashPath("other");
    WritePack(Path("other/bnds/depot_91001"), {{"o.txt", "o"}});
    EXPECT_EQ(1, QuernMountFilesystem(91001, "", &m_error));
    EXPECT_EQ(std::vector<QuernAppId>({91000}), m_apps.m_folderQueries);
    EXPECT_EQ(1, GetMountTable().Count());

    // Without a client nothing is asked and nothing mounts, still 1.
    g_Session.m_pApps = nullptr;
    EXPECT_EQ(1, QuernMountFilesystem(91002, "", &m_error));
    EXPECT_EQ(1, GetMountTable().Count());
}

// Handle 0 is the failure value of the open calls: no stream gets it, whether
// the first disk file is opened before start-up or after. Each order runs in
// a fresh process.
TEST(FilesFirstDiskFileDeathTest, NoStreamGetsHandleZero)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::string path = "vfs_first_disk_file.txt";
    WriteDiskFile(path, "first");
    std::remove("quern_bnds.kvt"); // start-up must mount nothing
    EXPECT_EXIT(
        {
            TQuernError error;
            uint32_t h = QuernOpenFile(path.c_str(), "rb", &error);
            char buf[8] = {};
            bool bOk = h != 0 && error.failureType == 0 &&
                       QuernReadFile(buf, 1, sizeof(buf), h, &error) == 5;
            bOk = bOk && QuernMountAppFilesystem(&error) == 1;
            uint32_t h2 = QuernOpenFile(path.c_str(), "rb", &error);
            exit(bOk && h2 != 0 && h2 != h ? 0 : 3);
        },
        ::testing::ExitedWithCode(0), "")
        << "opened before start-up";
    EXPECT_EXIT(
        {
            TQuernError error;
            bool bOk = QuernMountAppFilesystem(&error) == 1;
            // The handles a process that starts up first has always had.
            exit(bOk && QuernOpenFile(path.c_str(), "rb", &error) == 1 ? 0 : 3);
        },
        ::testing::ExitedWithCode(0), "")
        << "opened after start-up";
    std::remove(path.c_str());
}
