// Launching through the client executable stand-in, and the registry reading
// behind the search for the client's folder.
#include "tests/quern2wrapper/session_test_support.h"

#include "plinth/platform/platform_process.h"
#include "plinth/platform/platform_registry.h"
#include "quern2wrapper/clientconnection.h"
#include "quern2wrapper/include/quern.h"
#include "quern2wrapper/launch.h"
#include "quern2wrapper/quernerror.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace fs = std::filesystem;

namespace
{
const char kInstallKey[] = "Software\\Norra\\Quern";
const char kTestKey[] = "Software\\Norra\\QuernLaunchTest";

void UseScratchRegistry(const char* pszFileName)
{
#if !defined(_WIN32)
    SetEnv("QUERN_REGISTRY", ScratchPath(pszFileName).c_str());
#else
    (void)pszFileName;
#endif
}

void SetInstallPath(const char* pszPath)
{
    PlatRegKey hKey = nullptr;
    ASSERT_EQ(PLAT_ERROR_SUCCESS,
              Plat_RegCreateKey(Plat_RegRootKey(PLAT_HKEY_LOCAL_MACHINE), kInstallKey, 0, &hKey));
    if (pszPath)
        Plat_RegSetValueString(hKey, "InstallPath", pszPath);
    else
        Plat_RegDeleteValue(hKey, "InstallPath");
    Plat_RegCloseKey(hKey);
}

// The same as a REG_EXPAND_SZ value, which the platform layer does not write.
void SetInstallPathExpand(const std::string& value)
{
#if defined(_WIN32)
    const std::string command = std::string("reg add \"HKLM\\") + kInstallKey +
                                "\" /v InstallPath /t REG_EXPAND_SZ /d \"" + value +
                                "\" /f >nul 2>&1";
    ASSERT_EQ(0, std::system(command.c_str()));
#else
    std::ofstream(ScratchPath("launch_tests_registry.txt"))
        << "[HKLM\\" << kInstallKey << "]\n\"InstallPath\"=expand:\"" << value << "\"\n";
#endif
}

// Registers a running client as the client does, seen through every view
// (on Windows HKCU\Software is one for both views).
void RegisterRunningClient(const char* pszLibraryPath, unsigned pid)
{
    PlatRegKey hKey = nullptr;
    ASSERT_EQ(PLAT_ERROR_SUCCESS, Plat_RegCreateKey(Plat_RegRootKey(PLAT_HKEY_CURRENT_USER),
                                                    QUERN_ACTIVEPROCESS_KEY, 0, &hKey));
    Plat_RegDeleteValue(hKey, "pid");
    Plat_RegDeleteValue(hKey, "QuernClientDll");
    if (pid) Plat_RegSetValueDword(hKey, "pid", pid);
    if (pszLibraryPath) Plat_RegSetValueString(hKey, "QuernClientDll", pszLibraryPath);
    Plat_RegCloseKey(hKey);
}

// A folder holding a client executable stand-in and, when asked, a file named
// as the client library (only its presence is looked at).
std::string MakeClientFolder(const char* pszName, bool bWithLibrary, const char* pszExeName)
{
    std::string folder = ScratchPath(pszName);
    fs::remove_all(folder);
    fs::create_directories(folder);
    fs::copy_file(BinaryPath("quern.exe"), folder + "/" + pszExeName);
    if (bWithLibrary) std::ofstream(folder + "/quernclient.dll") << "stand-in";
    return folder;
}

// "quern.exe <path>: <args>" as the stand-in records it.
void ExpectLaunch(const std::string& line, const std::string& folder, const std::string& args)
{
    size_t colon = line.find(": ");
    ASSERT_NE(std::string::npos, colon) << line;
    std::string exe = line.substr(10, colon - 10);
    EXPECT_EQ(0u, line.find("quern.exe ")) << line;
    EXPECT_TRUE(fs::equivalent(folder + "/quern.exe", exe)) << exe;
    EXPECT_EQ(args, line.substr(colon + 2));
}

class Launch : public ::testing::Test
{
protected:
    void SetUp() override
    {
        UseScratchRegistry("launch_tests_registry.txt");
        SetInstallPath(nullptr);
        RegisterRunningClient(nullptr, 0);
        StartStandInLog();
        memset(&m_error, 'x', sizeof(m_error));
    }
    void TearDown() override
    {
        UseScratchRegistry("launch_tests_registry.txt");
        SetInstallPath(nullptr);
        RegisterRunningClient(nullptr, 0);
    }
    TQuernError m_error;
};
} // namespace

