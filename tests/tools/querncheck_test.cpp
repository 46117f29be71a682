// querncheck run in-process against scratch installs, with the client
// stand-in registered in a scratch registry (the Wine prefix's on Windows).
#include "tests/tools/tools_test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bndlib/packcrc.h"
#include "bndlib/packwriter.h"
#include "plinth/platform/platform_process.h"
#include "plinth/platform/platform_registry.h"
#include "quern2wrapper/clientconnection.h"
#include "tests/bndlib/bndlib_test_support.h"
#include "tests/quern2wrapper/session_test_support.h"
#include "tools/querncheck/querncheck.h"

using namespace bndtest;

namespace
{
struct CheckResult
{
    int m_nExit;
    std::string m_out;
    std::string m_stdout; // what the library itself printed meanwhile
};

void RegisterSharedView(const char* pszLibraryPath, unsigned pid);

class QuernCheckTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ResetStandInEnv();
        SetEnv("QUERN_STANDIN_DEPOTS_440", nullptr);
        m_dir = ScratchDir("game");
        CreateDirectories((m_dir + "/bnds").c_str());
        m_base = m_dir + "/bnds/depot_441";
        CPackWriter writer;
        // Small archives, so that the pack has several.
        writer.SetMaxArchiveSize(6000);
        writer.AddFile("maps/e1.map", Pattern(5000, 1).data(), 5000);
        writer.AddFile("maps/e2.map", Pattern(5000, 2).data(), 5000);
        writer.AddFile("readme.txt", "hello", 5);
        ASSERT_TRUE(writer.Write(m_base.c_str())) << writer.GetError();
        ASSERT_GE(writer.GetArchiveCount(), 2);
        WriteConfig("\"bnd\"\n{\n\t\"mount\"\n\t{\n\t\t\"base\" \"bnds/depot_441\"\n\t}\n}\n");

        SetEnv("QUERN_STANDIN_APPID", "440");
        SetEnv("QUERN_STANDIN_INSTALLDIR_440", m_dir.c_str());
        RegisterSharedView(BinaryPath("quernclient.dll").c_str(), Plat_GetCurrentProcessId());
    }

    void TearDown() override
    {
        UnregisterClient();
        ResetStandInEnv();
        SetEnv("QUERN_STANDIN_DEPOTS_440", nullptr);
    }

    void WriteConfig(const std::string& text)
    {
        WriteFile(m_dir + "/quern_bnds.kvt", std::vector<uint8_t>(text.begin(), text.end()));
    }

    CheckResult Run(bool bVerify = false)
    {
        QuernCheckOptions options;
        options.m_pszDir = m_dir.c_str();
        options.m_bVerify = bVerify;
        FILE* pOut = tmpfile();
        CheckResult r;
        ::testing::internal::CaptureStdout();
        r.m_nExit = QuernCheck_Run(options, pOut);
        r.m_stdout = ::testing::internal::GetCapturedStdout();
        r.m_out = Drain(pOut);
        return r;
    }

    std::string m_dir;
    std::string m_base;
};

// As the running client registers: in the key both registry views share, so
// that the launch code's plain-view read sees it too.
void RegisterSharedView(const char* pszLibraryPath, unsigned pid)
{
    RegisterClient(pszLibraryPath, pid);
    PlatRegKey hKey = nullptr;
    if (Plat_RegCreateKey(Plat_RegRootKey(PLAT_HKEY_CURRENT_USER), QUERN_ACTIVEPROCESS_KEY, 0,
                          &hKey) != PLAT_ERROR_SUCCESS)
        return;
    if (pid) Plat_RegSetValueDword(hKey, "pid", pid);
    if (pszLibraryPath) Plat_RegSetValueString(hKey, "QuernClientDll", pszLibraryPath);
    Plat_RegCloseKey(hKey);
}

bool Has(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// The whole line that starts with `start`, without its newline; "" when none
// does (the first of several).
std::string Line(const std::string& text, const std::string& start)
{
    for (size_t at = 0; at < text.size();)
    {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        if (text.compare(at, start.size(), start) == 0) return text.substr(at, end - at);
        at = end + 1;
    }
    return "";
}

const char kGoodEnd[] = "querncheck: start-up would succeed and mount every pack (1 warnings)";
const char kOneProblem[] = "querncheck: 1 problems; start-up would fail or miss content";
} // namespace

