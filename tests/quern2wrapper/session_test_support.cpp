#include "tests/quern2wrapper/session_test_support.h"

#include "plinth/platform/platform_debug.h"
#include "plinth/platform/platform_env.h"
#include "plinth/platform/platform_registry.h"
#include "quern2wrapper/clientconnection.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>

DebugOutputCapture::DebugOutputCapture()
{
    Plat_SetDebugOutputObserver(&DebugOutputCapture::Observe, this);
}

DebugOutputCapture::~DebugOutputCapture()
{
    Plat_SetDebugOutputObserver(nullptr, nullptr);
}

void DebugOutputCapture::Observe(const char* pszText, void* pContext)
{
    static_cast<DebugOutputCapture*>(pContext)->m_lines.push_back(pszText);
}

std::string HostPath(std::string path)
{
#if defined(_WIN32)
    // Wine shows the host's file system as drive Z:.
    if (!path.empty() && path[0] == '/') path = "Z:" + path;
    for (char& c : path)
        if (c == '/') c = '\\';
#endif
    return path;
}

std::string BinaryPath(const char* pszFileName)
{
    char szDir[1024];
    uint32_t len = Plat_GetEnvironmentVariable("QUERN_BIN_DIR", szDir, sizeof(szDir));
    std::string dir = (len > 0 && len < sizeof(szDir)) ? std::string(szDir) : QUERN_BIN_DIR;
    return HostPath(dir + "/" + pszFileName);
}

std::string ScratchPath(const char* pszFileName)
{
    char szDir[1024];
    uint32_t len = Plat_GetCurrentDirectory(szDir, sizeof(szDir));
    std::string dir = (len > 0 && len < sizeof(szDir)) ? std::string(szDir) : std::string(".");
#if defined(_WIN32)
    return dir + "\\" + pszFileName;
#else
    return dir + "/" + pszFileName;
#endif
}

void SetEnv(const char* pszName, const char* pszValue)
{
    Plat_SetEnvironmentVariable(pszName, pszValue);
}

static void UseScratchRegistry()
{
#if !defined(_WIN32)
    // The POSIX registry is a text file of the tests' own, never the user's.
    SetEnv("QUERN_REGISTRY", ScratchPath("wrapper_tests_registry.txt").c_str());
#endif
}

void RegisterClient(const char* pszLibraryPath, unsigned pid)
{
    UseScratchRegistry();
    UnregisterClient();
    PlatRegKey hKey = nullptr;
    if (Plat_RegCreateKey(Plat_RegRootKey(PLAT_HKEY_CURRENT_USER), QUERN_ACTIVEPROCESS_KEY,
                          PLAT_KEY_WOW64_32KEY, &hKey) != PLAT_ERROR_SUCCESS)
        return;
    if (pid) Plat_RegSetValueDword(hKey, "pid", pid);
    if (pszLibraryPath) Plat_RegSetValueString(hKey, "QuernClientDll", pszLibraryPath);
    Plat_RegCloseKey(hKey);
}

void UnregisterClient()
{
    UseScratchRegistry();
    PlatRegKey hKey = nullptr;
    if (Plat_RegOpenKeyW(Plat_RegRootKey(PLAT_HKEY_CURRENT_USER), QUERN_ACTIVEPROCESS_KEY,
                         PLAT_KEY_ALL_ACCESS | PLAT_KEY_WOW64_32KEY, &hKey) != PLAT_ERROR_SUCCESS)
        return;
    Plat_RegDeleteValue(hKey, "pid");
    Plat_RegDeleteValue(hKey, "QuernClientDll");
    Plat_RegCloseKey(hKey);
}

static std::string StandInLogPath()
{
    return ScratchPath("wrapper_tests_standin.log");
}

void StartStandInLog()
{
    std::string path = StandInLogPath();
    std::remove(path.c_str());
    SetEnv("QUERN_STANDIN_LOG", path.c_str());
}

std::vector<std::string> ReadStandInLog()
{
    std::vector<std::string> lines;
    std::ifstream in(StandInLogPath());
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::vector<std::string> WaitForLogLines(size_t count)
{
    std::vector<std::string> lines;
    for (int i = 0; i < 200; ++i)
    {
        lines = ReadStandInLog();
        if (lines.size() >= count) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return lines;
}

void ResetStandInEnv()
{
    for (const char* pszName :
         {"QUERN_STANDIN_APPID", "QUERN_STANDIN_WITHHOLD", "QUERN_STANDIN_ACCOUNT",
          "QUERN_STANDIN_INSTALLED", "QUERN_STANDIN_INSTALLDIR_440", "QUERN_STANDIN_INSTALLDIR_987",
          "QUERN_STANDIN_INSTALLDIR_0", "QuernGameId"})
        SetEnv(pszName, nullptr);
}