TEST(LaunchCommandLine, FormatAndCut)
{
    char16_t line[QUERN_LAUNCH_CMDLINE_CHARS];
    FormatLaunchCommandLine(line, 987, nullptr);
    EXPECT_EQ(std::u16string(u"-applaunch 987 "), std::u16string(line));
    FormatLaunchCommandLine(line, 4294967295u, "-game x +map");
    EXPECT_EQ(std::u16string(u"-applaunch 4294967295 -game x +map"), std::u16string(line));

    // Each byte of the caller's text is one character of the same value.
    FormatLaunchCommandLine(line, 5, "-name caf\xE9 \x80\xFF");
    EXPECT_EQ(std::u16string(u"-applaunch 5 -name caf\u00E9 \u0080\u00FF"), std::u16string(line));

    std::string longArgs(2000, 'a');
    memset(line, 0x55, sizeof(line));
    FormatLaunchCommandLine(line, 1, longArgs.c_str());
    std::u16string cut(line);
    EXPECT_EQ(1023u, cut.size());
    EXPECT_EQ(u"-applaunch 1 " + std::u16string(1023 - 13, u'a'), cut);
}

TEST_F(Launch, ReadRegistryTextErrorCodes)
{
    PlatRegKey hKey = nullptr;
    ASSERT_EQ(PLAT_ERROR_SUCCESS,
              Plat_RegCreateKey(Plat_RegRootKey(PLAT_HKEY_CURRENT_USER), kTestKey, 0, &hKey));
    Plat_RegSetValueString(hKey, "text", "C:\\Quern \xC3\xA9");
    Plat_RegSetValueString(hKey, "empty", "");
    Plat_RegSetValueDword(hKey, "number", 5);
    Plat_RegCloseKey(hKey);

    ASSERT_EQ(PLAT_ERROR_SUCCESS, Plat_RegOpenKeyA(Plat_RegRootKey(PLAT_HKEY_CURRENT_USER),
                                                   kTestKey, PLAT_KEY_QUERY_VALUE, &hKey));
    char out[32];
    EXPECT_EQ(PLAT_ERROR_SUCCESS, ReadRegistryText(hKey, "text", out, sizeof(out)));
    EXPECT_STREQ("C:\\Quern \xC3\xA9", out);
    memset(out, '#', sizeof(out));
    EXPECT_EQ(PLAT_ERROR_SUCCESS, ReadRegistryText(hKey, "empty", out, sizeof(out)));
    EXPECT_EQ('\0', out[0]);
    EXPECT_EQ(PLAT_ERROR_MORE_DATA, ReadRegistryText(hKey, "text", out, 5));
    EXPECT_EQ(PLAT_ERROR_INVALID_DATA, ReadRegistryText(hKey, "number", out, sizeof(out)));
    EXPECT_EQ(PLAT_ERROR_FILE_NOT_FOUND, ReadRegistryText(hKey, "missing", out, sizeof(out)));
    Plat_RegCloseKey(hKey);
    Plat_RegDeleteKey(Plat_RegRootKey(PLAT_HKEY_CURRENT_USER), kTestKey, 0);
}

TEST_F(Launch, FromInstallPath)
{
    std::string folder = MakeClientFolder("launch_install", true, "quern.exe");
    SetInstallPath(folder.c_str());
    DebugOutputCapture capture;
    verboseLogging = 1;
    EXPECT_EQ(1, QuernLaunchApp(987, 0, "-novid +map caf\xE9", &m_error));
    verboseLogging = 0;
    EXPECT_EQ(0, m_error.failureType);
    EXPECT_EQ(std::vector<std::string>({"QuernLaunchApp uAppId 987, args \"-novid +map caf\xE9\""}),
              capture.Lines());
    std::vector<std::string> lines = WaitForLogLines(1);
    ASSERT_EQ(1u, lines.size());
    // The stand-in records what it received as UTF-8.
    ExpectLaunch(lines[0], folder, "-applaunch 987 -novid +map caf\xC3\xA9");
}

TEST_F(Launch, FolderWithoutTheExecutableLaunchesNothing)
{
    std::string folder = MakeClientFolder("launch_noexe", true, "quern.exe");
    fs::remove(folder + "/quern.exe");
    SetInstallPath(folder.c_str());
    EXPECT_EQ(0, QuernLaunchApp(987, 0, "-x", &m_error));
    EXPECT_EQ(0, m_error.failureType);
    EXPECT_EQ('\0', m_error.description[0]);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_TRUE(ReadStandInLog().empty());
}