TEST_F(QuernCheckTest, GoodInstallPassesWithEveryPieceFound)
{
    CheckResult r = Run();
    EXPECT_EQ(r.m_nExit, 0) << r.m_out;
    EXPECT_TRUE(Has(r.m_out, "[ ok ] registration: client process")) << r.m_out;
    EXPECT_TRUE(Has(r.m_out, "(exports CreateInterface)")) << r.m_out;
    EXPECT_TRUE(Has(r.m_out, "[ ok ] start-up: the client answers; application 440")) << r.m_out;
    EXPECT_TRUE(Has(r.m_out, "[ ok ] client executable:")) << r.m_out;
    EXPECT_TRUE(Has(r.m_out, "[ ok ] crash-dump module:")) << r.m_out;
    EXPECT_TRUE(Has(r.m_out, "[ ok ] quern_bnds.kvt parses")) << r.m_out;
    EXPECT_TRUE(Has(r.m_out, "[info] packs: 1 from the \"mount\" section")) << r.m_out;
    EXPECT_EQ(Line(r.m_out, "[ ok ] pack "),
              "[ ok ] pack bnds/depot_441: 3 files, 2 archives present")
        << r.m_out;
    // No crash handler beside the (assumed) game executable: dumps are off,
    // start-up is not affected.
    EXPECT_TRUE(Has(r.m_out, "[warn] crash handler:")) << r.m_out;
    EXPECT_EQ(Line(r.m_out, "querncheck: "), kGoodEnd) << r.m_out;
    EXPECT_FALSE(Has(r.m_out, "[FAIL]")) << r.m_out;

    r = Run(true);
    EXPECT_EQ(r.m_nExit, 0) << r.m_out;
    EXPECT_EQ(Line(r.m_out, "[ ok ] pack "),
              "[ ok ] pack bnds/depot_441: 3 files, 2 archives, 3 CRCs match")
        << r.m_out;
}

TEST_F(QuernCheckTest, RegistrationFaultsAreNamedWithTheLibrarysOwnLine)
{
    // No key at all: the client never ran (or was removed).
    UnregisterClient();
    for (uint32_t view : {(uint32_t)PLAT_KEY_WOW64_32KEY, 0u})
        Plat_RegDeleteKey(Plat_RegRootKey(PLAT_HKEY_CURRENT_USER), QUERN_ACTIVEPROCESS_KEY, view);
    CheckResult r = Run();
    EXPECT_EQ(r.m_nExit, 1);
    EXPECT_TRUE(Has(r.m_out, "[FAIL] registration: the key")) << r.m_out;
    EXPECT_TRUE(Has(r.m_out, "fix: start the platform client")) << r.m_out;
    EXPECT_TRUE(Has(r.m_out, "QuernStartup fails with \"QuernAPI_Init_Internal failed\""))
        << r.m_out;
    EXPECT_TRUE(Has(r.m_out, "[Q_API FAIL] QuernAPI_Init() failed; unable to locate a running "
                             "instance of Quern, or a local quernclient.dll."))
        << r.m_out;
    // The configuration still names its packs, and they are still checked.
    EXPECT_EQ(Line(r.m_out, "[ ok ] pack "),
              "[ ok ] pack bnds/depot_441: 3 files, 2 archives present")
        << r.m_out;

    // A stale registration: the process is gone.
    RegisterClient(BinaryPath("quernclient.dll").c_str(), kDeadPid);
    r = Run();
    EXPECT_EQ(r.m_nExit, 1);
    EXPECT_TRUE(Has(r.m_out, "names no running process")) << r.m_out;
    EXPECT_TRUE(Has(r.m_out, "[Q_API FAIL] QuernAPI_Init() failed; QuernAPI_IsQuernRunning() "
                             "failed."))
        << r.m_out;
    EXPECT_TRUE(Has(r.m_out, "[ ok ] client library:")) << r.m_out;

    // A live process but no library value.
    RegisterClient(nullptr, Plat_GetCurrentProcessId());
    r = Run();
    EXPECT_EQ(r.m_nExit, 1);
    EXPECT_TRUE(Has(r.m_out, "no \"QuernClientDll\" value")) << r.m_out;
}

