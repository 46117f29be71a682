// A game written for a file system that ignores case, installed under a
// folder with capitals in its name: start-up mounts its packs, and its files
// open from packs and from disk whatever case it asks for them in.
#include "tests/quern2wrapper/files/files_test_support.h"
#include "tests/quern2wrapper/session_test_support.h"

#include "plinth/platform/platform_process.h"
#include "quern2wrapper/files/files.h"
#include "quern2wrapper/session.h"

#include <cstdio>
#include <string>

namespace
{

// The file's bytes, prefixed "pack:" or "disk:" by where they came from;
// "missing" when it does not open.
std::string Read(const std::string& path)
{
    TQuernError error;
    const uint32_t h = QuernOpenFile(path.c_str(), "rb", &error);
    if (!h) return "missing";
    char buf[64] = {};
    const uint32_t n = QuernReadFile(buf, 1, sizeof(buf), h, &error);
    QuernCloseFile(h, &error);
    return ((h & BND_FILE_HANDLE_FLAG) ? "pack:" : "disk:") + std::string(buf, n);
}

class FilesCaseFold : public FilesStartup
{
protected:
    void TearDown() override
    {
        std::remove("QUERN_BNDS.KVT");
        FilesStartup::TearDown();
    }
};

} // namespace

TEST_F(FilesCaseFold, MixedCaseInstallMountsAndServesEveryCase)
{
    // The client names the folder in other case than the disk does, and one
    // pack's files are spelled in capitals.
    WritePack(Path("Games/My Game/Bnds/depot_441"), {{"Maps/E1M1.bsp", "e1m1"}});
    WritePack(Path("Games/My Game/Bnds/Depot_442"), {{"Sound/Door.wav", "door"}});
    WriteDiskFile(Path("Games/My Game/Cfg/Autoexec.CFG"), "exec");
    SetEnv("QUERN_STANDIN_APPID", "440");
    SetEnv("QUERN_STANDIN_INSTALLDIR_440", AbsoluteBackslashPath("games\\my game").c_str());
    SetEnv("QUERN_STANDIN_DEPOTS_440", "441,442");

    ASSERT_EQ(1, QuernStartup(0, &m_error));
    EXPECT_EQ(2, GetMountTable().Count());
    for (const char* pszPath : {"maps/e1m1.bsp", "MAPS\\E1M1.BSP", "Maps/E1M1.bsp"})
        EXPECT_EQ("pack:e1m1", Read(pszPath)) << pszPath;
    EXPECT_EQ("pack:door", Read("SOUND/door.WAV"));

    // The same pack named in yet another case is mounted already.
    SetEnv("QUERN_STANDIN_INSTALLDIR_440", AbsoluteBackslashPath("GAMES\\My Game").c_str());
    EXPECT_EQ(1, QuernMountFilesystem(441, "", &m_error));
    EXPECT_EQ(2, GetMountTable().Count());

    // Loose files, read and written through any case.
    for (const char* pszPath :
         {"games/my game/cfg/autoexec.cfg", "GAMES\\MY GAME\\CFG\\AUTOEXEC.CFG"})
        EXPECT_EQ("disk:exec", Read(Path(pszPath))) << pszPath;
    const uint32_t h = QuernOpenFile(Path("games/my game/CFG/Config.cfg").c_str(), "wb", &m_error);
    ASSERT_NE(0u, h);
    EXPECT_EQ(3u, QuernWriteFile("abc", 1, 3, h, &m_error));
    QuernCloseFile(h, &m_error);
    EXPECT_EQ("abc", ReadDiskFile(Path("Games/My Game/Cfg/Config.cfg")));
}

TEST_F(FilesCaseFold, ConfigurationFileAndItsPacksInAnyCase)
{
    WritePack(Path("Content/Base"), {{"a.txt", "base"}});
    WriteDiskFile("QUERN_BNDS.KVT", "\"bnds\" { \"mount\" { \"a\" \"" + Path("CONTENT/base") +
                                        "\" } \"spewfileio\" \"1\" }");
    DebugOutputCapture capture;
    EXPECT_TRUE(MountDefaultPacks());
    EXPECT_EQ(1, GetMountTable().Count());
    EXPECT_EQ("pack:base", Read("A.TXT"));
    // The name tried first: lower-cased only where that loses nothing.
    std::string dirFile = Path("CONTENT/base") + "_dir.bnd";
#if defined(_WIN32)
    for (char& c : dirFile)
        c = (char)tolower((unsigned char)c);
#endif
    EXPECT_TRUE(HasLineIn(capture.Lines(), "Mounting " + dirFile)) << Joined(capture.Lines());
}