TEST_F(Launch, InstallPathTypesAndLengths)
{
    const std::string folder = MakeClientFolder("launch_expand", true, "quern.exe");
    // Longer than the search's buffer, though the registry gives it whole.
    const std::string longPath = folder + "/" + std::string(QUERN_LAUNCH_PATH_SIZE, 'a');
    const struct
    {
        const std::string& m_value;
        bool m_bExpand;
        bool m_bFound;
    } cases[] = {
        {folder, true, true},
        {longPath, false, false},
        {longPath, true, false},
    };
    for (const auto& test : cases)
    {
        SCOPED_TRACE(test.m_value.size());
        if (test.m_bExpand)
            SetInstallPathExpand(test.m_value);
        else
            SetInstallPath(test.m_value.c_str());
        char out[QUERN_LAUNCH_PATH_SIZE];
        EXPECT_EQ(test.m_bFound, FindClientInstallDir(out, sizeof(out)));
        if (test.m_bFound)
        {
            EXPECT_EQ(folder, out);
        }

        PlatRegKey hKey = nullptr;
        ASSERT_EQ(PLAT_ERROR_SUCCESS, Plat_RegOpenKeyA(Plat_RegRootKey(PLAT_HKEY_LOCAL_MACHINE),
                                                       kInstallKey, PLAT_KEY_QUERY_VALUE, &hKey));
        std::string whole(4096, '#');
        EXPECT_EQ(PLAT_ERROR_SUCCESS,
                  ReadRegistryText(hKey, "InstallPath", &whole[0], (int)whole.size()));
        EXPECT_EQ(test.m_value, whole.c_str());
        Plat_RegCloseKey(hKey);
    }
}

TEST_F(Launch, InstallPathWithoutLibraryFallsBackToRunningClient)
{
    std::string empty = MakeClientFolder("launch_nolib", false, "quern.exe");
    std::string running = MakeClientFolder("launch_running", true, "quern.exe");
    SetInstallPath(empty.c_str());
    RegisterRunningClient((running + "/quernclient.dll").c_str(), Plat_GetCurrentProcessId());
    EXPECT_EQ(1, QuernLaunchApp(440, 0, nullptr, &m_error));
    std::vector<std::string> lines = WaitForLogLines(1);
    ASSERT_EQ(1u, lines.size());
    // Null arguments leave a trailing blank, which the argument split drops.
    ExpectLaunch(lines[0], running, "-applaunch 440");
}

TEST_F(Launch, NoClientFolderLaunchesNothing)
{
    std::string running = MakeClientFolder("launch_gone", true, "quern.exe");
    const std::string library = running + "/quernclient.dll";
    const struct
    {
        const char* m_name;
        std::string m_library;
        unsigned m_pid;
    } cases[] = {
        {"nothing registered", "", 0},
        {"client not running", library, kDeadPid},
        {"library missing", running + "/missing.dll", Plat_GetCurrentProcessId()},
        {"no pid", library, 0},
    };
    for (const auto& test : cases)
    {
        SCOPED_TRACE(test.m_name);
        RegisterRunningClient(test.m_library.empty() ? nullptr : test.m_library.c_str(),
                              test.m_pid);
        memset(&m_error, 'x', sizeof(m_error));
        EXPECT_EQ(0, QuernLaunchApp(440, 0, "x", &m_error));
        EXPECT_EQ(0, m_error.failureType);
        EXPECT_EQ('\0', m_error.description[0]);
        char folder[QUERN_LAUNCH_PATH_SIZE] = {};
        EXPECT_FALSE(FindClientInstallDir(folder, sizeof(folder)));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_TRUE(ReadStandInLog().empty());
}

TEST_F(Launch, FromTheClientExecutableItself)
{
    // A host executable named QUERN.EXE beside the client library finds its
    // own folder before looking at the registry, which knows nothing here.
    std::string folder = MakeClientFolder("launch_self", true, "QUERN.EXE");
    if (!fs::exists(folder + "/quern.exe"))
        fs::copy_file(BinaryPath("quern.exe"), folder + "/quern.exe");
    std::string host = folder + "/QUERN.EXE";
    std::string params = "-hostlaunch " + BinaryPath(QUERN_LIBRARY_FILE) + " 987 -x";
    ASSERT_GT(Plat_ShellExecute(HostPath(host).c_str(), params.c_str()), 32);
    std::vector<std::string> lines = WaitForLogLines(3);
    ASSERT_EQ(3u, lines.size());
    EXPECT_EQ(0u, lines[0].find("quern.exe ")) << lines[0];
    EXPECT_EQ(": " + params, lines[0].substr(lines[0].find(": ")));
    // The launched executable and the host's result may come in either order.
    const std::string& launched = lines[1].find("hostlaunch") == 0 ? lines[2] : lines[1];
    const std::string& result = lines[1].find("hostlaunch") == 0 ? lines[1] : lines[2];
    ExpectLaunch(launched, folder, "-applaunch 987 -x");
    EXPECT_EQ("hostlaunch -> 1", result);
}