TEST_F(QuernCheckTest, ClientLibraryMissingOrWithoutFactoryFails)
{
    std::string missing = BinaryPath("no_such_client.dll");
    RegisterClient(missing.c_str(), Plat_GetCurrentProcessId());
    CheckResult r = Run();
    EXPECT_EQ(r.m_nExit, 1);
    EXPECT_TRUE(Has(r.m_out, "[FAIL] client library: " + missing + " is missing")) << r.m_out;
    EXPECT_TRUE(Has(r.m_out, "[Q_API FAIL] QuernAPI_Init() failed; Sys_LoadModule failed to "
                             "load: " +
                                 missing))
        << r.m_out;

    RegisterClient(BinaryPath("nofactory.dll").c_str(), Plat_GetCurrentProcessId());
    r = Run();
    EXPECT_EQ(r.m_nExit, 1);
    EXPECT_TRUE(Has(r.m_out, "does not export CreateInterface")) << r.m_out;
    EXPECT_TRUE(Has(r.m_out, "unable to locate interface factory in quernclient.dll")) << r.m_out;
}

TEST_F(QuernCheckTest, BrokenConfigurationStopsStartUpAndShowsTheReadersLine)
{
    WriteConfig("\"bnd\"\n{\n\t\"mount\"\n\t{\n\t\t\"base\" \"bnds/depot_441\"\n\t}\n");
    CheckResult r = Run();
    EXPECT_EQ(r.m_nExit, 1);
    EXPECT_TRUE(Has(r.m_out, "[FAIL] quern_bnds.kvt does not parse")) << r.m_out;
    EXPECT_TRUE(Has(r.m_stdout, "KeyValues Error:")) << r.m_stdout;
    EXPECT_TRUE(Has(r.m_stdout, "in file quern_bnds.kvt")) << r.m_stdout;
    // Nothing further is claimed about packs start-up never reaches.
    EXPECT_FALSE(Has(r.m_out, "pack bnds/depot_441")) << r.m_out;
}

TEST_F(QuernCheckTest, PackFaultsEachFailTheCheck)
{
    // A listed pack that is not there is skipped silently by start-up.
    WriteConfig("\"bnd\"\n{\n\t\"mount\"\n\t{\n\t\t\"a\" \"bnds/depot_441\"\n\t\t\"b\" "
                "\"bnds/depot_999\"\n\t}\n}\n");
    CheckResult r = Run();
    EXPECT_EQ(r.m_nExit, 1);
    EXPECT_EQ(Line(r.m_out, "[ ok ] pack "),
              "[ ok ] pack bnds/depot_441: 3 files, 2 archives present")
        << r.m_out;
    EXPECT_EQ(Line(r.m_out, "[FAIL] pack "),
              "[FAIL] pack bnds/depot_999: bnds/depot_999_dir.bnd is missing; the pack is skipped")
        << r.m_out;

    // A directory file cut short: the tree runs past its end.
    WriteConfig("\"bnd\"\n{\n\t\"mount\"\n\t{\n\t\t\"a\" \"bnds/depot_441\"\n\t}\n}\n");
    std::vector<uint8_t> dir = ReadFile(m_base + "_dir.bnd");
    ASSERT_GT(dir.size(), 40u);
    WriteFile(m_base + "_dir.bnd", std::vector<uint8_t>(dir.begin(), dir.begin() + 40));
    r = Run();
    EXPECT_EQ(r.m_nExit, 1);
    EXPECT_EQ(Line(r.m_out, "[FAIL] pack "),
              "[FAIL] pack bnds/depot_441: bnds/depot_441_dir.bnd is damaged and is skipped (tree "
              "size " +
                  std::to_string(PackReadU32(dir.data() + 8)) + " runs past the end of the file)")
        << r.m_out;
    EXPECT_EQ(Line(r.m_out, "querncheck: "), kOneProblem) << r.m_out;
    WriteFile(m_base + "_dir.bnd", dir);

    // An archive gone.
    std::vector<uint8_t> archive = ReadFile(m_base + "_001.bnd");
    ASSERT_FALSE(archive.empty());
    ASSERT_TRUE(BDeleteFile((m_base + "_001.bnd").c_str()));
    r = Run();
    EXPECT_EQ(r.m_nExit, 1);
    EXPECT_EQ(Line(r.m_out, "[FAIL] pack "),
              "[FAIL] pack bnds/depot_441: 1 of its 2 archives are missing")
        << r.m_out;
    EXPECT_EQ(Line(r.m_out, "       missing:"), "       missing: bnds/depot_441_001.bnd")
        << r.m_out;
    EXPECT_EQ(Line(r.m_out, "querncheck: "), kOneProblem) << r.m_out;

    // Bytes changed inside an archive: only --verify reads them.
    archive[archive.size() / 2] ^= 0x5A;
    WriteFile(m_base + "_001.bnd", archive);
    r = Run();
    EXPECT_EQ(r.m_nExit, 0) << r.m_out;
    r = Run(true);
    EXPECT_EQ(r.m_nExit, 1);
    EXPECT_EQ(Line(r.m_out, "[FAIL] pack "), "[FAIL] pack bnds/depot_441: 1 entries do not match "
                                             "their CRC, 0 cannot be read whole")
        << r.m_out;
    EXPECT_EQ(Line(r.m_out, "       bad CRC:"), "       bad CRC: maps/e2.map") << r.m_out;
}

