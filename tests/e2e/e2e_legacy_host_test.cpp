// End to end: legacy_host, an old game's use of the library, run against the
// built library and the client stand-ins in a temporary game folder holding a
// sample install packed with bndtool. The test process plays the running
// platform client: the registry names it and the client library beside it.
#include "plinth/platform/platform_env.h"
#include "plinth/platform/platform_modules.h"
#include "plinth/platform/platform_process.h"
#include "plinth/platform/platform_registry.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace
{
#if defined(_WIN32)
const char kSep = '\\';
const char kExe[] = ".exe";
const char kLibraryName[] = "quern.dll";
#else
const char kSep = '/';
const char kExe[] = "";
const char kLibraryName[] = "libquern.so";
#endif

// The pack times that stat and search report for pack items.
const char kPackTime[] = "178243200";

std::string Join(const std::string& a, const std::string& b)
{
    return a + kSep + b;
}

// The folder of this executable; the library, the stand-ins, bndtool and
// legacy_host are built beside it.
std::string BinDir()
{
    char szSelf[4096];
    if (!Plat_GetModuleFileNameUtf8(nullptr, szSelf, sizeof(szSelf))) return std::string();
    std::string self = szSelf;
    size_t cut = self.find_last_of("/\\");
    return cut == std::string::npos ? std::string() : self.substr(0, cut);
}

void WriteFile(const std::string& path, const std::string& bytes)
{
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
    {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// Runs `exe` with `args` in the current directory, its standard output and
// error going to `outPath`; returns its exit code (-1 when it did not exit).
int RunProgram(const std::string& exe, const std::string& args, const std::string& outPath)
{
    std::string command = "\"" + exe + "\" " + args + " > \"" + outPath + "\" 2>&1";
#if defined(_WIN32)
    // cmd /c drops the outermost pair of quotes of a command with several.
    command = "\"" + command + "\"";
#endif
    fflush(nullptr);
    int status = std::system(command.c_str());
#if defined(WEXITSTATUS)
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#else
    return status;
#endif
}

// Each of `expected` must appear as a whole line of `lines`, in this order.
void ExpectLinesInOrder(const std::vector<std::string>& lines,
                        const std::vector<std::string>& expected, const char* pszWhat)
{
    size_t next = 0;
    for (const std::string& want : expected)
    {
        size_t i = next;
        while (i < lines.size() && lines[i] != want)
            ++i;
        if (i == lines.size())
        {
            ADD_FAILURE() << pszWhat << ": missing, or out of order, the line\n  " << want;
            return;
        }
        next = i + 1;
    }
}

bool HasLineStartingWith(const std::vector<std::string>& lines, const std::string& prefix)
{
    for (const std::string& line : lines)
        if (line.compare(0, prefix.size(), prefix) == 0) return true;
    return false;
}

class E2ELegacyHost : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        s_bin = BinDir();
        ASSERT_FALSE(s_bin.empty());
        std::string base = fs::temp_directory_path().string();
        while (base.size() > 1 && (base.back() == '/' || base.back() == '\\'))
            base.pop_back();
#if !defined(_WIN32)
        // Packs are opened by their lower-cased directory file names, and this
        // file system tells case apart.
        for (char c : base)
            if (c >= 'A' && c <= 'Z') base = "/tmp";
#endif
        s_work = Join(base, "quern-e2e-" + std::to_string(Plat_GetCurrentProcessId()));
        std::error_code ec;
        fs::remove_all(s_work, ec);
        s_game = Join(s_work, "game");
        MakeSampleInstall();
        RegisterClient();
        SetStandInEnvironment();

        // legacy_host runs in the game folder, as a game does.
        std::string previous = fs::current_path().string();
        fs::current_path(s_game);
        s_exitCode = RunProgram(Join(s_bin, std::string("legacy_host") + kExe), "",
                                Join(s_work, "host.out"));
        fs::current_path(previous);
        UnregisterClient();

        s_output = SplitLines(ReadFile(Join(s_work, "host.out")));
        // The launched client executable runs on its own; wait for its line.
        for (int i = 0; i < 100; ++i)
        {
            s_calls = SplitLines(ReadFile(Join(s_work, "standin.log")));
            if (HasLineStartingWith(s_calls, "quern.exe ")) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        s_debugOutput = ReadFile(Join(s_work, "debug.txt"));
        s_copy = ReadFile(Join(s_game, Join("maps", Join("sub", "e2.map"))));
        s_save = ReadFile(Join(s_game, Join("save", "slot2.sav")));
    }

    static void TearDownTestSuite()
    {
        std::error_code ec;
        if (!s_work.empty()) fs::remove_all(s_work, ec);
    }

    void TearDown() override
    {
        if (HasFailure())
        {
            std::string all;
            for (const std::string& line : s_output)
                all += line + "\n";
            printf("legacy_host exit code %d, output:\n%s", s_exitCode, all.c_str());
        }
    }

    static void MakeSampleInstall()
    {
        // Application 440: depot 442 carries a newer e1.map than 441; a CRLF
        // text file; loose files on disk beside the packs.
        std::string src = Join(s_work, "src");
        WriteFile(Join(src, "441/maps/e1.map"), "e1 map data, version 1, from depot 441\n");
        WriteFile(Join(src, "441/maps/sub/e2.map"), "second map, extracted as a local copy\n");
        WriteFile(Join(src, "441/text/readme.txt"), "line one\r\nline two\r\n");
        WriteFile(Join(src, "442/maps/e1.map"), "e1 map data, version 2, from depot 442\n");
        WriteFile(Join(s_game, Join("maps", "local.map")), "loose map on disk\n");
        WriteFile(Join(s_game, Join("save", "slot1.sav")), "saved game\n");
        WriteFile(Join(s_game, "iface_demo.txt"), "read through the Quern006 interface object\n");
        // Start-up mounts what the configuration lists: depot 441 alone.
        WriteFile(Join(s_game, "quern_bnds.kvt"),
                  "\"bnd\"\n{\n\t\"mount\"\n\t{\n\t\t\"base\" \"bnds/depot_441\"\n\t}\n}\n");
        fs::create_directories(Join(s_game, "bnds"));
        std::string bndtool = Join(s_bin, std::string("bndtool") + kExe);
        for (const char* pszDepot : {"441", "442"})
        {
            std::string args = "create \"" + Join(src, pszDepot) + "\" \"" +
                               Join(s_game, Join("bnds", std::string("depot_") + pszDepot)) + "\"";
            ASSERT_EQ(0, RunProgram(bndtool, args, Join(s_work, "bndtool.out")))
                << ReadFile(Join(s_work, "bndtool.out"));
        }
        ASSERT_TRUE(fs::exists(Join(s_game, Join("bnds", "depot_442_dir.bnd"))));
    }

    static void RegisterClient()
    {
        std::string clientDll = Join(s_bin, "quernclient.dll");
#if defined(_WIN32)
        // The library reads the 32-bit view; under Wine HKCU\Software is
        // shared by both views. This test's Wine prefix is its own.
        PlatRegKey hKey = nullptr;
        ASSERT_EQ(0, Plat_RegCreateKey(Plat_RegRootKey(PLAT_HKEY_CURRENT_USER), kActiveProcessKey,
                                       PLAT_KEY_WOW64_32KEY, &hKey));
        EXPECT_EQ(0, Plat_RegSetValueDword(hKey, "pid", Plat_GetCurrentProcessId()));
        EXPECT_EQ(0, Plat_RegSetValueString(hKey, "QuernClientDll", clientDll.c_str()));
        Plat_RegCloseKey(hKey);
#else
        char szPid[16];
        snprintf(szPid, sizeof(szPid), "%08x", Plat_GetCurrentProcessId());
        std::string registry = Join(s_work, "registry.txt");
        WriteFile(registry, std::string("[HKCU\\Software\\Norra\\Quern\\ActiveProcess]\n") +
                                "\"pid\"=dword:" + szPid + "\n\"QuernClientDll\"=\"" + clientDll +
                                "\"\n");
        Plat_SetEnvironmentVariable("QUERN_REGISTRY", registry.c_str());
        Plat_SetEnvironmentVariable("QUERN_DEBUG_OUTPUT", Join(s_work, "debug.txt").c_str());
#endif
    }

    static void UnregisterClient()
    {
#if defined(_WIN32)
        Plat_RegDeleteKey(Plat_RegRootKey(PLAT_HKEY_CURRENT_USER), kActiveProcessKey,
                          PLAT_KEY_WOW64_32KEY);
#endif
    }

    static void SetStandInEnvironment()
    {
        const std::pair<const char*, std::string> vars[] = {
            {"QUERN_STANDIN_LOG", Join(s_work, "standin.log")},
            {"QUERN_STANDIN_APPID", "440"},
            {"QUERN_STANDIN_INSTALLDIR_440", s_game},
            {"QUERN_STANDIN_DEPOTS_440", "441,442"},
            {"QUERN_STANDIN_INSTALLDIR_8600", "C:\\Games\\Strategy Game"},
            {"QUERN_STANDIN_DEPOTS_8600", "8601,8602"},
            {"QUERN_STANDIN_ACCOUNT", "76543"},
            {"QuernUser", "demo_player"},
            {"QUERN_DEMO_FILE", Join(s_game, "iface_demo.txt")},
        };
        for (const auto& var : vars)
            Plat_SetEnvironmentVariable(var.first, var.second.c_str());
        for (const char* pszName :
             {"QUERN_STANDIN_WITHHOLD", "QUERN_STANDIN_INSTALLED", "QuernGameId"})
            Plat_SetEnvironmentVariable(pszName, nullptr);
    }

#if defined(_WIN32)
    static constexpr const char* kActiveProcessKey = "Software\\Norra\\Quern\\ActiveProcess";
#endif
    static std::string s_bin, s_work, s_game, s_debugOutput, s_copy, s_save;
    static std::vector<std::string> s_output, s_calls;
    static int s_exitCode;
};

std::string E2ELegacyHost::s_bin, E2ELegacyHost::s_work, E2ELegacyHost::s_game,
    E2ELegacyHost::s_debugOutput, E2ELegacyHost::s_copy, E2ELegacyHost::s_save;
std::vector<std::string> E2ELegacyHost::s_output, E2ELegacyHost::s_calls;
int E2ELegacyHost::s_exitCode = -1;

TEST_F(E2ELegacyHost, EveryCallAnsweredAsExpected)
{
    EXPECT_EQ(0, s_exitCode);
    ASSERT_FALSE(s_output.empty());
    EXPECT_EQ(std::string("loaded ") + kLibraryName, s_output[0]);
}

TEST_F(E2ELegacyHost, SessionAndFixedAnswers)
{
    ExpectLinesInOrder(s_output,
                       {
                           "QuernGetVersion -> 1, \"1.0.0.0\"",
                           "QuernStartup(0) -> 1",
                           "    error record: failureType 0, \"\"",
                           "QuernGetCurrentAppId -> 1, app 440",
                           "QuernIsLoggedIn -> 1, logged in 1",
                           "QuernGetCurrentCellID -> 1, 1 100",
                           "QuernGetLocalClientVersion -> 1, 1 1",
                           "QuernGetOfflineStatus -> 1, 0 0",
                           "QuernLogin -> 0",
                           "    error record: failureType 1, \"Wrapper not implemented\"",
                       },
                       "session");
}

TEST_F(E2ELegacyHost, ApplicationsUserTicketsAndServers)
{
    ExpectLinesInOrder(
        s_output,
        {
            "QuernGetAppIds(capacity 20) -> 0, \"AppID buffer too small\"",
            "QuernGetAppIds(capacity 21) -> 1, first 8600, last 44711",
            "QuernEnumerateApp(8600) -> 1, \"Strategy Game\", dir \"C:\\Games\\Strategy Game\", "
            "2 depots",
            "  QuernEnumerateAppDependency(8600, 0) -> 1, depot 8601, present 1",
            "  QuernGetAppUpdateStats(depot 8601) -> 1048576 of 1048576 bytes present",
            "  QuernEnumerateAppDependency(8600, 2) -> 1, depot 0, present 0",
            "QuernEnumerateApp(440) -> 1, \"Quern App 440\", dir \"" + s_game + "\", 2 depots",
            "  QuernEnumerateAppDependency(440, 1) -> 1, depot 442, present 1",
            "QuernGetAppStats -> 1, 21 apps",
            // 76543 = 38271 * 2 + 1.
            "QuernGetUser -> 1, \"demo_player\" (length 11), number 38271, parity 1",
            "QuernGetEncryptedUserIDTicket -> 32 bytes, failureType 0",
            "QuernStartValidatingUserIDTicket -> 23, handle 1",
            "QuernProcessOngoingUserIDTicketValidation(1) -> 0, number 38271, parity 1",
            "QuernFindServersNumServers(4) -> 3",
            "  QuernFindServersIterateServer(4, 2) -> 0, \"192.0.2.21:27011\"",
            "  QuernFindServersIterateServer(4, 3) -> -1, \"\"",
        },
        "applications");
}

TEST_F(E2ELegacyHost, LaunchesThroughTheClientExecutable)
{
    ExpectLinesInOrder(s_output, {"QuernLaunchApp(8600, \"-windowed\") -> 1"}, "launch");
    // Found beside the client library that the registry names.
    ExpectLinesInOrder(s_calls,
                       {"quern.exe " + Join(s_bin, "quern.exe") + ": -applaunch 8600 -windowed"},
                       "client executable");
}

TEST_F(E2ELegacyHost, MountsFromConfigurationAndDepots)
{
    const std::string v1 = "QuernOpenFile(maps\\e1.map, rb) -> pack, first line \"e1 map data, "
                           "version 1, from depot 441\"";
    const std::string v2 = "QuernOpenFile(maps\\e1.map, rb) -> pack, first line \"e1 map data, "
                           "version 2, from depot 442\"";
    ExpectLinesInOrder(s_output,
                       {"-- mounting", v1, "QuernMountFilesystem(442) -> 1", v2,
                        "QuernUnmountAppFilesystem -> 1",
                        "QuernOpenFile(maps\\e1.map, rb) -> 0, failureType 9",
                        "QuernMountAppFilesystem -> 1", v1, "QuernMountFilesystem(442) -> 1", v2},
                       "mounting");
}

TEST_F(E2ELegacyHost, FileCallsAcrossPacksAndDisk)
{
    ExpectLinesInOrder(
        s_output,
        {
            "QuernOpenFileEx(maps\\e1.map, rb) -> 0x40000000 (pack), size 39",
            "QuernReadFile(24) -> 24, \"e1 map data, version 2, \"",
            "QuernSeekFile(-6, end) -> 0, QuernTellFile -> 33, QuernSizeFile -> 39",
            "QuernReadFile(4 x 4) -> 1 elements, failureType 11",
            "QuernSeekFile(+1000, start) -> 0, QuernTellFile -> 39 (clamped)",
            "QuernCloseFile -> 0",
            "QuernOpenFile(text/readme.txt, rt) -> 0x60000000; QuernReadFile -> 18, \"line "
            "one\\nline two\\n\", failureType 11",
            "QuernGetc after rewinding -> 'l'",
            "QuernOpenFile(save/slot1.sav, rb) -> 1 (disk); QuernReadFile -> 11, \"saved "
            "game\\n\"",
            "QuernOpenFile(save/slot2.sav, w) -> 1; QuernWriteFile -> 8",
            "QuernOpenFile(no/such/file.txt) -> 0, failureType 9",
        },
        "files");
    EXPECT_EQ("new save", s_save);
}

TEST_F(E2ELegacyHost, StatSearchAndLocalCopy)
{
    ExpectLinesInOrder(
        s_output,
        {
            "QuernStat(maps\\e1.map) -> 0, failureType 0",
            std::string("      e1.map           file size 39, pack, modified ") + kPackTime,
            "QuernStat(maps) -> 0, failureType 0",
            std::string("      maps             dir  size 0, pack, modified ") + kPackTime,
            "QuernStat(save\\slot1.sav) -> 0, failureType 0",
            "QuernStat(missing.txt) -> -1, failureType 9",
            "QuernFindFirst -> 1",
            // Disk items come first, in the system's order.
            std::string("      sub              dir  size 0, pack, modified ") + kPackTime,
            std::string("      e1.map           file size 1, pack, modified ") + kPackTime,
            "QuernFindClose -> 0",
            "QuernGetLocalFileCopy(maps\\sub\\e2.map) -> 1",
            "QuernStat afterwards -> 0 (pack: the pack entry still comes first)",
            "on disk: \"second map, extracted as a local copy\\n\"",
        },
        "stat and search");
    EXPECT_TRUE(HasLineStartingWith(s_output, "      slot1.sav        file size 11, disk, "));
    EXPECT_TRUE(HasLineStartingWith(s_output, "      local.map        file size 18, disk, "));
    EXPECT_EQ("second map, extracted as a local copy\n", s_copy);
}

TEST_F(E2ELegacyHost, CrashDumpsReachTheModuleOnlyDuringTheSession)
{
    ExpectLinesInOrder(s_output,
                       {
                           "QuernMiniDumpInit -> 1",
                           "QuernWriteMiniDumpSetComment(\"demo crash\") -> 6",
                           "QuernWriteMiniDumpUsingExceptionInfo(0xc0000005) -> 5",
                           "QuernWriteMiniDumpUsingExceptionInfoWithBuildId(0xc0000005, build "
                           "1234) -> 5",
                           "QuernCleanup -> 1",
                           "QuernWriteMiniDumpSetComment(\"after cleanup\") -> 0",
                       },
                       "crash dumps");
    // The build id of the plain call is 0; nothing reaches the module after
    // cleanup.
    ExpectLinesInOrder(
        s_calls,
        {
            "Quern2.QuernMiniDumpInit() -> 1",
            "Quern2.QuernWriteMiniDumpSetComment(demo crash) -> 6",
            "Quern2.QuernWriteMiniDumpUsingExceptionInfoWithBuildId(0xc0000005, 0x0, 0) -> 5",
            "Quern2.QuernWriteMiniDumpUsingExceptionInfoWithBuildId(0xc0000005, 0x0, 1234) -> 5",
            "client.DetachUser(17, 34)",
        },
        "crash-dump module calls");
    EXPECT_FALSE(HasLineStartingWith(s_calls, "Quern2.QuernWriteMiniDumpSetComment(after"));
}

TEST_F(E2ELegacyHost, InterfaceObjectsStartASecondSessionThenCleanUp)
{
    ExpectLinesInOrder(
        s_output,
        {
            "-- interface objects",
            "_f(\"quern006\") -> null",
            "_f(\"Quern006\") -> an object",
            "[46] startup -> 1, failureType 0",
            "[126] current app id -> 1, app 440",
            "[15] open \"" + Join(s_game, "iface_demo.txt") + "\" -> handle 1, failureType 0",
            "[33] size -> 43",
            "[27] read -> 43 bytes: \"read through the Quern006 interface object\"",
            "[26] close -> 0",
            "[47] cleanup -> 1",
            "-- clean-up",
            "QuernUnmountAppFilesystem -> 1",
        },
        "interface objects and clean-up");
}

TEST_F(E2ELegacyHost, ClientSeesSessionsInOrder)
{
    const std::vector<std::string> startup = {
        "CreateInterface(QuernClient017) -> client",
        "client.OpenPipe() -> 17",
        "client.AttachUser(17) -> 34",
        "client.GetUtilsInterface(17, QuernUtils009) -> utils",
        "client.GetUserInterface(34, 17, QuernUser019) -> user",
        "client.GetAppsInterface(34, 17, QUERNAPPS_INTERFACE_VERSION008) -> apps",
        "utils.GetRunningAppId() -> 440",
        "apps.GetInstallFolder(440, 1024) -> " + s_game,
    };
    ASSERT_GE(s_calls.size(), startup.size());
    // The configuration names the packs, so start-up asks for no depots.
    EXPECT_EQ(startup, std::vector<std::string>(s_calls.begin(), s_calls.begin() + startup.size()));
    EXPECT_NE("apps.ListInstalledDepots(440, 64) -> 2", s_calls[startup.size()]);

    std::vector<std::string> both = startup;
    // Mounting depot 442 asks for its application's folder.
    both.push_back("apps.GetInstallFolder(440, 1024) -> " + s_game);
    both.push_back("client.DetachUser(17, 34)");
    both.push_back("client.ClosePipe(17) -> 1");
    both.insert(both.end(), startup.begin(), startup.end());
    both.push_back("client.DetachUser(17, 34)");
    both.push_back("client.ClosePipe(17) -> 1");
    ExpectLinesInOrder(s_calls, both, "client calls");
}

#if !defined(_WIN32)
// The debugger-output stand-in is a file here; under Wine the lines go to the
// debugger, which this test does not attach.
TEST_F(E2ELegacyHost, DebuggerOutputHasOnlyTheNotImplementedLines)
{
    EXPECT_EQ("Wrapper not implemented:QuernLogin"
              "Wrapper not implemented:QuernWriteMiniDumpFromAssert"
              "Quern interface not implemented: quern006",
              s_debugOutput);
}
#endif
} // namespace
