// The crash-dump calls forwarded to the crash-dump module stand-in.
#include "tests/quern2wrapper/session_test_support.h"

#include "plinth/platform/platform_process.h"
#include "quern2wrapper/clientconnection.h"
#include "quern2wrapper/include/quern.h"
#include "quern2wrapper/minidump_entry.h"
#include "trestle/interface.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace
{
class MiniDumpEntry : public ::testing::Test
{
protected:
    void SetUp() override
    {
        StartStandInLog();
        g_szClientDir[0] = '\0';
    }
    void TearDown() override
    {
        TQuernError error;
        QuernCleanup(&error);
        UnregisterClient();
        g_szClientDir[0] = '\0';
    }
};

std::string BinaryFolder()
{
    std::string path = BinaryPath("quernclient.dll");
    return path.substr(0, path.find_last_of("\\/"));
}
} // namespace

TEST_F(MiniDumpEntry, NothingForwardedBeforeInit)
{
    EXPECT_EQ(0, QuernWriteMiniDumpUsingExceptionInfo(0xC0000005u, nullptr));
    EXPECT_EQ(0, QuernWriteMiniDumpUsingExceptionInfoWithBuildId(1, nullptr, 2));
    EXPECT_EQ(0, QuernWriteMiniDumpSetComment("early"));
    EXPECT_TRUE(ReadStandInLog().empty());
}

TEST_F(MiniDumpEntry, ForwardsUntilCleanup)
{
    // The module is looked for in the registered client library's folder.
    RegisterClient(BinaryPath("quernclient.dll").c_str(), Plat_GetCurrentProcessId());
    EXPECT_EQ(1, QuernMiniDumpInit());
    EXPECT_EQ(BinaryFolder(), g_szClientDir);
    ASSERT_NE(nullptr, g_hDumpModule);
    EXPECT_EQ(1, LoadedModuleRefCount(g_hDumpModule));

    int marker = 0;
    std::string pointer = "0x" + [&]
    {
        char sz[32];
        snprintf(sz, sizeof(sz), "%llx", (unsigned long long)(uintptr_t)&marker);
        return std::string(sz);
    }();
    EXPECT_EQ(5, QuernWriteMiniDumpUsingExceptionInfo(0xC0000005u, &marker));
    EXPECT_EQ(5, QuernWriteMiniDumpUsingExceptionInfoWithBuildId(0x80000003u, &marker, 4321));
    EXPECT_EQ(6, QuernWriteMiniDumpSetComment("about to fail"));
    const std::vector<std::string> expected = {
        "Quern2.QuernMiniDumpInit() -> 1",
        "Quern2.QuernWriteMiniDumpUsingExceptionInfoWithBuildId(0xc0000005, " + pointer +
            ", 0) -> 5",
        "Quern2.QuernWriteMiniDumpUsingExceptionInfoWithBuildId(0x80000003, " + pointer +
            ", 4321) -> 5",
        "Quern2.QuernWriteMiniDumpSetComment(about to fail) -> 6",
    };
    EXPECT_EQ(expected, ReadStandInLog());

    // Clean-up unloads the module; nothing reaches it afterwards.
    PlatModule hModule = g_hDumpModule;
    TQuernError error;
    EXPECT_EQ(1, QuernCleanup(&error));
    EXPECT_EQ(nullptr, g_hDumpModule);
    EXPECT_EQ(nullptr, g_pfnWriteMiniDumpWithBuildId);
    EXPECT_EQ(nullptr, g_pfnWriteMiniDumpSetComment);
    EXPECT_EQ(0, LoadedModuleRefCount(hModule));
    EXPECT_EQ(0, QuernWriteMiniDumpSetComment("after"));
    EXPECT_EQ(0, QuernWriteMiniDumpUsingExceptionInfo(1, nullptr));
    EXPECT_EQ(expected, ReadStandInLog());
}

TEST_F(MiniDumpEntry, KnownFolderIsUsedWithoutTheRegistry)
{
    UnregisterClient();
    std::string folder = BinaryFolder();
    snprintf(g_szClientDir, sizeof(g_szClientDir), "%s", folder.c_str());
    EXPECT_EQ(1, QuernMiniDumpInit());
    EXPECT_EQ(folder, g_szClientDir);

    // A second init adds a reference; clean-up releases one.
    EXPECT_EQ(1, QuernMiniDumpInit());
    PlatModule hModule = g_hDumpModule;
    EXPECT_EQ(2, LoadedModuleRefCount(hModule));
    TQuernError error;
    QuernCleanup(&error);
    EXPECT_EQ(1, LoadedModuleRefCount(hModule));
    UnloadModule(hModule);
}

TEST_F(MiniDumpEntry, ModuleFoundNowhere)
{
    // The bare-name search looks beside the executable, where the stand-in
    // lies for this process; a host started from a folder of its own, whose
    // client folder has no module either, finds none.
    const std::string folder = ScratchPath("dump_host");
    fs::remove_all(folder);
    fs::create_directories(folder);
    fs::copy_file(BinaryPath("quern.exe"), folder + "/quern.exe");
    RegisterClient(HostPath(folder + "/quernclient.dll").c_str(), 0);
    const std::string params = "-minidumpinit " + BinaryPath(QUERN_LIBRARY_FILE);
    ASSERT_GT(Plat_ShellExecute(HostPath(folder + "/quern.exe").c_str(), params.c_str()), 32);
    std::vector<std::string> lines = WaitForLogLines(2);
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ(": " + params, lines[0].substr(lines[0].find(": ")));
    EXPECT_EQ("minidumpinit -> 0, comment -> 0", lines[1]);
}

TEST_F(MiniDumpEntry, ModuleWithoutInitStillForwards)
{
    UnregisterClient();
    const std::string folder = ScratchPath("dump_noinit");
    fs::remove_all(folder);
    fs::create_directories(folder);
    fs::copy_file(BinaryPath("Quern2NoInit.dll"), folder + "/Quern2.dll");
    snprintf(g_szClientDir, sizeof(g_szClientDir), "%s", folder.c_str());

    EXPECT_EQ(0, QuernMiniDumpInit());
    ASSERT_NE(nullptr, g_hDumpModule);
    EXPECT_EQ(6, QuernWriteMiniDumpSetComment("kept"));
    EXPECT_EQ(5, QuernWriteMiniDumpUsingExceptionInfo(3, nullptr));
    const std::vector<std::string> expected = {
        "Quern2.QuernWriteMiniDumpSetComment(kept) -> 6",
        "Quern2.QuernWriteMiniDumpUsingExceptionInfoWithBuildId(0x00000003, 0x0, 0) -> 5",
    };
    EXPECT_EQ(expected, ReadStandInLog());
}