// Packs the reader refuses are reported like damaged ones, with or without
// --verify, and the check goes on; a chunk without bytes needs no archive.
TEST_F(QuernCheckTest, PackLinesCountWhatStartUpWouldRead)
{
    const uint32_t crcA = PackCrc32(0, "aaa", 3);
    struct Case
    {
        int m_nVersion;
        int m_nArchiveB;
        uint32_t m_cubB;
        const char* m_pszLine;   // after "pack bnds/depot_441: "
        const char* m_pszVerify; // the same with --verify; null: as m_pszLine
        const char* m_pszStdout; // after "bnd bnds/depot_441" or its version
    };
    const Case cases[] = {
        {3, 1, 3, "bnds/depot_441_dir.bnd is damaged and is skipped (unknown version 3)", nullptr,
         "Unknown version 3 for bnd bnds/depot_441\n"},
        {2, 515, 3,
         "bnds/depot_441_dir.bnd is damaged and is skipped (archives 3 and 515 share an archive "
         "slot (equal mod 512))",
         nullptr,
         "bnd bnds/depot_441: archives 3 and 515 share an archive slot (equal mod 512), pack "
         "ignored\n"},
        {2, 7, 0, "3 files, 1 archives present", "3 files, 1 archives, 3 CRCs match", ""},
        {2, 1, 3, "3 files, 2 archives present", "3 files, 2 archives, 3 CRCs match", ""},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.m_pszLine);
        // a.bin in archive 3, b.bin in the case's archive, e.bin in the directory file.
        RawTree t;
        t.Ext("bin").Dir(" ");
        t.File("a", {{3, 0, 3}}, {}, crcA);
        t.File("b", {{c.m_nArchiveB, 0, c.m_cubB}}, {}, PackCrc32(0, "bbb", c.m_cubB));
        t.File("e", {{BND_DIRECTORY_ARCHIVE_INDEX, 0, 1}}, {}, PackCrc32(0, "e", 1));
        t.End().End().End();
        WriteFile(m_base + "_dir.bnd", DirFile(c.m_nVersion, t.Bytes(), {'e'}));
        for (int n : {1, 7, 515})
            BDeleteFile(
                (m_base + "_" + (n < 100 ? "00" : "") + std::to_string(n) + ".bnd").c_str());
        WriteFile(m_base + "_003.bnd", {'a', 'a', 'a'});
        if (c.m_cubB)
            WriteFile(m_base + (c.m_nArchiveB == 1 ? "_001.bnd" : "_515.bnd"), {'b', 'b', 'b'});
        for (bool bVerify : {false, true})
        {
            CheckResult r = Run(bVerify);
            bool bFails = c.m_pszStdout[0] != 0;
            EXPECT_EQ(r.m_nExit, bFails ? 1 : 0) << r.m_out;
            const char* pszLine = bVerify && c.m_pszVerify ? c.m_pszVerify : c.m_pszLine;
            EXPECT_EQ(Line(r.m_out, bFails ? "[FAIL] pack " : "[ ok ] pack "),
                      std::string(bFails ? "[FAIL]" : "[ ok ]") +
                          " pack bnds/depot_441: " + pszLine)
                << r.m_out;
            EXPECT_EQ(Line(r.m_out, "querncheck: "), bFails ? kOneProblem : kGoodEnd) << r.m_out;
            EXPECT_EQ(r.m_stdout, c.m_pszStdout);
        }
    }
}

