// QuernStartup ends with the file layer's start-up, against the client
// stand-in; QuernMountFilesystem follows the depot map.
#include "tests/quern2wrapper/vfs_testsupport.h"
#include "tests/quern2wrapper/wrapper_testsupport.h"

#include "plinth/platform/platform_process.h"
#include "quern2wrapper/depotappmap.h"
#include "quern2wrapper/quern2wrapper_stdio/filelayer.h"
#include "quern2wrapper/session.h"

#include <cstring>
#include <string>

namespace
{
class VfsStartup : public VfsTest
{
protected:
    void SetUp() override
    {
        VfsTest::SetUp();
        ResetStandInEnv();
        StartStandInLog();
        RegisterClient(BinaryPath("quernclient.dll").c_str(), Plat_GetCurrentProcessId());
    }
    void TearDown() override
    {
        TQuernError error;
        QuernCleanup(&error);
        UnregisterClient();
        ResetStandInEnv();
        SetEnv("QUERN_STANDIN_DEPOTS_440", nullptr);
        SetEnv("QUERN_STANDIN_LOG", nullptr);
        VfsTest::TearDown();
    }
};
} // namespace

TEST_F(VfsStartup, StartupMountsInstalledDepots)
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

TEST_F(VfsStartup, MountFilesystemAsksTheDepotsApplication)
{
    g_pApps = &m_apps;
    DepotAppMap_Set(91001, 91000);
    m_apps.m_installDirs[91000] = AbsoluteBackslashPath("other");
    WritePack(Path("other/bnds/depot_91001"), {{"o.txt", "o"}});
    EXPECT_EQ(1, QuernMountFilesystem(91001, "", &m_error));
    EXPECT_EQ(std::vector<QuernAppId>({91000}), m_apps.m_folderQueries);
    EXPECT_EQ(1, GetMountTable().Count());

    // Without a client nothing is asked and nothing mounts, still 1.
    g_pApps = nullptr;
    EXPECT_EQ(1, QuernMountFilesystem(91002, "", &m_error));
    EXPECT_EQ(1, GetMountTable().Count());
}