TEST_F(QuernCheckTest, WithoutMountSectionDepotsThenTheBndsScanAreChecked)
{
    BDeleteFile((m_dir + "/quern_bnds.kvt").c_str());
    // Installed depots of the application: one present, one missing.
    SetEnv("QUERN_STANDIN_DEPOTS_440", "441,442");
    // Packs are named by the install folder the client reports.
    const std::string bnds = m_dir + "\\bnds\\";
    std::string lowerBnds = bnds;
    for (char& ch : lowerBnds)
        ch = (char)tolower((unsigned char)ch);
    CheckResult r = Run();
    EXPECT_EQ(r.m_nExit, 1);
    EXPECT_TRUE(Has(r.m_out, "[info] no quern_bnds.kvt here")) << r.m_out;
    EXPECT_EQ(Line(r.m_out, "[info] packs: "),
              "[info] packs: 2 installed depots of application 440")
        << r.m_out;
    EXPECT_EQ(Line(r.m_out, "[ ok ] pack "),
              "[ ok ] pack " + bnds + "depot_441: 3 files, 2 archives present")
        << r.m_out;
    EXPECT_EQ(Line(r.m_out, "[FAIL] pack "),
              "[FAIL] pack " + bnds + "depot_442: " + lowerBnds +
                  "depot_442_dir.bnd is missing; the pack is skipped")
        << r.m_out;
    EXPECT_EQ(Line(r.m_out, "querncheck: "), kOneProblem) << r.m_out;

    // No depots: the bnds folder's packs.
    SetEnv("QUERN_STANDIN_DEPOTS_440", nullptr);
    r = Run();
    EXPECT_EQ(r.m_nExit, 0) << r.m_out;
    EXPECT_TRUE(Has(r.m_out, "[info] packs: 1 found by the scan of")) << r.m_out;

    // A stray directory file of a version the reader does not know is
    // skipped with its warning; the others are still checked.
    std::string stray = m_dir + "/bnds/depot_999_dir.bnd";
    WriteFile(stray, DirFile(3, RawTree().End().Bytes()));
    r = Run();
    EXPECT_EQ(r.m_nExit, 1);
    EXPECT_TRUE(Has(r.m_out, "[info] packs: 2 found by the scan of")) << r.m_out;
    EXPECT_EQ(Line(r.m_out, "[ ok ] pack "),
              "[ ok ] pack " + bnds + "depot_441: 3 files, 2 archives present")
        << r.m_out;
    EXPECT_EQ(Line(r.m_out, "[FAIL] pack "),
              "[FAIL] pack " + bnds + "depot_999: " + lowerBnds +
                  "depot_999_dir.bnd is damaged and is skipped (unknown version 3)")
        << r.m_out;
    EXPECT_EQ(Line(r.m_out, "querncheck: "), kOneProblem) << r.m_out;
    EXPECT_EQ(r.m_stdout, "Unknown version 3 for bnd " + bnds + "depot_999\n");
    BDeleteFile(stray.c_str());

    // Nothing anywhere: the game would see loose files only.
    BDeleteFile((m_base + "_dir.bnd").c_str());
    r = Run();
    EXPECT_EQ(r.m_nExit, 1);
    EXPECT_TRUE(Has(r.m_out, "start-up would mount nothing")) << r.m_out;
}

TEST(QuernCheckCommandLine, UnknownArgumentsAndMissingFolder)
{
    FILE* pOut = tmpfile();
    FILE* pErr = tmpfile();
    const char* argv[] = {"querncheck", "--bogus"};
    EXPECT_EQ(QuernCheck_Main(2, argv, pOut, pErr), 2);
    EXPECT_TRUE(Has(Drain(pErr), "usage: querncheck"));
    Drain(pOut);

    pOut = tmpfile();
    pErr = tmpfile();
    const char* argv2[] = {"querncheck", "--dir", "no/such/folder/anywhere"};
    EXPECT_EQ(QuernCheck_Main(3, argv2, pOut, pErr), 2);
    EXPECT_TRUE(Has(Drain(pOut), "cannot enter the folder"));
    Drain(pErr);
}
